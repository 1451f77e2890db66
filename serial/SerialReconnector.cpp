#include "serial/SerialReconnector.h"

#include "app/MainForm.h"
#include "platform/SerialControl.h"

#include <QLabel>

SerialReconnector::SerialReconnector(MainForm &form) : m_form(form)
{
    m_timer.setInterval(kRetryInterval);
    connect(&m_timer, &QTimer::timeout, this, &SerialReconnector::retry);
}

void SerialReconnector::expectPort()
{
    if (m_form.RS232comms->PortOpen())
        return;
    m_expecting = true;
    if (!m_paused)
        m_timer.start();
}

void SerialReconnector::forget()
{
    m_expecting = false;
    m_timer.stop();
}

void SerialReconnector::setPaused(bool paused)
{
    m_paused = paused;
    if (paused)
        m_timer.stop();
    else if (m_expecting)
        m_timer.start();
}

void SerialReconnector::retry()
{
    SerialControl &serial = *m_form.RS232comms;
    if (!m_expecting || m_paused)
        return;
    if (!serial.PortOpen()) {
        ++m_tries;
        // A device still missing fails at once (no such file); the next tick tries again.
        if (!serial.setPortOpen(true))
            return;
    }
    forget();
    m_form.updateSerialFrameCaption();
    m_form.RxLEDtimeout = 0;
    m_form.TxLEDtimeout = 0;
    m_form.RxLED->setPixmap(m_form.GreenLED);
    m_form.TxLED->setPixmap(m_form.GreenLED);
}
