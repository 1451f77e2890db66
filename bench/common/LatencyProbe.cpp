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
} // namespace

LatencyResult LatencyProbe::measure(int writeFd, int readFd, int messageSize, int samples,
                                    double pauseSeconds, double timeoutSeconds)
{
    LatencyResult result;
    StreamPattern pattern(kSeed, true);
    QByteArray message(messageSize, '\0');
    QByteArray received;
    char buffer[4096];
    for (int sample = 0; sample < samples; ++sample) {
        pattern.fill(message.data(), message.size());
        received.clear();
        const double start = BenchClock::now();
        if (::write(writeFd, message.constData(), size_t(message.size())) != message.size()) {
            ++result.lost;
            continue;
        }
        double arrived = 0;
        while (BenchClock::now() - start < timeoutSeconds) {
            pollfd entry{readFd, POLLIN, 0};
            // Waking at once on the byte is the point, so no timer granularity creeps in.
            ::poll(&entry, 1, 10);
            const ssize_t n = ::read(readFd, buffer, sizeof buffer);
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
            LinkCheck::drain(readFd, kDrainQuietSeconds);
        } else {
            if (received != message)
                ++result.damaged;
            result.seconds.push_back(arrived - start);
        }
        BenchClock::sleepFor(pauseSeconds);
    }
    return result;
}
