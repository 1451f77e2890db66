#include "link/ConnectionManager.h"

#include "app/StationParts.h"
#include "link/LinkProtocol.h"
#include "platform/Clock.h"
#include "platform/RandomSource.h"
#include "platform/SocketControl.h"

#include <QTimer>

namespace
{
constexpr int kPeerPortLimit = 32767; // the peer's port passes through a 16-bit signed value
constexpr int kServerModeTick = 4;
} // namespace

ConnectionManager::ConnectionManager(StationParts &station) : m_station(station)
{
    m_listenAfterAbort.setSingleShot(true);
    m_listenAfterAbort.setInterval(kAbortSettleMs);
    QObject::connect(&m_listenAfterAbort, &QTimer::timeout, [this] { listen(); });
}

void ConnectionManager::NetworkTimer_Timer()
{
    // The give-up step is not over until it listens; a tick that falls due meanwhile is
    // skipped, as a late timer tick is, rather than run in the middle of it.
    if (m_listenAfterAbort.isActive())
        return;
    SocketControl &socket = m_station.Socket1;
    if (m_station.state.AutoResolveHostName && !socket.AutoResolve()) {
        socket.setAutoResolve(true);
        socket.setRemoteHostName(socket.RemoteHostName());
    }
    if (m_station.state.RunInServerMode && m_station.state.Ack_Retries <= kServerModeTick &&
        !socket.IsConnected())
        m_station.state.Ack_Retries = kServerModeTick;
    ++m_station.state.Ack_Retries;

    const int tick = m_station.state.Ack_Retries;
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
    SocketControl &socket = m_station.Socket1;
    if (!socket.IsConnected()) {
        setFastInterval();
        socket.setRemotePort(m_station.state.Port_Number);
        socket.setLocalPort(m_station.state.Port_Number);
        socket.Abort();
        socket.Connect();
    }
    if (socket.IsConnected() && socket.IsWritable()) {
        m_station.NetworkTimer.setInterval(StationState::kSlowIntervalMs);
        socket.Write(LinkProtocol::stateMessage(stateFlag()));
    }
}

char ConnectionManager::stateFlag() const
{
    switch (m_station.state.loopMode) {
    case LoopMode::Remote:
        return LinkProtocol::kFlagRemoteLoop;
    case LoopMode::Local:
        return LinkProtocol::kFlagLocalLoop;
    case LoopMode::Normal:
        break;
    }
    return LinkProtocol::kFlagNormal;
}

void ConnectionManager::giveUp()
{
    SocketControl &socket = m_station.Socket1;
    setFastInterval();
    m_station.view.setNetStatus(socket.IsConnected() ? QStringLiteral("Timed-Out")
                                                     : QStringLiteral("Not Connected"));
    StationView &view = m_station.view;
    view.showLamp(StationView::Lamp::Network, StationView::Colour::Grey);
    m_station.state.loopMode = LoopMode::Normal;
    view.showLoopMarks(LoopMode::Normal);
    view.enableCommand(StationView::Command::LocalLoop, false);
    view.enableCommand(StationView::Command::RemoteLoop, false);
    view.enableCommand(StationView::Command::SendTest, false);
    // A silent peer is not waited for: the connection is reset at once, not drained.
    socket.Abort();
    // The aborted connection's events are handled before the socket listens again.
    m_listenAfterAbort.start();
}

void ConnectionManager::listen()
{
    // A station stopped meanwhile does not take calls any more.
    if (!m_station.NetworkTimer.isActive())
        return;
    m_station.Socket1.setLocalPort(m_station.state.Port_Number);
    m_station.Socket1.Listen();
}

void ConnectionManager::decide()
{
    if (!m_station.state.AutoReconnect) {
        m_station.view.setNetStatus(QStringLiteral("Disconnected"));
        return;
    }
    if (m_station.state.RunInServerMode) {
        m_station.state.Ack_Retries = kServerModeTick;
        return;
    }
    if (m_station.environment.random->next() < kCallChance) {
        m_station.state.Ack_Retries = 0;
        m_station.view.setNetStatus(QStringLiteral("Calling ..."));
        setFastInterval();
        m_station.Socket1.Abort();
    }
}

