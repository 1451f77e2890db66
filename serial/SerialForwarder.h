#pragma once
// Everything the local serial device sends enters here: one chunk per receive event, shown,
// queued for the receive log, and either echoed back (local loopback) or sent to the peer.
//
// Back-pressure instead of loss: while connected and the socket's write queue is at its
// bound, serial input is paused (the bytes wait in the device, whose flow control holds
// the sender back) and resumes once the queue drains. Only with no connection at all is a
// chunk dropped.
struct StationParts;
class SerialReconnector;

class SerialForwarder final
{
public:
    SerialForwarder(StationParts &station, SerialReconnector &reconnector)
        : m_station(station), m_reconnector(reconnector)
    {
    }

    void RS232comms_OnComm();
    void ReadSerialInput();
    // The socket can take data again.
    void Socket1_Writable();
    // Runs every RS232timer tick: resumes input held back for a connection that is gone.
    void checkBackPressure();
    // The serial device vanished; the component has closed the port.
    void RS232comms_PortLost();
    bool inputPaused() const { return m_inputPaused; }

private:
    void pauseInput(bool paused);

    StationParts &m_station;
    SerialReconnector &m_reconnector;
    bool m_inputPaused = false;
};
