#pragma once
// A connection let go of by its owner, kept only until the peer has what was accepted for it.
//
// Principles of operation
// - The bytes still queued are written as the kernel takes them; then the sending side is
//   shut, so the peer reads the end of the stream after the last byte.
// - The kernel's send queue (SIOCOUTQ: bytes sent but not yet acknowledged, and the end
//   mark) is watched until it is empty, or until the peer resets the connection (a station
//   does so once it has read the end). What the peer sends meanwhile is read and thrown
//   away: the owner has stopped taking it.
// - Then the socket is reset, as every close of a link is, so that no TIME_WAIT is left
//   between the link's two fixed address pairs.
// - A peer that takes nothing for kStallMs, or a drain that outlasts kLimitMs, is given up:
//   a gone peer must not hold a stop up.
// - Everything is polled from a timer; nothing blocks and no event reaches the owner but
//   finished().
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class SocketDrain final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SocketDrain)

public:
    static constexpr int kPollMs = 10;
    static constexpr int kStallMs = 3000;
    static constexpr int kLimitMs = 15000;

    // Takes over the connected, non-blocking descriptor fd and the bytes not yet written.
    SocketDrain(int fd, const QByteArray &unsent, QObject *parent = nullptr);
    // Resets the connection if it has not finished yet.
    ~SocketDrain() override;

Q_SIGNALS:
    void finished();

private:
    void poll();
    bool writeUnsent();
    bool peerStillThere();
    void finish();

    int m_fd = -1;
    QByteArray m_unsent;
    bool m_sendingShut = false;
    qint64 m_leastRemaining = -1;
    QTimer m_timer;
    QElapsedTimer m_age;
    QElapsedTimer m_sinceProgress;
};
