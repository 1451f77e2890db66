#pragma once
// Everything the local serial device sends enters here: one chunk per receive event, shown,
// queued for the receive log, and either echoed back (local loopback) or sent to the peer.
//
// Back-pressure instead of loss: while connected and the socket's write queue is at its
// bound, serial input is paused (the bytes wait in the device, whose flow control holds
// the sender back) and resumes once the queue drains. Only with no connection at all is a
// chunk dropped.
class MainForm;

class SerialForwarder final
{
public:
    static constexpr int kLampTicks = 3;

    explicit SerialForwarder(MainForm &form) : m_form(form) {}

    void RS232comms_OnComm();
    void ReadSerialInput();
    void FlashRxLed();
    void FlashTxLed();
    // The socket can take data again.
    void Socket1_Writable();
    // Runs every RS232timer tick: resumes input held back for a connection that is gone.
    void checkBackPressure();
    // The serial device vanished; the component has closed the port.
    void RS232comms_PortLost();
    bool inputPaused() const { return m_inputPaused; }

private:
    void pauseInput(bool paused);

    MainForm &m_form;
    bool m_inputPaused = false;
};
