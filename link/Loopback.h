#pragma once
// The Test menu: either end can make one station a mirror. The two ends agree on the mode
// through the state flags; LoopSyncPending makes the receiver skip the one state packet
// that may have crossed the command on the wire.
class MainForm;

class Loopback final
{
public:
    explicit Loopback(MainForm &form) : m_form(form) {}

    void LocalLoopMenuItem_Click();
    void RemoteLoopMenuItem_Click();
    void SendTestMenuItem_Click();

private:
    void backToNormal();
    MainForm &m_form;
};
