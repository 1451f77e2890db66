#pragma once
// The status line's history: every change of the text is time-stamped into the history
// window, which the menu item, a double-click, Close and the close box show and hide.
class MainForm;
class QString;

class StatusLine final
{
public:
    explicit StatusLine(MainForm &form) : m_form(form) {}

    void NetStatus_Change();
    // A time-stamped line in the history for an event that is no state of the link (the
    // status line keeps showing the link).
    void recordEvent(const QString &text);
    void NetStatus_DblClick();
    void DisplayStatusHistoryMenuItem_Click();

private:
    void showHistory();
    MainForm &m_form;
};
