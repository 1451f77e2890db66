// How fast two stations carry data again after losing each other, in fast mode, each in its
// own network namespace joined by a veth pair (needs root):
// - kill: station B is killed with SIGKILL and started again at once; the clock starts
//   when the new process is started.
// - cut: the link between the namespaces goes down for a while and comes back; the clock
//   starts when both ends of the link are up again. A short cut leaves the TCP connection
//   standing, a cut longer than the silence limit makes both stations give it up.
// From then on both device ends write one probe byte every few milliseconds; data flows
// again when a probe has come out at each end.
#include "common/BenchClock.h"
#include "common/LinkCheck.h"
#include "common/Median.h"
#include "common/Percentiles.h"
#include "common/Report.h"
#include "common/StationPair.h"
#include "support/Namespaces.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRandomGenerator>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

namespace
{

constexpr double kLinkTimeoutSeconds = 30;
constexpr double kFlowTimeoutSeconds = 30;
constexpr double kProbeEverySeconds = 0.005;
constexpr double kQuietSeconds = 0.2;
constexpr double kMedianTarget = 1.0;
constexpr double kP99Target = 4.0;
constexpr int kStationPort = 9801;

struct Flow {
    double seconds[2] = {-1, -1}; // first probe out at B (A->B) and at A (B->A)
    bool complete() const { return seconds[0] >= 0 && seconds[1] >= 0; }
    double both() const { return std::max(seconds[0], seconds[1]); }
};

// Probes both ways from `start` on until each way has delivered one.
Flow waitForFlow(const BridgeUnderTest &bridge, double start)
{
    Flow flow;
    const char probe = 'p';
    char buffer[4096];
    double nextProbe = 0;
    while (!flow.complete() && BenchClock::now() - start < kFlowTimeoutSeconds) {
        if (BenchClock::now() >= nextProbe) {
            // A full device queue only skips a probe; the next one follows shortly.
            for (int end = 0; end < 2; ++end)
                if (flow.seconds[end] < 0)
                    (void)::write(bridge.deviceFd[end], &probe, 1);
            nextProbe = BenchClock::now() + kProbeEverySeconds;
        }
        pollfd fds[2] = {{bridge.deviceFd[1], POLLIN, 0}, {bridge.deviceFd[0], POLLIN, 0}};
        ::poll(fds, 2, 1);
        const double now = BenchClock::now();
        for (int way = 0; way < 2; ++way) {
            if (::read(fds[way].fd, buffer, sizeof buffer) > 0 && flow.seconds[way] < 0)
                flow.seconds[way] = now - start;
        }
    }
    return flow;
}

void drainBoth(const BridgeUnderTest &bridge)
{
    for (const int fd : bridge.deviceFd)
        LinkCheck::drain(fd, kQuietSeconds);
}

struct Series {
    QString name;
    std::vector<double> seconds;
    int failures = 0;
};

bool reportSeries(const Series &series)
{
    const Percentiles stats(series.seconds);
    const bool met =
        series.failures == 0 && stats.median() < kMedianTarget && stats.at(99) < kP99Target;
    Report::line(QStringLiteral("  %1: %2, no flow within %3 s: %4 -> median < %5 s and p99 < "
                                "%6 s: %7")
                     .arg(series.name, stats.summary(1, QStringLiteral(" s")))
                     .arg(kFlowTimeoutSeconds)
                     .arg(series.failures)
                     .arg(kMedianTarget)
                     .arg(kP99Target)
                     .arg(Report::verdict(met)));
    return met;
}

void record(Series &series, const Flow &flow, int round)
{
    if (flow.complete())
        series.seconds.push_back(flow.both());
    else
        ++series.failures;
    Report::line(QStringLiteral("  %1 #%2: A->B %3 s, B->A %4 s")
                     .arg(series.name)
                     .arg(round)
                     .arg(flow.seconds[0], 0, 'f', 3)
                     .arg(flow.seconds[1], 0, 'f', 3));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Time from a peer's restart or a link's return to data flowing again."));
    parser.addHelpOption();
    const QCommandLineOption binary(QStringLiteral("binary"), QStringLiteral("Station program."),
                                    QStringLiteral("PATH"), Report::defaultStationBinary());
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("Repetitions of each case."),
                                    QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption cuts(QStringLiteral("cut-seconds"),
                                  QStringLiteral("Lengths of the link cuts, comma separated "
                                                 "(empty: no cuts)."),
                                  QStringLiteral("S,S"), QStringLiteral("2,8"));
    const QCommandLineOption noKill(QStringLiteral("no-kill"),
                                    QStringLiteral("Leave out the kill case."));
    const QCommandLineOption settle(QStringLiteral("settle-seconds"),
                                    QStringLiteral("Steady connected time before each case; up "
                                                   "to one second more is added at random."),
                                    QStringLiteral("S"), QStringLiteral("2"));
    const QCommandLineOption showOutput(
        QStringLiteral("show-output"),
        QStringLiteral("After each case, print what the stations wrote meanwhile, and the "
                       "case's start on the monotonic clock, for stations that trace their "
                       "state changes."));
    parser.addOptions({binary, repeat, cuts, noKill, settle, showOutput});
    parser.process(application);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int rounds = parser.value(repeat).toInt();
    const double settleSeconds = parser.value(settle).toDouble();
    const bool show = parser.isSet(showOutput);

    NamespacePair hosts;
    if (!hosts.isUp()) {
        Report::line(QStringLiteral("namespaces: ") + hosts.errorString());
        return 2;
    }
    StationPair stations;
    if (!stations.startInNamespaces(parser.value(binary), hosts, kStationPort)) {
        Report::line(QStringLiteral("stations: ") + stations.errorString());
        return 2;
    }
    BridgeUnderTest bridge = stations.bridge();
    if (!LinkCheck::waitForLink(bridge.deviceFd[0], bridge.deviceFd[1], kLinkTimeoutSeconds) ||
        !LinkCheck::waitForLink(bridge.deviceFd[1], bridge.deviceFd[0], kLinkTimeoutSeconds)) {
        Report::line(QStringLiteral("no link:\n") + stations.station(0).logTail() +
                     stations.station(1).logTail());
        return 2;
    }
    const auto showStations = [&](double start) {
        if (!show)
            return;
        Report::line(QStringLiteral("    case started at %1").arg(start, 0, 'f', 3));
        for (int end = 0; end < 2; ++end)
            for (const QString &text :
                 stations.station(end).newOutput().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                Report::line(QStringLiteral("    %1: %2").arg(QChar('A' + end)).arg(text));
    };
    // A random pause before each case, so that the cases fall at every phase of the
    // stations' one-second state ticks.
    const auto settleDown = [&] {
        BenchClock::sleepFor(settleSeconds + QRandomGenerator::global()->generateDouble());
        drainBoth(bridge);
        for (int end = 0; end < 2; ++end)
            stations.station(end).newOutput();
    };

    std::vector<Series> allSeries;
    if (!parser.isSet(noKill)) {
        Series series{QStringLiteral("kill B, restart"), {}, 0};
        for (int round = 1; round <= rounds; ++round) {
            settleDown();
            if (!stations.station(1).stop(SIGKILL)) {
                Report::line(QStringLiteral("station B did not die"));
                return 2;
            }
            drainBoth(bridge);
            const double start = BenchClock::now();
            if (!stations.restart(1)) {
                Report::line(QStringLiteral("restart: ") + stations.errorString());
                return 2;
            }
            bridge = stations.bridge();
            record(series, waitForFlow(bridge, start), round);
            showStations(start);
        }
        allSeries.push_back(series);
    }
    for (const QString &cut : parser.value(cuts).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        Series series{QStringLiteral("link cut %1 s").arg(cut), {}, 0};
        for (int round = 1; round <= rounds; ++round) {
            settleDown();
            if (!hosts.setLinkUp(false)) {
                Report::line(QStringLiteral("cannot take the link down"));
                return 2;
            }
            BenchClock::sleepFor(cut.toDouble());
            drainBoth(bridge);
            if (!hosts.setLinkUp(true)) {
                Report::line(QStringLiteral("cannot bring the link up"));
                return 2;
            }
            const double start = BenchClock::now();
            record(series, waitForFlow(bridge, start), round);
            showStations(start);
        }
        allSeries.push_back(series);
    }

    Report::line(QStringLiteral("summary (seconds until a probe came out at both ends)"));
    bool allMet = true;
    for (const Series &series : allSeries)
        allMet &= reportSeries(series);
    for (int end = 0; end < 2; ++end)
        stations.station(end).stop(SIGTERM);
    return allMet ? 0 : 1;
}
