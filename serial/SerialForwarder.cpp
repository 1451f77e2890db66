#include "serial/SerialForwarder.h"

#include "app/MainForm.h"
#include "link/LinkProtocol.h"
#include "monitor/StatusLine.h"
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
        holdInput(m_heldForSocket, true);
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
        if (serial.OutBufferCount() > kEchoBacklogBound)
            holdInput(m_heldForEcho, true);
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

void SerialForwarder::holdInput(bool &reason, bool held)
{
    reason = held;
    const bool paused = m_heldForSocket || m_heldForEcho;
    if (m_inputPaused == paused)
        return;
    m_inputPaused = paused;
    m_form.RS232comms->setInputPaused(paused);
}

void SerialForwarder::Socket1_Writable()
{
    holdInput(m_heldForSocket, false);
}

void SerialForwarder::RS232comms_BytesWritten()
{
    if (m_heldForEcho && m_form.RS232comms->OutBufferCount() <= kEchoBacklogResume)
        holdInput(m_heldForEcho, false);
}

void SerialForwarder::checkBackPressure()
{
    const SocketControl &socket = *m_form.Socket1;
    if (m_heldForSocket &&
        (!socket.IsConnected() || socket.IsWritable() || m_form.LocalLoopMenuItem->isChecked()))
        holdInput(m_heldForSocket, false);
    // Loopback ended while the echo was held: what the device sent goes to the peer now.
    if (m_heldForEcho && !m_form.LocalLoopMenuItem->isChecked())
        holdInput(m_heldForEcho, false);
}

void SerialForwarder::RS232comms_OutputOverflowStarted()
{
    m_form.statusLine().recordEvent(
        QStringLiteral("Serial output overflow: the device is not taking data"));
}

void SerialForwarder::RS232comms_OutputOverflowEnded(qint64 droppedBytes)
{
    m_form.statusLine().recordEvent(
        QStringLiteral("Serial output overflow: %1 bytes dropped").arg(droppedBytes));
}

void SerialForwarder::RS232comms_PortLost()
{
    m_heldForEcho = false;
    holdInput(m_heldForSocket, false);
    m_form.updateSerialFrameCaption();
    m_form.RxLED->setPixmap(m_form.GreyLED);
    m_form.TxLED->setPixmap(m_form.GreyLED);
    m_form.RxLEDtimeout = 0;
    m_form.TxLEDtimeout = 0;
    m_form.serialReconnector().expectPort();
}
