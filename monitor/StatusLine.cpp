#include "monitor/StatusLine.h"

#include "app/StationParts.h"
#include "monitor/StatusLogForm.h"
#include "monitor/StatusRecord.h"

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
    m_history.appendLine(StatusRecord::make(m_station.environment, text));
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
