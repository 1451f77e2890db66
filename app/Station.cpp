#include "app/Station.h"

#include "app/DefaultsFileIO.h"
#include "app/LogQueue.h"
#include "app/SecuritySettings.h"
#include "link/ConnectionManager.h"
#include "link/LinkProtocol.h"
#include "link/Loopback.h"
#include "link/NetworkReceiver.h"
#include "monitor/TrafficMonitor.h"
#include "platform/Files.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialForwarder.h"
#include "serial/SerialReconnector.h"
#include "serial/TrafficLogWriter.h"

#include <QAbstractEventDispatcher>
#include <QTimer>

Station::Station(StationState &state, StationView &view, const StationEnvironment &environment,
                 QWidget *owner)
    : m_environment(environment)
{
    Socket1 = new SocketControl(this);
    RS232comms = new SerialControl(SerialPortMap(m_environment.settingsFolder), this);
    RS232timer = new QTimer(this);
    RS232timer->setInterval(StationState::kRs232TimerMs);
    NetworkTimer = new QTimer(this);
    NetworkTimer->setTimerType(Qt::PreciseTimer);
    NetworkTimer->setInterval(StationState::kFastIntervalMs);

    m_parts.reset(
        new StationParts{state, view, *Socket1, *RS232comms, *NetworkTimer, m_environment, owner});
    m_connectionManager = std::make_unique<ConnectionManager>(*m_parts);
    m_networkReceiver = std::make_unique<NetworkReceiver>(*m_parts);
    m_loopback = std::make_unique<Loopback>(*m_parts);
    m_serialReconnector = std::make_unique<SerialReconnector>(*m_parts);
    m_serialForwarder = std::make_unique<SerialForwarder>(*m_parts, *m_serialReconnector);
    m_trafficMonitor = std::make_unique<TrafficMonitor>(*m_parts, *m_serialForwarder);
    connectEvents();
}

Station::~Station()
{
    unload();
    finishUnload();
}

void Station::connectEvents()
{
    connect(RS232timer, &QTimer::timeout, this, [this] { m_trafficMonitor->RS232timer_Timer(); });
    // Whatever queued work, the check comes before the loop waits again (a loop that only
    // polls, as a test's wait does, never blocks, but wakes each time).
    const QAbstractEventDispatcher *loop = QAbstractEventDispatcher::instance();
    connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, &Station::runQuickTimerAsNeeded);
    connect(loop, &QAbstractEventDispatcher::awake, this, &Station::runQuickTimerAsNeeded);
    connect(NetworkTimer, &QTimer::timeout, this,
            [this] { m_connectionManager->NetworkTimer_Timer(); });
    connect(Socket1, &SocketControl::OnAccept, this,
            [this] { m_connectionManager->Socket1_Accept(); });
    connect(Socket1, &SocketControl::OnConnect, this,
            [this] { m_connectionManager->Socket1_Connect(); });
    connect(Socket1, &SocketControl::OnError, this,
            [this](int, const QString &text) { m_connectionManager->Socket1_Error(text); });
    connect(Socket1, &SocketControl::OnRead, this, [this] { m_networkReceiver->Socket1_Read(); });
    connect(Socket1, &SocketControl::secured, this, [this](const QString &description) {
        m_connectionManager->Socket1_Secured(description);
    });
    connect(Socket1, &SocketControl::writable, this,
            [this] { m_serialForwarder->Socket1_Writable(); });
    connect(RS232comms, &SerialControl::OnComm, this,
            [this] { m_serialForwarder->RS232comms_OnComm(); });
    connect(RS232comms, &SerialControl::bytesWritten, this, [this] {
        m_networkReceiver->RS232comms_BytesWritten();
        m_serialForwarder->RS232comms_BytesWritten();
    });
    connect(RS232comms, &SerialControl::outputOverflowStarted, this,
            [this] { m_serialForwarder->RS232comms_OutputOverflowStarted(); });
    connect(RS232comms, &SerialControl::outputOverflowEnded, this,
            [this](qint64 dropped) { m_serialForwarder->RS232comms_OutputOverflowEnded(dropped); });
    connect(RS232comms, &SerialControl::portLost, this,
            [this](const QString &) { m_serialForwarder->RS232comms_PortLost(); });
}

