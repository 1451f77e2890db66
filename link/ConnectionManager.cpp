#include "link/ConnectionManager.h"

#include "app/MainForm.h"
#include "link/LinkProtocol.h"
#include "platform/Clock.h"
#include "platform/RandomSource.h"
#include "platform/SocketControl.h"

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTimer>

namespace
{
constexpr int kPeerPortLimit = 32767; // the peer's port passes through a 16-bit signed value
constexpr int kServerModeTick = 4;
} // namespace

void ConnectionManager::NetworkTimer_Timer()
{
    // The give-up step's wait lets events run, and the interval it has just set restarts the
    // timer: a tick that falls due meanwhile would run inside this one. Ticks never overlap,
    // so that one is skipped, as a late timer tick is.
    if (m_ticking)
        return;
    const QScopedValueRollback<bool> ticking(m_ticking, true);
    SocketControl &socket = *m_form.Socket1;
    if (m_form.AutoResolveHostName && !socket.AutoResolve()) {
        socket.setAutoResolve(true);
        socket.setRemoteHostName(socket.RemoteHostName());
    }
    if (m_form.RunInServerMode && m_form.Ack_Retries <= kServerModeTick && !socket.IsConnected())
        m_form.Ack_Retries = kServerModeTick;
    ++m_form.Ack_Retries;

    const int tick = m_form.Ack_Retries;
    if (tick >= 0 && tick < kGiveUpTick)
        callOrKeepAlive();
    else if (tick == kGiveUpTick)
        giveUp();
    else if (tick > kGiveUpTick && tick <= kLastListeningTick)
        return;
    else
        decide();
}

void ConnectionManager::callOrKeepAlive()
{
    SocketControl &socket = *m_form.Socket1;
    if (!socket.IsConnected()) {
        setFastInterval();
        socket.setRemotePort(m_form.Port_Number);
        socket.setLocalPort(m_form.Port_Number);
        socket.Abort();
        socket.Connect();
    }
    if (socket.IsConnected() && socket.IsWritable()) {
        m_form.NetworkTimer->setInterval(kSlowIntervalMs);
        socket.Write(LinkProtocol::stateMessage(stateFlag()));
    }
}

char ConnectionManager::stateFlag() const
{
    if (m_form.RemoteLoopMenuItem->isChecked())
        return LinkProtocol::kFlagRemoteLoop;
    if (m_form.LocalLoopMenuItem->isChecked())
        return LinkProtocol::kFlagLocalLoop;
    return LinkProtocol::kFlagNormal;
}

void ConnectionManager::giveUp()
{
    SocketControl &socket = *m_form.Socket1;
    setFastInterval();
    m_form.setNetStatus(socket.IsConnected() ? QStringLiteral("Timed-Out")
                                             : QStringLiteral("Not Connected"));
    m_form.NetLED->setPixmap(m_form.GreyLED);
    for (QAction *item : {m_form.LocalLoopMenuItem, m_form.RemoteLoopMenuItem}) {
        item->setEnabled(false);
        item->setChecked(false);
    }
    m_form.SendTestMenuItem->setEnabled(false);
    // A silent peer is not waited for: the connection is reset at once, not drained.
    socket.Abort();
    WaitSeconds(0.05);
    socket.setLocalPort(m_form.Port_Number);
    socket.Listen();
}

void ConnectionManager::decide()
{
    if (!m_form.AutoReconnect) {
        m_form.setNetStatus(QStringLiteral("Disconnected"));
        return;
    }
    if (m_form.RunInServerMode) {
        m_form.Ack_Retries = kServerModeTick;
        return;
    }
    if (m_form.environment().random->next() < kCallChance) {
        m_form.Ack_Retries = 0;
        m_form.setNetStatus(QStringLiteral("Calling ..."));
        setFastInterval();
        m_form.Socket1->Abort();
    }
}

void ConnectionManager::setFastInterval()
{
    if (m_form.NetworkTimerTag == QLatin1String("FAST"))
        m_form.NetworkTimer->setInterval(kFastIntervalMs);
}

void ConnectionManager::Socket1_Accept()
{
    if (!m_form.AutoReconnect)
        return;
    SocketControl &socket = *m_form.Socket1;
    if (!socket.AcceptPending())
        return;
    // A packet never spans two connections.
    m_form.NetRxBuffer.clear();
    const int peerPort = socket.PeerPort();
    if (peerPort > kPeerPortLimit)
        return;
    socket.setLocalPort(peerPort);
    socket.setRemotePort(peerPort);
    socket.setRemoteHostAddress(socket.PeerAddress());
    m_form.showDestination();
    m_form.setNetStatus(QStringLiteral("ACCEPTING"));
    m_form.Ack_Retries = 0;
    m_form.NetworkTimer->setInterval(kSlowIntervalMs);
}

void ConnectionManager::Socket1_Connect()
{
    m_form.NetRxBuffer.clear();
    m_form.setNetStatus(QStringLiteral("CONNECTING"));
    // The call may have been answered on the last calling tick; without this the next
    // tick would give up on the fresh connection.
    m_form.Ack_Retries = 0;
}

void ConnectionManager::Socket1_Error(const QString &text)
{
    m_form.setNetStatus(text);
    if (m_form.Socket1->IsConnected()) {
        m_form.NetLED->setPixmap(m_form.RedLED);
        m_form.NetLED->repaint();
    }
}

void ConnectionManager::DisconnectMenuItem_Click()
{
    SocketControl &socket = *m_form.Socket1;
    socket.Read(1024);
    socket.Disconnect();
    m_form.AutoReconnect = false;
    m_form.Ack_Retries = 2;
}

void ConnectionManager::ReconnectMenuItem_Click()
{
    m_form.Socket1->Connect();
    m_form.AutoReconnect = true;
    m_form.Ack_Retries = 0;
}

void ConnectionManager::WaitSeconds(double seconds)
{
    const Clock &clock = *m_form.environment().clock;
    const qint64 target = clock.monotonicMs() + qRound64(seconds * 1000.0);
    for (qint64 now = clock.monotonicMs(); now < target; now = clock.monotonicMs()) {
        QEventLoop loop;
        QTimer::singleShot(int(target - now), &loop, &QEventLoop::quit);
        loop.exec();
    }
}
