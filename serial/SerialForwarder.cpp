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
        pauseInput(true);
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
    } else if (socket.IsWritable()) {
        for (const QByteArray &message : LinkProtocol::dataMessagesFor(chunk))
            socket.Write(message);
    }
}

void SerialForwarder::pauseInput(bool paused)
{
    if (m_inputPaused == paused)
        return;
    m_inputPaused = paused;
    m_station.RS232comms.setInputPaused(paused);
}

void SerialForwarder::Socket1_Writable()
{
    pauseInput(false);
}

void SerialForwarder::checkBackPressure()
{
    const SocketControl &socket = m_station.Socket1;
    if (m_inputPaused && (!socket.IsConnected() || socket.IsWritable()))
        pauseInput(false);
}

void SerialForwarder::RS232comms_PortLost()
{
    pauseInput(false);
    m_station.showSerialFrameCaption();
    m_station.view.showLamp(StationView::Lamp::Receive, StationView::Colour::Grey);
    m_station.view.showLamp(StationView::Lamp::Transmit, StationView::Colour::Grey);
    m_station.state.RxLEDtimeout = 0;
    m_station.state.TxLEDtimeout = 0;
    m_reconnector.expectPort();
}