bool Station::hasQuickWork() const
{
    const StationState &state = m_parts->state;
    // A log that is switched off keeps a small remainder, untouched, until it is on again.
    const auto logWaiting = [](const QString &path, const QByteArray &buffer) {
        return buffer.size() > (path.isEmpty() ? TrafficLogWriter::kSwitchedOffLimit : 0);
    };
    return state.RxLEDtimeout > 0 || state.TxLEDtimeout > 0 || state.LogFlashCount > 0 ||
           logWaiting(state.RxLogFile, state.RxLogBuffer) ||
           logWaiting(state.TxLogFile, state.TxLogBuffer) || m_parts->view.hasTrafficToShow() ||
           m_serialForwarder->inputPaused();
}

void Station::runQuickTimerAsNeeded()
{
    // Started afresh only when idle: a running timer keeps its rhythm.
    if (!hasQuickWork())
        RS232timer->stop();
    else if (!RS232timer->isActive())
        RS232timer->start();
}

void Station::load()
{
    StationState &state = m_parts->state;
    StationView &view = m_parts->view;
    state.NetRxBuffer.clear();
    state.PacketDelim = LinkProtocol::PacketDelim();
    state.Ack_Retries = 0;
    state.LoopSyncPending = false;
    for (StationView::Lamp lamp :
         {StationView::Lamp::Receive, StationView::Lamp::Transmit, StationView::Lamp::Network})
        view.showLamp(lamp, StationView::Colour::Grey);
    for (StationView::Command command :
         {StationView::Command::LocalLoop, StationView::Command::RemoteLoop,
          StationView::Command::SendTest})
        view.enableCommand(command, false);
    state.RxLogBuffer.clear();
    state.TxLogBuffer.clear();
    state.LogFlashCount = 0;
    state.RunInServerMode = false;
    state.AutoResolveHostName = false;
    state.AutoReconnect = true;
    Socket1->setRemoteHostName(QString());
    Socket1->setAutoResolve(false);
    state.Port_Number = StationState::kDefaultPort;

    DefaultsFileIO::LoadDefaults(*this);
    loadSecuritySettings();

    if (!state.RxLogFile.isEmpty())
        Files::remove(state.RxLogFile);
    if (!state.TxLogFile.isEmpty())
        Files::remove(state.TxLogFile);
    m_parts->showSerialFrameCaption();
    if (RS232comms->PortOpen()) {
        view.showLamp(StationView::Lamp::Receive, StationView::Colour::Green);
        view.showLamp(StationView::Lamp::Transmit, StationView::Colour::Green);
    }
    m_parts->showDestination();

    Socket1->setNoDelay(true);
    Socket1->setBufferSize(32768);
    Socket1->setLocalPort(state.Port_Number);
    Socket1->setRemotePort(state.Port_Number);
    if (!m_environment.bindAddress.isEmpty())
        Socket1->Bind(m_environment.bindAddress, state.Port_Number);
    Socket1->Abort();
}

void Station::loadSecuritySettings()
{
    QString error;
    m_parts->applySecurity(SecuritySettingsFile::load(m_environment.settingsFolder, &error));
    if (!error.isEmpty())
        m_parts->view.recordEvent(QStringLiteral("ERROR - tethra.ini: ") + error);
}

void Station::start()
{
    m_parts->state.NetworkTimerTag = QString::fromLatin1(StationState::kFastTag);
    NetworkTimer->setInterval(StationState::kFastIntervalMs);
    NetworkTimer->start();
}

void Station::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    DefaultsFileIO::SaveDefaults(*this);
    m_parts->state.AutoReconnect = false;
    NetworkTimer->stop();
    if (Socket1->IsConnected())
        Socket1->Disconnect();
    Socket1->Close();
    // The closed socket's queued events run first; the rest continues from the event loop
    // rather than from a loop nested in here.
    QTimer::singleShot(0, this, [this] { finishUnload(); });
}

void Station::finishUnload()
{
    if (m_unloadFinished)
        return;
    m_unloadFinished = true;
    Socket1->Cleanup();
    m_serialReconnector->forget();
    RS232comms->setPortOpen(false);
    Q_EMIT unloaded();
}

void Station::reload()
{
    // A station on its way out has saved its settings and only drains its link.
    if (m_unloaded)
        return;
    DefaultsFileIO::ReloadDefaults(*this);
    loadSecuritySettings();
}
