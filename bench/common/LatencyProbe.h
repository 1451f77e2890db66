#pragma once
// One-way latency of bridges: a message of a given size is written into one device end
// and timed until its last byte comes out of the other, one message at a time with a pause
// between, so that each sample sees an idle path.
//
// Several bridges are measured in turns, one sample each, so that all of them meet the
// same machine: on a shared machine the wake-up time drifts by half from one second to
// the next, far more than any two bridges differ.
#include <vector>

struct LatencyResult {
    std::vector<double> seconds;
    int lost = 0;
    int damaged = 0;
};

struct LatencyPath {
    int writeFd = -1;
    int readFd = -1;
};

namespace LatencyProbe
{

std::vector<LatencyResult> measure(const std::vector<LatencyPath> &paths, int messageSize,
                                   int samples, double pauseSeconds = 0.01,
                                   double timeoutSeconds = 2.0);

} // namespace LatencyProbe
