#include "serial/SerialForwarder.h"

#include "app/MainForm.h"
#include "link/LinkProtocol.h"
#include "monitor/TrafficBox.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"
#include "serial/TrafficLogWriter.h"

#include <QAction>
#include <QLabel>

void SerialForwarder::RS232comms_OnComm()
{
    if (m_form.RS232comms->CommEvent() == SerialControl::kCommEventReceive)
        ReadSerialInput();
}

void SerialForwarder::ReadSerialInput()
{
    SerialControl &serial = *m_form.RS232comms;
    SocketControl &socket = *m_form.Socket1;
    const bool localLoop = m_form.LocalLoopMenuItem->isChecked();
    if (!localLoop && socket.IsConnected() && !socket.IsWritable()) {
        pauseInput(true);
        return;
    }

    QByteArray chunk;
    if (serial.InBufferCount() >= 1) {
        chunk = serial.Input();
        FlashRxLed();
        if (m_form.ViewMenuItem->isChecked()) {
            m_form.RxTextBox->appendChunk(chunk);
            if (!m_form.RxLogFile.isEmpty())
                TrafficLogWriter::queueForLog(m_form.RxLogBuffer, chunk);
        }
    }

    if (localLoop) {
        serial.Output(chunk);
        FlashTxLed();
        if (!m_form.TxLogFile.isEmpty())
            TrafficLogWriter::queueForLog(m_form.TxLogBuffer, chunk);
    } else if (socket.IsWritable()) {
        for (const QByteArray &message : LinkProtocol::dataMessagesFor(chunk))
            socket.Write(message);
    }
}

void SerialForwarder::FlashRxLed()
{
    m_form.RxLEDtimeout = kLampTicks;
}

void SerialForwarder::FlashTxLed()
{
    m_form.TxLEDtimeout = kLampTicks;
}

void SerialForwarder::pauseInput(bool paused)
{
    if (m_inputPaused == paused)
        return;
    m_inputPaused = paused;
    m_form.RS232comms->setInputPaused(paused);
}

void SerialForwarder::Socket1_Writable()
{
    pauseInput(false);
}

void SerialForwarder::checkBackPressure()
{
    const SocketControl &socket = *m_form.Socket1;
    if (m_inputPaused && (!socket.IsConnected() || socket.IsWritable()))
        pauseInput(false);
}

void SerialForwarder::RS232comms_PortLost()
{
    pauseInput(false);
    m_form.updateSerialFrameCaption();
    m_form.RxLED->setPixmap(m_form.GreyLED);
    m_form.TxLED->setPixmap(m_form.GreyLED);
    m_form.RxLEDtimeout = 0;
    m_form.TxLEDtimeout = 0;
    m_form.serialReconnector().expectPort();
}
