#pragma once
// Two stations calling each other: either both on this machine's loopback, each bound to
// its own address (--bind), or each in its own network namespace on port `port` of its own
// address. Either way each has its own settings folder and pseudo-terminal as Com1.
#include "common/BenchStation.h"
#include "common/BridgeUnderTest.h"

#include <QString>
#include <QStringList>

class NamespacePair;

class StationPair final
{
public:
    StationPair() = default;
    StationPair(const StationPair &) = delete;
    StationPair &operator=(const StationPair &) = delete;

    // options: more of the program's options, such as --headless; a passphrase makes the
    // link a secure one.
    bool startBound(const QString &binary, const QString &addressA, const QString &addressB,
                    int port, bool viewTraffic = false, const QStringList &options = {},
                    const QString &passphrase = {});
    bool startInNamespaces(const QString &binary, const NamespacePair &hosts, int port);
    // Starts the station again with the command it had, after it was stopped.
    bool restart(int end);
    BenchStation &station(int end) { return m_stations[end]; }
    BridgeUnderTest bridge() const;
    QString errorString() const { return m_error; }

private:
    bool startBoth();

    BenchStation m_stations[2];
    QStringList m_commands[2];
    QString m_error;
};
