#pragma once
// Cuts the bytes the peer sends into packets and acts on each: state packets set the
// loopback mode and the status, data packets go to the serial port (or straight back to
// the peer in local loopback), and every known packet tells the connection manager that
// the peer is alive.
#include "link/PacketReader.h"

#include <QByteArray>
#include <QTimer>

struct StationParts;

class NetworkReceiver final
{
public:
    static constexpr int kReadSize = 1024;
    // Back-pressure towards the peer: above this many bytes waiting for the serial port the
    // peer's bytes stay in the socket; reading resumes below the lower mark. Both are well
    // below what the serial port queues before it drops.
    static constexpr int kSerialBacklogBound = 256 * 1024;
    static constexpr int kSerialBacklogResume = 128 * 1024;
    static constexpr int kHoldBackRetryMs = 5;
    // Payloads of one burst of reads go to the serial port in one write, up to this many
    // bytes: a pseudo-terminal or USB adapter costs about as much per write as per
    // kilobyte.
    static constexpr int kSerialBatchBound = 64 * 1024;

    explicit NetworkReceiver(StationParts &station);

    void Socket1_Read();
    // The serial port took queued bytes: a held-back peer may go on.
    void RS232comms_BytesWritten();
    bool unknownFlagBoxOpen() const { return m_unknownFlagBoxOpen; }

private:
    void applyPeerState(char flag);
    void deliverData(const QByteArray &payload);
    void reportUnknownFlag(char flag);
    bool holdBackForSerial();
    void finishPass();
    void flushSerialBatch();

    StationParts &m_station;
    // Lives as long as the buffer, so a waiting data packet is not searched again on every read.
    PacketReader m_reader;
    bool m_reading = false;
    bool m_unknownFlagBoxOpen = false;
    bool m_holdingBack = false;
    QTimer m_holdBackTimer;
    QByteArray m_serialBatch;
    // The socket raises OnRead again while bytes wait in it, and the batch goes out then;
    // should the connection end first, this still sends it in the next event-loop pass.
    QTimer m_flushTimer;
};
