#include "monitor/TrafficMonitor.h"

#include "app/StationParts.h"
#include "serial/SerialForwarder.h"
#include "serial/TrafficLogWriter.h"

void TrafficMonitor::countDown(int &timeout, StationView::Lamp lamp)
{
    if (timeout <= 0)
        return;
    --timeout;
    m_station.view.showLamp(lamp,
                            timeout > 0 ? StationView::Colour::Red : StationView::Colour::Green);
}

void TrafficMonitor::RS232timer_Timer()
{
    StationState &state = m_station.state;
    countDown(state.RxLEDtimeout, StationView::Lamp::Receive);
    countDown(state.TxLEDtimeout, StationView::Lamp::Transmit);
    if (state.LogFlashCount > 0) {
        --state.LogFlashCount;
        m_station.view.showLogFlash(state.LogFlashCount > 0);
    }

    for (const QString &report :
         {TrafficLogWriter::AppendTrafficLog(m_rxLog, state.RxLogFile, state.RxLogBuffer,
                                             state.LogFlashCount),
          TrafficLogWriter::AppendTrafficLog(m_txLog, state.TxLogFile, state.TxLogBuffer,
                                             state.LogFlashCount)}) {
        if (!report.isEmpty())
            m_station.view.recordEvent(report);
    }

    m_station.view.refreshTraffic();
    m_forwarder.checkBackPressure();
}

void TrafficMonitor::ViewMenuItem_Click()
{
    m_station.state.ViewTraffic = !m_station.state.ViewTraffic;
    m_station.view.showExpanded(m_station.state.ViewTraffic);
}
