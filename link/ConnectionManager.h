#pragma once
// Finds the peer and keeps the link alive. Neither end is the server: each tick of
// NetworkTimer advances Ack_Retries, whose value selects the phase:
//   1 to 4   call the peer (each call has one tick to be answered), or, connected, send a
//            state message; every received packet sets the counter back to 0
//   5        give up: end any connection and listen
//   6 to 11  listen
//   12 on    draw: 30 % chance per tick to go back to calling; two ends that called each
//            other at the same moment thus leave listening at different ticks.
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QTimer>

struct StationParts;

class ConnectionManager final
{
public:
    static constexpr int kGiveUpTick = 5;
    static constexpr int kLastListeningTick = 11;
    static constexpr double kCallChance = 0.3;

    // Between the give-up step's abort and its listen, events run: the give-up step ends
    // with the listen this long after the abort, on a timer of its own.
    static constexpr int kAbortSettleMs = 50;
    // A refused caller is told in the history once in this time, so a scan cannot flood it;
    // the addresses remembered for it are bounded.
    static constexpr int kRefusalQuietSeconds = 60;
    static constexpr int kRefusalsRemembered = 256;

    explicit ConnectionManager(StationParts &station);

    void NetworkTimer_Timer();
    void Socket1_Accept();
    void Socket1_Connect();
    void Socket1_Error(const QString &text);
    void Socket1_Secured(const QString &description);
    void DisconnectMenuItem_Click();
    void ReconnectMenuItem_Click();

private:
    void callOrKeepAlive();
    void giveUp();
    void listen();
    void decide();
    void setFastInterval();
    char stateFlag() const;
    // With a remote host given, only calls from its address (or what its name resolves
    // to) are taken, unless the security settings accept anyone.
    bool admits(const QString &peer);
    void refuseCall(const QString &peer);

    StationParts &m_station;
    QTimer m_listenAfterAbort;
    QHash<QString, QDateTime> m_lastRefusal;
};
