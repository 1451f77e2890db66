#include "serial/SerialForwarder.h"

#include "app/LogQueue.h"
#include "app/StationParts.h"
#include "link/LinkProtocol.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"

void SerialForwarder::RS232comms_OnComm()
{
    if (m_station.RS232comms.CommEvent() == SerialControl::kCommEventReceive)
        ReadSerialInput();
}

void SerialForwarder::ReadSerialInput()
{
    SerialControl &serial = m_station.RS232comms;
    SocketControl &socket = m_station.Socket1;
    const bool localLoop = m_station.state.loopMode == LoopMode::Local;
    if (!localLoop && socket.IsConnected() && !socket.IsWritable()) {
        holdInput(m_heldForSocket, true);
        return;
    }

    QByteArray chunk;
    if (serial.InBufferCount() >= 1) {
        chunk = serial.Input();
        m_station.state.flashRxLed();
        if (m_station.state.ViewTraffic) {
            m_station.view.appendTraffic(StationView::Traffic::Received, chunk);
            if (!m_station.state.RxLogFile.isEmpty())
                LogQueue::queue(m_station.state.RxLogBuffer, chunk);
        }
    }

    if (localLoop) {
        serial.Output(chunk);
        m_station.state.flashTxLed();
        if (!m_station.state.TxLogFile.isEmpty())
            LogQueue::queue(m_station.state.TxLogBuffer, chunk);
        if (serial.OutBufferCount() > kEchoBacklogBound)
            holdInput(m_heldForEcho, true);
    } else if (socket.IsWritable()) {
        for (const QByteArray &message : LinkProtocol::dataMessagesFor(chunk))
            socket.Write(message);
    }
}

void SerialForwarder::holdInput(bool &reason, bool held)
{
    reason = held;
    const bool paused = m_heldForSocket || m_heldForEcho;
    if (m_inputPaused == paused)
        return;
    m_inputPaused = paused;
    m_station.RS232comms.setInputPaused(paused);
}

void SerialForwarder::Socket1_Writable()
{
    holdInput(m_heldForSocket, false);
}

void SerialForwarder::RS232comms_BytesWritten()
{
    if (m_heldForEcho && m_station.RS232comms.OutBufferCount() <= kEchoBacklogResume)
        holdInput(m_heldForEcho, false);
}

void SerialForwarder::checkBackPressure()
{
    const SocketControl &socket = m_station.Socket1;
    if (m_heldForSocket && (!socket.IsConnected() || socket.IsWritable() ||
                            m_station.state.loopMode == LoopMode::Local))
        holdInput(m_heldForSocket, false);
    // Loopback ended while the echo was held: what the device sent goes to the peer now.
    if (m_heldForEcho && m_station.state.loopMode != LoopMode::Local)
        holdInput(m_heldForEcho, false);
}

void SerialForwarder::RS232comms_OutputOverflowStarted()
{
    m_station.view.recordEvent(
        QStringLiteral("Serial output overflow: the device is not taking data"));
}

void SerialForwarder::RS232comms_OutputOverflowEnded(qint64 droppedBytes)
{
    m_station.view.recordEvent(
        QStringLiteral("Serial output overflow: %1 bytes dropped").arg(droppedBytes));
}

void SerialForwarder::RS232comms_PortLost()
{
    m_heldForEcho = false;
    holdInput(m_heldForSocket, false);
    m_station.showSerialFrameCaption();
    m_station.view.showLamp(StationView::Lamp::Receive, StationView::Colour::Grey);
    m_station.view.showLamp(StationView::Lamp::Transmit, StationView::Colour::Grey);
    m_station.state.RxLEDtimeout = 0;
    m_station.state.TxLEDtimeout = 0;
    m_reconnector.expectPort();
}
