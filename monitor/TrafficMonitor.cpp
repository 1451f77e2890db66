#include "monitor/TrafficMonitor.h"

#include "app/StationParts.h"
#include "serial/SerialForwarder.h"
#include "serial/TrafficLogWriter.h"

#include <QLabel>
#include <QPainter>

QPixmap TrafficMonitor::lampPicture(const QColor &colour, int pixels)
{
    QPixmap picture(pixels, pixels);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shine(pixels * 0.35, pixels * 0.35, pixels * 0.6);
    shine.setColorAt(0, colour.lighter(170));
    shine.setColorAt(1, colour.darker(120));
    painter.setBrush(shine);
    painter.setPen(QPen(colour.darker(200), 1));
    painter.drawEllipse(QRectF(0.5, 0.5, pixels - 1.0, pixels - 1.0));
    return picture;
}

void TrafficMonitor::showLamp(QLabel *lamp, const QPixmap &picture)
{
    if (lamp->pixmap().cacheKey() != picture.cacheKey())
        lamp->setPixmap(picture);
}

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
