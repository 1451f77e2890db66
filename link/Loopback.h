#pragma once
// The Test menu: either end can make one station a mirror. The two ends agree on the mode
// through the state flags; LoopSyncPending makes the receiver skip the one state packet
// that may have crossed the command on the wire.
#include "app/StationState.h"

struct StationParts;

class Loopback final
{
public:
    explicit Loopback(StationParts &station) : m_station(station) {}

    void LocalLoopMenuItem_Click();
    void RemoteLoopMenuItem_Click();
    void SendTestMenuItem_Click();

private:
    void toggle(LoopMode mode, char flag);
    StationParts &m_station;
};
