#include "monitor/TrafficMonitor.h"

#include "app/MainForm.h"
#include "monitor/StatusLine.h"
#include "monitor/TrafficBox.h"
#include "serial/SerialForwarder.h"
#include "serial/TrafficLogWriter.h"

#include <QAction>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace
{
const QColor kLogFlashColour(0xff, 0xff, 0x00); // red and green full, blue none
}

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

void TrafficMonitor::countDown(int &timeout, QLabel *lamp)
{
    if (timeout <= 0)
        return;
    --timeout;
    showLamp(lamp, timeout > 0 ? m_form.RedLED : m_form.GreenLED);
}

void TrafficMonitor::RS232timer_Timer()
{
    countDown(m_form.RxLEDtimeout, m_form.RxLED);
    countDown(m_form.TxLEDtimeout, m_form.TxLED);
    if (m_form.LogFlashCount > 0) {
        --m_form.LogFlashCount;
        QPalette palette = m_form.TrafficLogButton->palette();
        palette.setColor(QPalette::Button, m_form.LogFlashCount > 0
                                               ? kLogFlashColour
                                               : m_form.palette().color(QPalette::Button));
        m_form.TrafficLogButton->setPalette(palette);
    }

    for (const QString &report :
         {TrafficLogWriter::AppendTrafficLog(m_rxLog, m_form.RxLogFile, m_form.RxLogBuffer,
                                             m_form.LogFlashCount),
          TrafficLogWriter::AppendTrafficLog(m_txLog, m_form.TxLogFile, m_form.TxLogBuffer,
                                             m_form.LogFlashCount)}) {
        if (!report.isEmpty())
            m_form.statusLine().recordEvent(report);
    }

    m_form.RxTextBox->refresh();
    m_form.TxTextBox->refresh();
    m_form.serialForwarder().checkBackPressure();
}

void TrafficMonitor::ViewMenuItem_Click()
{
    if (m_form.ViewMenuItem->isChecked()) {
        m_form.ViewMenuItem->setChecked(false);
        m_form.setHeightTwips(MainForm::kCollapsedHeightTwips);
    } else {
        m_form.ViewMenuItem->setChecked(true);
        m_form.setHeightTwips(MainForm::kExpandedHeightTwips);
        m_form.RxTextBox->clearTraffic();
        m_form.TxTextBox->clearTraffic();
    }
}
