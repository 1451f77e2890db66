#include "common/LatencyProbe.h"

#include "common/BenchClock.h"
#include "common/LinkCheck.h"
#include "common/StreamPattern.h"

#include <QByteArray>

#include <poll.h>
#include <unistd.h>

namespace
{
constexpr quint64 kSeed = 64;
constexpr double kDrainQuietSeconds = 0.2;

void sampleOnce(const LatencyPath &path, const QByteArray &message, double timeoutSeconds,
                LatencyResult &result)
{
    QByteArray received;
    char buffer[4096];
    const double start = BenchClock::now();
    if (::write(path.writeFd, message.constData(), size_t(message.size())) != message.size()) {
        ++result.lost;
        return;
    }
    double arrived = 0;
    while (BenchClock::now() - start < timeoutSeconds) {
        pollfd entry{path.readFd, POLLIN, 0};
        // Waking at once on the byte is the point, so no timer granularity creeps in.
        ::poll(&entry, 1, 10);
        const ssize_t n = ::read(path.readFd, buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
        if (received.size() >= message.size()) {
            arrived = BenchClock::now();
            break;
        }
    }
    if (arrived == 0) {
        ++result.lost;
        // A late message must not be taken for the next one.
        LinkCheck::drain(path.readFd, kDrainQuietSeconds);
        return;
    }
    if (received != message)
        ++result.damaged;
    result.seconds.push_back(arrived - start);
}

} // namespace

std::vector<LatencyResult> LatencyProbe::measure(const std::vector<LatencyPath> &paths,
                                                 int messageSize, int samples, double pauseSeconds,
                                                 double timeoutSeconds)
{
    std::vector<LatencyResult> results(paths.size());
    StreamPattern pattern(kSeed, true);
    QByteArray message(messageSize, '\0');
    for (int sample = 0; sample < samples; ++sample) {
        pattern.fill(message.data(), message.size());
        // Who goes first changes too, so that neither always follows the other's wake-up.
        for (std::size_t turn = 0; turn < paths.size(); ++turn) {
            const std::size_t index = (turn + std::size_t(sample)) % paths.size();
            sampleOnce(paths[index], message, timeoutSeconds, results[index]);
            BenchClock::sleepFor(pauseSeconds);
        }
    }
    return results;
}
