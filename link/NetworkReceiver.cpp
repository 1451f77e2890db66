#include "link/NetworkReceiver.h"

#include "app/MainForm.h"
#include "link/LinkProtocol.h"
#include "link/PacketReader.h"
#include "monitor/TrafficBox.h"
#include "monitor/TrafficMonitor.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialForwarder.h"
#include "serial/TrafficLogWriter.h"

#include <QAction>
#include <QLabel>
#include <QScopeGuard>
#include <QScopedValueRollback>

NetworkReceiver::NetworkReceiver(MainForm &form) : m_form(form), m_reader(form.NetRxBuffer)
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
    reader.append(m_form.Socket1->Read(kReadSize));
    while (const std::optional<PacketReader::Packet> packet = reader.next()) {
        switch (packet->flag) {
        case LinkProtocol::kFlagNormal:
        case LinkProtocol::kFlagLocalLoop:
        case LinkProtocol::kFlagRemoteLoop:
            m_form.Ack_Retries = 0;
            if (m_form.LoopSyncPending) {
                // The peer's mode may have crossed our loopback command on the wire:
                // handle it one read later.
                m_form.LoopSyncPending = false;
                reader.keepCurrent();
                return;
            }
            applyPeerState(packet->flag);
            break;
        case LinkProtocol::kFlagData:
            m_form.Ack_Retries = 0;
            deliverData(packet->payload);
            break;
        case LinkProtocol::kFlagEnd:
            m_form.Ack_Retries = 0;
            break;
        default:
            reportUnknownFlag(packet->flag);
            break;
        }
    }
    // A data packet whose end is still on its way also shows that the peer is alive.
    if (reader.holdsIncompleteData())
        m_form.Ack_Retries = 0;
}

void NetworkReceiver::RS232comms_BytesWritten()
{
    // At once rather than at the next retry: a device that drains its queue between two
    // retries would otherwise wait idle for the rest of the interval.
    if (m_holdingBack && !m_reading &&
        m_form.RS232comms->OutBufferCount() <= kSerialBacklogResume) {
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
    if (m_form.Socket1->pendingReadBytes() == 0 || m_holdingBack)
        flushSerialBatch();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void NetworkReceiver::flushSerialBatch()
{
    m_flushTimer.stop();
    if (m_serialBatch.isEmpty())
        return;
    if (m_form.RS232comms->PortOpen())
        m_form.RS232comms->Output(m_serialBatch);
    // Keeps its capacity for the next burst.
    m_serialBatch.resize(0);
}

bool NetworkReceiver::holdBackForSerial()
{
    // A serial port slower than the network (a lower baud rate, a device holding the line
    // with flow control, a reader that falls behind) would otherwise fill its queue until
    // bytes are dropped. Left in the socket, the bytes fill its bounded buffer, the kernel's
    // window closes, and the peer pauses its serial input in turn.
    const int queued = m_form.RS232comms->OutBufferCount();
    m_holdingBack = queued > (m_holdingBack ? kSerialBacklogResume : kSerialBacklogBound);
    if (!m_holdingBack)
        return false;
    // The peer is alive: its bytes are waiting for us.
    if (m_form.Socket1->pendingReadBytes() > 0)
        m_form.Ack_Retries = 0;
    m_holdBackTimer.start();
    return true;
}

void NetworkReceiver::applyPeerState(char flag)
{
    QAction *local = m_form.LocalLoopMenuItem;
    QAction *remote = m_form.RemoteLoopMenuItem;
    if (flag == LinkProtocol::kFlagNormal) {
        remote->setChecked(false);
        local->setChecked(false);
        m_form.SendTestMenuItem->setEnabled(false);
        m_form.setNetStatus(QStringLiteral("Connected"));
        TrafficMonitor::showLamp(m_form.NetLED, m_form.GreenLED);
    } else if (flag == LinkProtocol::kFlagLocalLoop) {
        remote->setChecked(true);
        local->setChecked(false);
        m_form.SendTestMenuItem->setEnabled(true);
        m_form.setNetStatus(QStringLiteral("Remote Loopback"));
        TrafficMonitor::showLamp(m_form.NetLED, m_form.YellowLED);
    } else {
        local->setChecked(true);
        remote->setChecked(false);
        m_form.SendTestMenuItem->setEnabled(false);
        m_form.setNetStatus(QStringLiteral("Local Loopback"));
        TrafficMonitor::showLamp(m_form.NetLED, m_form.YellowLED);
    }
    local->setEnabled(true);
    remote->setEnabled(true);
}

void NetworkReceiver::deliverData(const QByteArray &payload)
{
    if (m_form.ViewMenuItem->isChecked())
        m_form.TxTextBox->appendChunk(payload);
    if (m_form.LocalLoopMenuItem->isChecked()) {
        for (const QByteArray &message : LinkProtocol::reflectedDataMessagesFor(payload))
            m_form.Socket1->Write(message);
        return;
    }
    if (!m_form.RS232comms->PortOpen())
        return;
    m_serialBatch += payload;
    if (m_serialBatch.size() >= kSerialBatchBound)
        flushSerialBatch();
    m_form.serialForwarder().FlashTxLed();
    if (!m_form.TxLogFile.isEmpty())
        TrafficLogWriter::queueForLog(m_form.TxLogBuffer, payload);
}

void NetworkReceiver::reportUnknownFlag(char flag)
{
    // The box must not stop the link: reading goes on at once, and one box at a time.
    if (m_unknownFlagBoxOpen)
        return;
    m_unknownFlagBoxOpen = true;
    const QString text =
        QStringLiteral("Unknown Packet Flag '") + QChar::fromLatin1(flag) + QStringLiteral("'");
    m_form.environment().messageBoxes->informLater(&m_form, text,
                                                   QStringLiteral("ERROR - Network Rx Packet"),
                                                   [this] { m_unknownFlagBoxOpen = false; });
}
