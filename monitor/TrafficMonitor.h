#pragma once
// The lamps, the Log Traffic button's flash and the traffic view, all timed by the 50 ms
// RS232timer: a flash lasts three ticks, and lamps change only on a tick, never in the
// data path.
#include "app/StationView.h"
#include "serial/TrafficLogWriter.h"

class SerialForwarder;
struct StationParts;

class TrafficMonitor final
{
public:
    TrafficMonitor(StationParts &station, SerialForwarder &forwarder)
        : m_station(station), m_forwarder(forwarder)
    {
    }

    void RS232timer_Timer();
    void ViewMenuItem_Click();

private:
    void countDown(int &timeout, StationView::Lamp lamp);

    StationParts &m_station;
    SerialForwarder &m_forwarder;
    TrafficLogWriter::LogState m_rxLog{QStringLiteral("Receive log"), {}};
    TrafficLogWriter::LogState m_txLog{QStringLiteral("Transmit log"), {}};
};
