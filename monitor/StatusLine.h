#pragma once
// The status line's history: every change of the text is time-stamped into the history
// window, which the menu item, a double-click, Close and the close box show and hide.
class MainForm;

class StatusLine final
{
public:
    explicit StatusLine(MainForm &form) : m_form(form) {}

    void NetStatus_Change();
    void NetStatus_DblClick();
    void DisplayStatusHistoryMenuItem_Click();

private:
    void showHistory();
    MainForm &m_form;
};