void ConnectionManager::setFastInterval()
{
    if (m_station.state.NetworkTimerTag == QLatin1String("FAST"))
        m_station.NetworkTimer.setInterval(StationState::kFastIntervalMs);
}

void ConnectionManager::Socket1_Accept()
{
    if (!m_station.state.AutoReconnect)
        return;
    SocketControl &socket = m_station.Socket1;
    if (!socket.AcceptPending())
        return;
    if (!admits(socket.PeerAddress())) {
        refuseCall(socket.PeerAddress());
        return;
    }
    // A packet never spans two connections.
    m_station.state.NetRxBuffer.clear();
    const int peerPort = socket.PeerPort();
    if (peerPort > kPeerPortLimit)
        return;
    socket.setLocalPort(peerPort);
    socket.setRemotePort(peerPort);
    socket.setRemoteHostAddress(socket.PeerAddress());
    m_station.showDestination();
    m_station.view.setNetStatus(QStringLiteral("ACCEPTING"));
    m_station.state.Ack_Retries = 0;
    m_station.NetworkTimer.setInterval(StationState::kSlowIntervalMs);
}

bool ConnectionManager::admits(const QString &peer)
{
    // The remote host as the window shows it: the name, or the address given or learnt from
    // the last call taken (a station that waits for anyone keeps its first caller, as it
    // saves it; accepting anyone is the security setting for that).
    SocketControl &socket = m_station.Socket1;
    const QString name = socket.RemoteHostName().trimmed();
    const QString host = name.isEmpty() ? socket.RemoteHostAddress().trimmed() : name;
    if (m_station.state.security.acceptFrom == SecuritySettings::AcceptFrom::Anyone ||
        host.isEmpty() || peer == host)
        return true;
    const QString resolved = socket.cachedAddress(host);
    if (resolved.isEmpty())
        socket.resolveRemoteHostName(); // for the next call
    return peer == resolved;
}

void ConnectionManager::refuseCall(const QString &peer)
{
    // Reset before one byte of the caller's is read; the listener opens again at once.
    SocketControl &socket = m_station.Socket1;
    socket.Abort();
    socket.setLocalPort(m_station.state.Port_Number);
    socket.Listen();

    const QDateTime now = m_station.environment.clock->now();
    const auto last = m_lastRefusal.constFind(peer);
    if (last != m_lastRefusal.constEnd() && last->secsTo(now) < kRefusalQuietSeconds &&
        last->secsTo(now) >= 0)
        return;
    if (m_lastRefusal.size() >= kRefusalsRemembered) {
        for (auto it = m_lastRefusal.begin(); it != m_lastRefusal.end();)
            it = it->secsTo(now) >= kRefusalQuietSeconds ? m_lastRefusal.erase(it) : ++it;
        if (m_lastRefusal.size() >= kRefusalsRemembered)
            m_lastRefusal.clear();
    }
    m_lastRefusal.insert(peer, now);
    m_station.view.recordEvent(QStringLiteral("Refused call from ") + peer);
}

void ConnectionManager::Socket1_Secured(const QString &description)
{
    m_station.view.recordEvent(QStringLiteral("Secure link: ") + description);
}

void ConnectionManager::Socket1_Connect()
{
    m_station.state.NetRxBuffer.clear();
    m_station.view.setNetStatus(QStringLiteral("CONNECTING"));
    // The call may have been answered on the last calling tick; without this the next
    // tick would give up on the fresh connection.
    m_station.state.Ack_Retries = 0;
}

void ConnectionManager::Socket1_Error(const QString &text)
{
    m_station.view.setNetStatus(text);
    if (m_station.Socket1.IsConnected())
        m_station.view.showLamp(StationView::Lamp::Network, StationView::Colour::Red);
}

void ConnectionManager::DisconnectMenuItem_Click()
{
    SocketControl &socket = m_station.Socket1;
    socket.Read(1024);
    socket.Disconnect();
    m_station.state.AutoReconnect = false;
    m_station.state.Ack_Retries = 2;
}

void ConnectionManager::ReconnectMenuItem_Click()
{
    m_station.Socket1.Connect();
    m_station.state.AutoReconnect = true;
    m_station.state.Ack_Retries = 0;
}
