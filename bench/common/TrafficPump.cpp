#include "common/TrafficPump.h"

#include "common/BenchClock.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace
{
constexpr qsizetype kWriteChunk = 16 * 1024;
constexpr qsizetype kReadChunk = 64 * 1024;
constexpr int kPollMs = 1;
} // namespace

struct TrafficPump::Direction {
    Direction(const QString &name, int out, int in, quint64 seed, bool avoid)
        : sender(seed, avoid), checker(seed, avoid), writeFd(out), readFd(in)
    {
        result.label = name;
    }

    StreamPattern sender;
    StreamPattern checker;
    QCryptographicHash sentHash{QCryptographicHash::Sha256};
    QCryptographicHash receivedHash{QCryptographicHash::Sha256};
    int writeFd;
    int readFd;
    // Generated but not yet taken by the device.
    QByteArray pending;
    qsizetype pendingOffset = 0;
    qint64 generated = 0;
    double lastProgress = 0;
    bool failed = false;
    DirectionResult result;
};

QString DirectionResult::describe() const
{
    QString text = QStringLiteral("%1: sent %2 received %3 in %4 s = %5 MB/s, %6")
                       .arg(label)
                       .arg(sent)
                       .arg(received)
                       .arg(seconds(), 0, 'f', 3)
                       .arg(megabytesPerSecond(), 0, 'f', 2)
                       .arg(intact() ? QStringLiteral("intact, sha256 ") +
                                           QString::fromLatin1(sentHash.toHex().left(16))
                                     : QStringLiteral("DAMAGED"));
    if (mismatched > 0)
        text += QStringLiteral(" (%1 bytes differ, first at offset %2)")
                    .arg(mismatched)
                    .arg(firstMismatch);
    return text;
}

TrafficPump::TrafficPump(PumpSettings settings) : m_settings(std::move(settings)) {}

TrafficPump::~TrafficPump() = default;

void TrafficPump::addDirection(const QString &label, int writeFd, int readFd, quint64 seed)
{
    m_directions.push_back(
        std::make_unique<Direction>(label, writeFd, readFd, seed, m_settings.avoidDelimiterStart));
}

bool TrafficPump::sendingOver(const Direction &direction, double elapsed) const
{
    if (direction.pendingOffset < direction.pending.size())
        return false;
    if (m_settings.bytes > 0)
        return direction.generated >= m_settings.bytes;
    return elapsed >= m_settings.seconds;
}

qint64 TrafficPump::allowance(const Direction &direction, double elapsed) const
{
    qint64 limit = kWriteChunk;
    if (m_settings.bytes > 0)
        limit = std::min(limit, m_settings.bytes - direction.generated);
    if (m_settings.bytesPerSecond > 0) {
        const auto due = qint64(std::floor(m_settings.bytesPerSecond * elapsed));
        limit = std::min(limit, due - direction.generated);
    }
    return std::max<qint64>(limit, 0);
}

void TrafficPump::writeSome(Direction &direction, double now, double elapsed)
{
    if (direction.pendingOffset >= direction.pending.size()) {
        const qint64 count = sendingOver(direction, elapsed) ? 0 : allowance(direction, elapsed);
        if (count == 0)
            return;
        direction.pending.resize(count);
        direction.sender.fill(direction.pending.data(), count);
        direction.pendingOffset = 0;
        direction.generated += count;
    }
    const ssize_t n =
        ::write(direction.writeFd, direction.pending.constData() + direction.pendingOffset,
                size_t(direction.pending.size() - direction.pendingOffset));
    if (n < 0) {
        if (errno != EAGAIN && errno != EINTR)
            direction.failed = true;
        return;
    }
    if (direction.result.sent == 0)
        direction.result.firstWrite = now;
    direction.sentHash.addData(
        QByteArrayView(direction.pending.constData() + direction.pendingOffset, n));
    direction.pendingOffset += n;
    direction.result.sent += n;
}

void TrafficPump::readSome(Direction &direction, double now)
{
    char buffer[kReadChunk];
    char expected[kReadChunk];
    for (;;) {
        const ssize_t n = ::read(direction.readFd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        direction.checker.fill(expected, n);
        if (std::memcmp(buffer, expected, size_t(n)) != 0) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] == expected[i])
                    continue;
                if (direction.result.firstMismatch < 0)
                    direction.result.firstMismatch = direction.result.received + i;
                ++direction.result.mismatched;
            }
        }
        direction.receivedHash.addData(QByteArrayView(buffer, n));
        direction.result.received += n;
        direction.result.lastRead = now;
        direction.lastProgress = now;
    }
}

std::vector<DirectionResult> TrafficPump::run()
{
    const double start = BenchClock::now();
    double nextSample = m_settings.sampleSeconds;
    for (auto &direction : m_directions)
        direction->lastProgress = start;

    for (;;) {
        const double now = BenchClock::now();
        const double elapsed = now - start;
        bool allDone = true;
        std::vector<pollfd> fds;
        const auto watch = [&fds](int fd, short events) {
            for (pollfd &entry : fds) {
                if (entry.fd == fd) {
                    entry.events |= events;
                    return;
                }
            }
            fds.push_back(pollfd{fd, events, 0});
        };
        for (auto &direction : m_directions) {
            Direction &d = *direction;
            const bool sending = !sendingOver(d, elapsed) && !d.failed;
            const bool missing = d.result.received < d.result.sent;
            if (missing && now - d.lastProgress > m_settings.stallSeconds)
                d.failed = true;
            if (d.failed)
                continue;
            if (sending || missing)
                allDone = false;
            if (sending && (d.pendingOffset < d.pending.size() || allowance(d, elapsed) > 0))
                watch(d.writeFd, POLLOUT);
            watch(d.readFd, POLLIN);
        }
        if (allDone)
            break;
        if (m_settings.onSample && m_settings.sampleSeconds > 0 && elapsed >= nextSample) {
            m_settings.onSample(elapsed);
            nextSample += m_settings.sampleSeconds;
        }
        ::poll(fds.data(), nfds_t(fds.size()), kPollMs);
        const double after = BenchClock::now();
        const auto ready = [&fds](int fd, short events) {
            for (const pollfd &entry : fds)
                if (entry.fd == fd)
                    return (entry.revents & (events | POLLERR | POLLHUP)) != 0;
            return false;
        };
        for (auto &direction : m_directions) {
            if (direction->failed)
                continue;
            if (ready(direction->readFd, POLLIN))
                readSome(*direction, after);
            if (ready(direction->writeFd, POLLOUT))
                writeSome(*direction, after, after - start);
        }
    }

    std::vector<DirectionResult> results;
    for (auto &direction : m_directions) {
        direction->result.sentHash = direction->sentHash.result();
        direction->result.receivedHash = direction->receivedHash.result();
        results.push_back(direction->result);
    }
    return results;
}
