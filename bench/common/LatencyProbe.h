#pragma once
// One-way latency of a bridge: a message of a given size is written into one device end
// and timed until its last byte comes out of the other, one message at a time with a pause
// between, so that each sample sees an idle path.
#include <vector>

struct LatencyResult {
    std::vector<double> seconds;
    int lost = 0;
    int damaged = 0;
};

namespace LatencyProbe
{

LatencyResult measure(int writeFd, int readFd, int messageSize, int samples,
                      double pauseSeconds = 0.01, double timeoutSeconds = 2.0);

} // namespace LatencyProbe
