// A long run both ways at a steady pace through two stations on pseudo-terminals: every
// byte checked, and the resident memory of both stations sampled throughout, so that a
// slow leak or a buffer that only grows shows up as a rising line.
#include "common/BenchClock.h"
#include "common/LinkCheck.h"
#include "common/ProcStats.h"
#include "common/Report.h"
#include "common/StationPair.h"
#include "common/TrafficPump.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <vector>

namespace
{
constexpr double kLinkTimeoutSeconds = 30;
// Memory reached after the first minute is the baseline: buffers and caches have grown to
// their working size by then.
constexpr double kWarmUpSeconds = 60;
constexpr long kFlatToleranceKb = 2048;
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Both ways at a steady pace for a long time; no byte may be lost or "
                       "changed and the stations' memory must stay flat."));
    parser.addHelpOption();
    const QCommandLineOption binary(QStringLiteral("binary"), QStringLiteral("Station program."),
                                    QStringLiteral("PATH"), Report::defaultStationBinary());
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Station port."),
                                  QStringLiteral("N"), QStringLiteral("29811"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of the run."), QStringLiteral("S"),
                                     QStringLiteral("600"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Bytes per second each way."), QStringLiteral("B"),
                                  QStringLiteral("1000000"));
    const QCommandLineOption sample(QStringLiteral("sample-seconds"),
                                    QStringLiteral("Interval of the memory samples."),
                                    QStringLiteral("S"), QStringLiteral("10"));
    parser.addOptions({binary, port, seconds, rate, sample});
    parser.process(application);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    StationPair stations;
    if (!stations.startBound(parser.value(binary), QStringLiteral("127.0.0.1"),
                             QStringLiteral("127.0.0.2"), parser.value(port).toInt())) {
        Report::line(QStringLiteral("stations: ") + stations.errorString());
        return 2;
    }
    const BridgeUnderTest bridge = stations.bridge();
    if (!LinkCheck::waitForLink(bridge.deviceFd[0], bridge.deviceFd[1], kLinkTimeoutSeconds) ||
        !LinkCheck::waitForLink(bridge.deviceFd[1], bridge.deviceFd[0], kLinkTimeoutSeconds)) {
        Report::line(QStringLiteral("no link:\n") + stations.station(0).logTail() +
                     stations.station(1).logTail());
        return 2;
    }

    struct Sample {
        double at;
        long rssKb[2];
    };
    std::vector<Sample> samples;
    const auto takeSample = [&](double elapsed) {
        Sample current{elapsed, {}};
        for (int end = 0; end < 2; ++end)
            current.rssKb[end] = ProcStats::memoryKb(bridge.pid[end], "VmRSS");
        samples.push_back(current);
        Report::line(QStringLiteral("  t=%1 s  VmRSS A %2 kB  B %3 kB")
                         .arg(elapsed, 6, 'f', 1)
                         .arg(current.rssKb[0])
                         .arg(current.rssKb[1]));
    };
    const double cpuBefore[2] = {ProcStats::cpuSeconds(bridge.pid[0]),
                                 ProcStats::cpuSeconds(bridge.pid[1])};
    takeSample(0);

    PumpSettings settings;
    settings.seconds = parser.value(seconds).toDouble();
    settings.bytesPerSecond = parser.value(rate).toDouble();
    settings.avoidDelimiterStart = true;
    settings.sampleSeconds = parser.value(sample).toDouble();
    settings.onSample = takeSample;
    TrafficPump pump(settings);
    pump.addDirection(QStringLiteral("A->B"), bridge.deviceFd[0], bridge.deviceFd[1], 7001);
    pump.addDirection(QStringLiteral("B->A"), bridge.deviceFd[1], bridge.deviceFd[0], 7002);
    const double start = BenchClock::now();
    const std::vector<DirectionResult> results = pump.run();
    takeSample(BenchClock::now() - start);

    bool intact = true;
    for (const DirectionResult &result : results) {
        Report::line(QStringLiteral("  ") + result.describe());
        intact &= result.intact();
    }
    bool flat = true;
    for (int end = 0; end < 2; ++end) {
        long baseline = samples.front().rssKb[end];
        for (const Sample &current : samples)
            if (current.at <= kWarmUpSeconds)
                baseline = current.rssKb[end];
        long highest = baseline;
        for (const Sample &current : samples)
            if (current.at > kWarmUpSeconds)
                highest = std::max(highest, current.rssKb[end]);
        const long growth = samples.back().rssKb[end] - baseline;
        const bool endFlat = growth <= kFlatToleranceKb && highest - baseline <= kFlatToleranceKb;
        flat &= endFlat;
        Report::line(QStringLiteral("  end %1: VmRSS %2 kB at start, %3 kB after %4 s, highest %5 "
                                    "kB later, last %6 kB; CPU %7 s; VmHWM %8 kB")
                         .arg(QChar('A' + end))
                         .arg(samples.front().rssKb[end])
                         .arg(baseline)
                         .arg(kWarmUpSeconds)
                         .arg(highest)
                         .arg(samples.back().rssKb[end])
                         .arg(ProcStats::cpuSeconds(bridge.pid[end]) - cpuBefore[end], 0, 'f', 1)
                         .arg(ProcStats::memoryKb(bridge.pid[end], "VmHWM")));
    }
    if (!intact) {
        for (int end = 0; end < 2; ++end)
            Report::line(QStringLiteral("station %1 output:\n").arg(QChar('A' + end)) +
                         stations.station(end).logTail());
    }
    Report::line(QStringLiteral("targets"));
    Report::line(QStringLiteral("  no byte lost or changed either way: ") +
                 Report::verdict(intact));
    Report::line(QStringLiteral("  memory flat (within %1 kB of the level after %2 s): %3")
                     .arg(kFlatToleranceKb)
                     .arg(kWarmUpSeconds)
                     .arg(Report::verdict(flat)));
    for (int end = 0; end < 2; ++end)
        stations.station(end).stop(SIGTERM);
    return intact && flat ? 0 : 1;
}
