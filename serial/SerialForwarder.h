#pragma once
// Everything the local serial device sends enters here: one chunk per receive event, shown,
// queued for the receive log, and either echoed back (local loopback) or sent to the peer.
//
// Back-pressure instead of loss: while connected and the socket's write queue is at its
// bound, serial input is paused (the bytes wait in the device, whose flow control holds
// the sender back) and resumes once the queue drains. In local loopback the same holds for
// the echo: a device that does not take its echo as fast as it sends is no longer read
// while the serial port's queue is high. Only with no connection at all is a chunk
// dropped.
#include <QtGlobal>

struct StationParts;
class SerialReconnector;

class SerialForwarder final
{
public:
    // The echo's marks, in bytes waiting for the serial port: far below the port's own
    // bound, so a chunk read just before the hold still fits.
    static constexpr int kEchoBacklogBound = 256 * 1024;
    static constexpr int kEchoBacklogResume = 128 * 1024;

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
    // The serial port took queued bytes: a held-back echo may go on.
    void RS232comms_BytesWritten();
    void RS232comms_OutputOverflowStarted();
    void RS232comms_OutputOverflowEnded(qint64 droppedBytes);
    bool inputPaused() const { return m_inputPaused; }

private:
    void holdInput(bool &reason, bool held);

    StationParts &m_station;
    SerialReconnector &m_reconnector;
    bool m_inputPaused = false;
    bool m_heldForSocket = false;
    bool m_heldForEcho = false;
};
