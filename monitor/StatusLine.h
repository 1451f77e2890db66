#pragma once
// The status line's history: every change of the text is time-stamped into the history
// window, which the menu item, a double-click, Close and the close box show and hide.
#include <QString>

class MainForm;

class StatusLine final
{
public:
    explicit StatusLine(MainForm &form) : m_form(form) {}

    void NetStatus_Change();
    // Writes a line into the history without changing the status line: for what happens
    // when nobody may be there to answer a box.
    void record(const QString &text);
    void NetStatus_DblClick();
    void DisplayStatusHistoryMenuItem_Click();

private:
    void showHistory();
    MainForm &m_form;
};
