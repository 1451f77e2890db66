#include "link/NetworkReceiver.h"

#include "app/LogQueue.h"
#include "app/StationParts.h"
#include "link/LinkProtocol.h"
#include "link/PacketReader.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"

#include <QScopeGuard>
#include <QScopedValueRollback>

NetworkReceiver::NetworkReceiver(StationParts &station)
    : m_station(station), m_reader(station.state.NetRxBuffer)
{
    m_holdBackTimer.setSingleShot(true);
    m_holdBackTimer.setInterval(kHoldBackRetryMs);
    QObject::connect(&m_holdBackTimer, &QTimer::timeout, [this] { Socket1_Read(); });
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(0);
    QObject::connect(&m_flushTimer, &QTimer::timeout, [this] { flushSerialBatch(); });
}

void NetworkReceiver::Socket1_Read()
{
    // Never entered again while it works on the buffer; the socket raises OnRead again for
    // whatever this pass leaves unread.
    if (m_reading)
        return;
    const QScopedValueRollback<bool> reading(m_reading, true);
    const auto finish = qScopeGuard([this] { finishPass(); });
    if (holdBackForSerial())
        return;

    PacketReader &reader = m_reader;
    reader.append(m_station.Socket1.Read(kReadSize));
    while (const std::optional<PacketReader::Packet> packet = reader.next()) {
        switch (packet->flag) {
        case LinkProtocol::kFlagNormal:
        case LinkProtocol::kFlagLocalLoop:
        case LinkProtocol::kFlagRemoteLoop:
            m_station.state.Ack_Retries = 0;
            if (m_station.state.LoopSyncPending) {
                // The peer's mode may have crossed our loopback command on the wire:
                // handle it one read later.
                m_station.state.LoopSyncPending = false;
                reader.keepCurrent();
                return;
            }
            applyPeerState(packet->flag);
            break;
        case LinkProtocol::kFlagData:
            m_station.state.Ack_Retries = 0;
            deliverData(packet->payload);
            break;
        case LinkProtocol::kFlagEnd:
            m_station.state.Ack_Retries = 0;
            break;
        default:
            reportUnknownFlag(packet->flag);
            break;
        }
    }
    // A data packet whose end is still on its way also shows that the peer is alive.
    if (reader.holdsIncompleteData())
        m_station.state.Ack_Retries = 0;
}

void NetworkReceiver::RS232comms_BytesWritten()
{
    // At once rather than at the next retry: a device that drains its queue between two
    // retries would otherwise wait idle for the rest of the interval.
    if (m_holdingBack && !m_reading &&
        m_station.RS232comms.OutBufferCount() <= kSerialBacklogResume) {
        m_holdBackTimer.stop();
        Socket1_Read();
    }
}

void NetworkReceiver::finishPass()
{
    // Nothing waits in the batch once the socket has handed out all it holds, nor while
    // the serial port is behind.
    if (m_serialBatch.isEmpty())
        return;
    if (m_station.Socket1.pendingReadBytes() == 0 || m_holdingBack)
        flushSerialBatch();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void NetworkReceiver::flushSerialBatch()
{
    m_flushTimer.stop();
    if (m_serialBatch.isEmpty())
        return;
    if (m_station.RS232comms.PortOpen())
        m_station.RS232comms.Output(m_serialBatch);
    // Keeps its capacity for the next burst.
    m_serialBatch.resize(0);
}

bool NetworkReceiver::holdBackForSerial()
{
    // A serial port slower than the network (a lower baud rate, a device holding the line
    // with flow control, a reader that falls behind) would otherwise fill its queue until
    // bytes are dropped. Left in the socket, the bytes fill its bounded buffer, the kernel's
    // window closes, and the peer pauses its serial input in turn.
    const int queued = m_station.RS232comms.OutBufferCount();
    m_holdingBack = queued > (m_holdingBack ? kSerialBacklogResume : kSerialBacklogBound);
    if (!m_holdingBack)
        return false;
    // The peer is alive: its bytes are waiting for us.
    if (m_station.Socket1.pendingReadBytes() > 0)
        m_station.state.Ack_Retries = 0;
    m_holdBackTimer.start();
    return true;
}

void NetworkReceiver::applyPeerState(char flag)
{
    // The peer's mode seen from this end: a peer in local loopback mirrors for us.
    if (flag == LinkProtocol::kFlagNormal)
        m_station.setLoopMode(LoopMode::Normal);
    else if (flag == LinkProtocol::kFlagLocalLoop)
        m_station.setLoopMode(LoopMode::Remote);
    else
        m_station.setLoopMode(LoopMode::Local);
    m_station.view.enableCommand(StationView::Command::LocalLoop, true);
    m_station.view.enableCommand(StationView::Command::RemoteLoop, true);
}

void NetworkReceiver::deliverData(const QByteArray &payload)
{
    if (m_station.state.ViewTraffic)
        m_station.view.appendTraffic(StationView::Traffic::Transmitted, payload);
    if (m_station.state.loopMode == LoopMode::Local) {
        for (const QByteArray &message : LinkProtocol::reflectedDataMessagesFor(payload))
            m_station.Socket1.Write(message);
        return;
    }
    if (!m_station.RS232comms.PortOpen())
        return;
    m_serialBatch += payload;
    if (m_serialBatch.size() >= kSerialBatchBound)
        flushSerialBatch();
    m_station.state.flashTxLed();
    if (!m_station.state.TxLogFile.isEmpty())
        LogQueue::queue(m_station.state.TxLogBuffer, payload);
}

void NetworkReceiver::reportUnknownFlag(char flag)
{
    // The box must not stop the link: reading goes on at once, and one box at a time.
    if (m_unknownFlagBoxOpen)
        return;
    m_unknownFlagBoxOpen = true;
    const QString text =
        QStringLiteral("Unknown Packet Flag '") + QChar::fromLatin1(flag) + QStringLiteral("'");
    m_station.environment.messageBoxes->informLater(m_station.window, text,
                                                    QStringLiteral("ERROR - Network Rx Packet"),
                                                    [this] { m_unknownFlagBoxOpen = false; });
}
