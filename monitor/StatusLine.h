#pragma once
// The status line's history: every change of the text is time-stamped into the history
// window, which the menu item, a double-click, Close and the close box show and hide.
#include <QString>

class StatusLogForm;
struct StationParts;

class StatusLine final
{
public:
    StatusLine(StationParts &station, StatusLogForm &history);

    void NetStatus_Change();
    // A time-stamped line in the history for an event that is no state of the link (the
    // status line keeps showing the link).
    void recordEvent(const QString &text);
    void NetStatus_DblClick();
    void DisplayStatusHistoryMenuItem_Click();

private:
    void showHistory();
    void historyHidden();

    StationParts &m_station;
    StatusLogForm &m_history;
    bool m_shown = false;
};
