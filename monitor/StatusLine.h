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
    // Writes a line into the history without changing the status line: for what happens
    // when nobody may be there to answer a box.
    void record(const QString &text);
    void NetStatus_DblClick();
    void DisplayStatusHistoryMenuItem_Click();

private:
    void showHistory();
    void historyHidden();

    StationParts &m_station;
    StatusLogForm &m_history;
    bool m_shown = false;
};
