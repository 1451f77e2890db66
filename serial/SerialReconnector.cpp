#include "serial/SerialReconnector.h"

#include "app/StationParts.h"
#include "platform/SerialControl.h"

SerialReconnector::SerialReconnector(StationParts &station) : m_station(station)
{
    m_timer.setInterval(kRetryInterval);
    connect(&m_timer, &QTimer::timeout, this, &SerialReconnector::retry);
}

void SerialReconnector::expectPort()
{
    if (m_station.RS232comms.PortOpen())
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
    SerialControl &serial = m_station.RS232comms;
    if (!m_expecting || m_paused)
        return;
    if (!serial.PortOpen()) {
        ++m_tries;
        // A device still missing fails at once (no such file); the next tick tries again.
        if (!serial.setPortOpen(true))
            return;
    }
    forget();
    m_station.showSerialFrameCaption();
    m_station.state.RxLEDtimeout = 0;
    m_station.state.TxLEDtimeout = 0;
    m_station.view.showLamp(StationView::Lamp::Receive, StationView::Colour::Green);
    m_station.view.showLamp(StationView::Lamp::Transmit, StationView::Colour::Green);
}
