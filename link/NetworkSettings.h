#pragma once
// The network settings as a whole, applied while the station runs: by the network setup
// dialog's OK, and by a station without a window when it reads its settings file again.
// Applied, the station calls afresh with them.
#include <QString>

struct StationParts;

struct NetworkSettings {
    QString remoteHost;   // a dotted address or a host name
    qint64 port = 0;      // one past the 32-bit range keeps the old port
    QString localAddress; // empty: all IPv4 addresses
    bool serverMode = false;
    bool autoResolve = false;
    bool fastConnect = true;

    void applyTo(StationParts &station) const;
};
