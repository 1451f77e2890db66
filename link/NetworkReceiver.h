#pragma once
// Cuts the bytes the peer sends into packets and acts on each: state packets set the
// loopback mode and the status, data packets go to the serial port (or straight back to
// the peer in local loopback), and every known packet tells the connection manager that
// the peer is alive.
#include "link/PacketReader.h"

#include <QByteArray>

class MainForm;

class NetworkReceiver final
{
public:
    static constexpr int kReadSize = 1024;

    explicit NetworkReceiver(MainForm &form);

    void Socket1_Read();
    bool unknownFlagBoxOpen() const { return m_unknownFlagBoxOpen; }

private:
    void applyPeerState(char flag);
    void deliverData(const QByteArray &payload);
    void reportUnknownFlag(char flag);

    MainForm &m_form;
    // Lives as long as the buffer, so a waiting data packet is not searched again on every read.
    PacketReader m_reader;
    bool m_reading = false;
    bool m_unknownFlagBoxOpen = false;
};
