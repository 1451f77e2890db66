#include "common/LinkCheck.h"

#include "common/BenchClock.h"

#include <QByteArray>

#include <poll.h>
#include <unistd.h>

namespace
{
constexpr char kMarker[] = "link?";
constexpr double kSettleSeconds = 0.5;
constexpr int kPollMs = 5;

QByteArray readAvailable(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return bytes;
        bytes.append(buffer, n);
    }
}
} // namespace

bool LinkCheck::waitForLink(int fromFd, int toFd, double timeoutSeconds, double markerEverySeconds)
{
    const double deadline = BenchClock::now() + timeoutSeconds;
    double nextMarker = 0;
    QByteArray seen;
    while (BenchClock::now() < deadline) {
        if (BenchClock::now() >= nextMarker) {
            if (::write(fromFd, kMarker, sizeof kMarker - 1) < 0)
                return false;
            nextMarker = BenchClock::now() + markerEverySeconds;
        }
        pollfd entry{toFd, POLLIN, 0};
        ::poll(&entry, 1, kPollMs);
        seen += readAvailable(toFd);
        if (seen.contains(kMarker)) {
            drain(toFd, kSettleSeconds);
            return true;
        }
        // Keep only a tail that could still hold the start of a marker.
        if (seen.size() > 64)
            seen = seen.right(16);
    }
    return false;
}

void LinkCheck::drain(int fd, double quietSeconds)
{
    double quietUntil = BenchClock::now() + quietSeconds;
    while (BenchClock::now() < quietUntil) {
        pollfd entry{fd, POLLIN, 0};
        ::poll(&entry, 1, kPollMs);
        if (!readAvailable(fd).isEmpty())
            quietUntil = BenchClock::now() + quietSeconds;
    }
}
