#include "monitor/StatusLine.h"

#include "app/StationParts.h"
#include "monitor/StatusHistory.h"
#include "monitor/StatusLogForm.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include <QLocale>

StatusLine::StatusLine(StationParts &station, StatusLogForm &history)
    : m_station(station), m_history(history)
{
    QObject::connect(&m_history, &StatusLogForm::hiddenByUser, &m_history,
                     [this] { historyHidden(); });
}

void StatusLine::NetStatus_Change()
{
    recordEvent(m_station.view.netStatus());
}

void StatusLine::recordEvent(const QString &text)
{
    const QString line =
        StatusHistory::historyLine(m_station.environment.clock->now(), text, QLocale());
    m_history.appendLine(line);
    // Like the traffic logs, a status log that cannot be written never stops the station.
    if (const QString &path = m_station.environment.statusLogPath; !path.isEmpty())
        Files::append(path, line.toUtf8());
}

void StatusLine::showHistory()
{
    m_history.show();
    m_history.raise();
    m_shown = true;
    m_station.view.markStatusHistory(true);
}

void StatusLine::historyHidden()
{
    m_shown = false;
    m_station.view.markStatusHistory(false);
}

void StatusLine::NetStatus_DblClick()
{
    showHistory();
}

void StatusLine::DisplayStatusHistoryMenuItem_Click()
{
    if (!m_shown) {
        showHistory();
    } else {
        m_history.hide();
        historyHidden();
    }
}
