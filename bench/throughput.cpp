// Throughput, latency, idle CPU and memory of two stations, measured in one run side by
// side with a socat pair over the same kind of path: pseudo-terminals at both ends, TCP
// over loopback between two addresses (127.0.0.1 and 127.0.0.2 by default). With --view, a
// second pair of stations with View Traffic open at both ends runs beside them; with
// --secure, a pair with a passphrase (the secure link).
#include "common/BenchClock.h"
#include "common/BridgeUnderTest.h"
#include "common/LatencyProbe.h"
#include "common/LinkCheck.h"
#include "common/Median.h"
#include "common/ProcStats.h"
#include "common/Report.h"
#include "common/SocatPair.h"
#include "common/StationPair.h"
#include "common/TrafficPump.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QMap>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <tuple>

namespace
{

constexpr double kLinkTimeoutSeconds = 30;
constexpr double kIdleCpuTarget = 0.005;
constexpr double kLatencyRatioTarget = 1.2;
// The traffic view may cost the stations a tenth of their throughput, no more.
constexpr double kViewRatioTarget = 0.9;
// The secure link may cost a fifth of the throughput and a fifth more p50 latency.
constexpr double kSecureRatioTarget = 0.8;
const QString kViewName = QStringLiteral("tethra view");
const QString kSecureName = QStringLiteral("tethra secure");
constexpr double kRestSeconds = 0.5;
// A path that has been idle starts slowly (the TCP window starts small again after an idle
// spell, caches and clocks are cold): the first transfer would pay for it.
constexpr qint64 kWarmUpBytes = 4'000'000;

struct Options {
    QString binary;
    QString addresses[2];
    int port = 0;
    qint64 bytes = 0;
    int repeat = 0;
    int samples = 0;
    double idleSeconds = 0;
    double ratedSeconds = 0;
    double rate = 0;
    QStringList measures;
    bool view = false;
    bool secure = false;
};

// Figures gathered per bridge and measurement name, one per repetition.
using Figures = QMap<QString, QMap<QString, std::vector<double>>>;

Options parseOptions(const QCoreApplication &application)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Throughput, latency, idle CPU and peak memory of two stations against a socat pair."));
    parser.addHelpOption();
    const QCommandLineOption binary(QStringLiteral("binary"), QStringLiteral("Station program."),
                                    QStringLiteral("PATH"), Report::defaultStationBinary());
    const QCommandLineOption addressA(QStringLiteral("address-a"),
                                      QStringLiteral("Loopback address of end A."),
                                      QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption addressB(QStringLiteral("address-b"),
                                      QStringLiteral("Loopback address of end B."),
                                      QStringLiteral("IP"), QStringLiteral("127.0.0.2"));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Station port; socat uses the next one."),
                                  QStringLiteral("N"), QStringLiteral("29801"));
    const QCommandLineOption bytes(QStringLiteral("bytes"),
                                   QStringLiteral("Bytes per direction of a bulk transfer."),
                                   QStringLiteral("N"), QStringLiteral("100000000"));
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("Repetitions of every measurement."),
                                    QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption samples(QStringLiteral("samples"),
                                     QStringLiteral("Latency samples per size and repetition."),
                                     QStringLiteral("N"), QStringLiteral("300"));
    const QCommandLineOption idle(QStringLiteral("idle-seconds"),
                                  QStringLiteral("Length of one idle CPU window."),
                                  QStringLiteral("S"), QStringLiteral("30"));
    const QCommandLineOption rated(QStringLiteral("rated-seconds"),
                                   QStringLiteral("Length of the paced run both ways (0: skip)."),
                                   QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Bytes per second each way in the paced run."),
                                  QStringLiteral("B"), QStringLiteral("1000000"));
    const QCommandLineOption measure(
        QStringLiteral("measure"),
        QStringLiteral("What each round measures: bulk, latency, idle (comma-separated)."),
        QStringLiteral("LIST"), QStringLiteral("bulk,latency,idle"));
    const QCommandLineOption view(
        QStringLiteral("view"),
        QStringLiteral("Also measure two stations with View Traffic open at both ends "
                       "(the port after socat's)."));
    const QCommandLineOption secure(
        QStringLiteral("secure"),
        QStringLiteral("Also measure two stations with a passphrase: the secure link (the "
                       "port three after the stations')."));
    parser.addOptions({binary, addressA, addressB, port, bytes, repeat, samples, idle, rated, rate,
                       measure, view, secure});
    parser.process(application);
    Options options;
    options.binary = parser.value(binary);
    options.addresses[0] = parser.value(addressA);
    options.addresses[1] = parser.value(addressB);
    options.port = parser.value(port).toInt();
    options.bytes = parser.value(bytes).toLongLong();
    options.repeat = parser.value(repeat).toInt();
    options.samples = parser.value(samples).toInt();
    options.idleSeconds = parser.value(idle).toDouble();
    options.ratedSeconds = parser.value(rated).toDouble();
    options.rate = parser.value(rate).toDouble();
    options.measures = parser.value(measure).split(QLatin1Char(','), Qt::SkipEmptyParts);
    options.view = parser.isSet(view);
    options.secure = parser.isSet(secure);
    return options;
}

std::vector<DirectionResult> pump(const BridgeUnderTest &bridge, const PumpSettings &settings,
                                  bool aToB, bool bToA, quint64 seed)
{
    TrafficPump pump(settings);
    if (aToB)
        pump.addDirection(bridge.name + QStringLiteral(" A->B"), bridge.deviceFd[0],
                          bridge.deviceFd[1], seed);
    if (bToA)
        pump.addDirection(bridge.name + QStringLiteral(" B->A"), bridge.deviceFd[1],
                          bridge.deviceFd[0], seed + 1);
    std::vector<DirectionResult> results = pump.run();
    for (const DirectionResult &result : results)
        Report::line(QStringLiteral("  ") + result.describe());
    return results;
}

struct Transfer {
    bool aToB;
    bool bToA;
    const char *name;
};

const Transfer kTransfers[] = {
    {true, false, "one way A->B"}, {false, true, "one way B->A"}, {true, true, "both ways"}};

// One bulk transfer on one bridge, after a warm-up of the same directions. Returns false
// when any byte was lost or changed.
bool measureBulk(const BridgeUnderTest &bridge, const Transfer &transfer, const Options &options,
                 int round, Figures &figures)
{
    PumpSettings warmUp;
    warmUp.bytes = kWarmUpBytes;
    Report::line(QStringLiteral("  %1 warm-up, not counted:").arg(bridge.name));
    bool intact = true;
    for (const DirectionResult &result : pump(bridge, warmUp, transfer.aToB, transfer.bToA, 99))
        intact &= result.intact();

    PumpSettings settings;
    settings.bytes = options.bytes;
    const quint64 seed = quint64(round) * 10;
    const QString name = QString::fromLatin1(transfer.name);
    const double cpuBefore[2] = {ProcStats::cpuSeconds(bridge.pid[0]),
                                 ProcStats::cpuSeconds(bridge.pid[1])};
    const std::vector<DirectionResult> results =
        pump(bridge, settings, transfer.aToB, transfer.bToA, seed);
    const double cpuUsedAt[2] = {ProcStats::cpuSeconds(bridge.pid[0]) - cpuBefore[0],
                                 ProcStats::cpuSeconds(bridge.pid[1]) - cpuBefore[1]};
    const double cpuUsed = cpuUsedAt[0] + cpuUsedAt[1];
    double total = 0;
    double start = results.front().firstWrite;
    double end = results.front().lastRead;
    for (const DirectionResult &result : results) {
        intact &= result.intact();
        total += double(result.received);
        start = std::min(start, result.firstWrite);
        end = std::max(end, result.lastRead);
    }
    const double rate = end > start ? total / (end - start) / 1e6 : 0;
    figures[bridge.name][name + QStringLiteral(" MB/s")].push_back(rate);
    const auto perMegabyte = [total](double seconds) {
        return total > 0 ? seconds / (total / 1e6) * 1000 : 0;
    };
    // CPU per byte carried does not depend on what else the machine is doing, so it
    // tells a slower bridge from a busier machine.
    const double cpuPerMegabyte = perMegabyte(cpuUsed);
    figures[bridge.name][name + QStringLiteral(" CPU ms per MB")].push_back(cpuPerMegabyte);
    Report::line(QStringLiteral("  %1 %2: both processes %3 ms CPU per MB carried (A %4, B %5)")
                     .arg(bridge.name, name)
                     .arg(cpuPerMegabyte, 0, 'f', 1)
                     .arg(perMegabyte(cpuUsedAt[0]), 0, 'f', 1)
                     .arg(perMegabyte(cpuUsedAt[1]), 0, 'f', 1));
    if (transfer.aToB && transfer.bToA)
        Report::line(QStringLiteral("  %1 both ways: %2 MB/s together")
                         .arg(bridge.name)
                         .arg(rate, 0, 'f', 2));
    BenchClock::sleepFor(kRestSeconds);
    return intact;
}

void measureLatency(const std::vector<BridgeUnderTest> &bridges, const Options &options,
                    Figures &figures)
{
    std::vector<LatencyPath> paths;
    for (const BridgeUnderTest &bridge : bridges)
        paths.push_back({bridge.deviceFd[0], bridge.deviceFd[1]});
    for (const int size : {1, 64}) {
        const std::vector<LatencyResult> results =
            LatencyProbe::measure(paths, size, options.samples);
        for (std::size_t index = 0; index < bridges.size(); ++index) {
            const BridgeUnderTest &bridge = bridges[index];
            const LatencyResult &result = results[index];
            const Percentiles stats(result.seconds);
            Report::line(QStringLiteral("  %1 latency %2 B A->B: %3, lost %4, damaged %5")
                             .arg(bridge.name)
                             .arg(size)
                             .arg(stats.summary(1000, QStringLiteral(" ms")))
                             .arg(result.lost)
                             .arg(result.damaged));
            const QString key = QStringLiteral("latency %1 B").arg(size);
            figures[bridge.name][key + QStringLiteral(" p50 ms")].push_back(stats.median() * 1000);
            figures[bridge.name][key + QStringLiteral(" p99 ms")].push_back(stats.at(99) * 1000);
        }
    }
}

// Every process of both bridges over the same idle window, so that all see the same machine.
void measureIdleCpu(const std::vector<BridgeUnderTest> &bridges, double seconds, Figures &figures)
{
    std::vector<double> before;
    for (const BridgeUnderTest &bridge : bridges)
        for (const pid_t pid : bridge.pid)
            before.push_back(ProcStats::cpuSeconds(pid));
    const double start = BenchClock::now();
    BenchClock::sleepFor(seconds);
    const double elapsed = BenchClock::now() - start;
    std::size_t index = 0;
    for (const BridgeUnderTest &bridge : bridges) {
        for (int end = 0; end < 2; ++end, ++index) {
            const double used = ProcStats::cpuSeconds(bridge.pid[end]) - before[index];
            const double share = used / elapsed;
            Report::line(QStringLiteral("  %1 end %2 (pid %3): %4 s CPU in %5 s = %6 % of a core")
                             .arg(bridge.name)
                             .arg(QChar('A' + end))
                             .arg(bridge.pid[end])
                             .arg(used, 0, 'f', 3)
                             .arg(elapsed, 0, 'f', 1)
                             .arg(share * 100, 0, 'f', 3));
            figures[bridge.name][QStringLiteral("idle CPU %1 %").arg(QChar('A' + end))].push_back(
                share * 100);
        }
    }
}

bool measurePaced(const BridgeUnderTest &bridge, const Options &options)
{
    PumpSettings settings;
    settings.seconds = options.ratedSeconds;
    settings.bytesPerSecond = options.rate;
    const std::vector<DirectionResult> results = pump(bridge, settings, true, true, 1000);
    bool intact = true;
    for (const DirectionResult &result : results)
        intact &= result.intact();
    Report::line(QStringLiteral("  %1 paced run %2 s at %3 B/s each way: %4")
                     .arg(bridge.name)
                     .arg(options.ratedSeconds)
                     .arg(options.rate)
                     .arg(intact ? QStringLiteral("no byte lost or changed")
                                 : QStringLiteral("BYTES LOST OR CHANGED")));
    return intact;
}

double median(const Figures &figures, const QString &bridge, const QString &name)
{
    return medianOf(figures.value(bridge).value(name));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const Options options = parseOptions(application);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    StationPair stations;
    if (!stations.startBound(options.binary, options.addresses[0], options.addresses[1],
                             options.port)) {
        Report::line(QStringLiteral("stations: ") + stations.errorString());
        return 2;
    }
    SocatPair socat;
    if (!socat.start(options.addresses[0], options.addresses[1], options.port + 1)) {
        Report::line(QStringLiteral("socat: ") + socat.errorString());
        return 2;
    }
    BridgeUnderTest socatBridge;
    socatBridge.name = QStringLiteral("socat");
    for (int end = 0; end < 2; ++end) {
        socatBridge.deviceFd[end] = socat.deviceFd(end);
        socatBridge.pid[end] = socat.pid(end);
    }
    std::vector<BridgeUnderTest> bridges = {socatBridge, stations.bridge()};
    // A further pair of stations, on a port of its own, measured in turn with the others.
    const auto startPair = [&](StationPair &pair, const QString &name, int portOffset,
                               bool viewTraffic, const QString &passphrase) {
        if (!pair.startBound(options.binary, options.addresses[0], options.addresses[1],
                             options.port + portOffset, viewTraffic, {}, passphrase)) {
            Report::line(name + QStringLiteral(": ") + pair.errorString());
            return false;
        }
        BridgeUnderTest bridge = pair.bridge();
        bridge.name = name;
        bridges.push_back(bridge);
        return true;
    };
    StationPair viewStations, secureStations;
    if (options.view && !startPair(viewStations, kViewName, 2, true, {}))
        return 2;
    if (options.secure && !startPair(secureStations, kSecureName, 3, false,
                                     QStringLiteral("a passphrase for the benchmark")))
        return 2;
    const auto stationOutput = [&](const BridgeUnderTest &bridge) {
        StationPair &pair = bridge.name == kViewName     ? viewStations
                            : bridge.name == kSecureName ? secureStations
                                                         : stations;
        return QStringLiteral("%1 station A output:\n%2\n%1 station B output:\n%3")
            .arg(bridge.name, pair.station(0).logTail(), pair.station(1).logTail());
    };
    for (const BridgeUnderTest &bridge : bridges) {
        const double start = BenchClock::now();
        if (!LinkCheck::waitForLink(bridge.deviceFd[0], bridge.deviceFd[1], kLinkTimeoutSeconds) ||
            !LinkCheck::waitForLink(bridge.deviceFd[1], bridge.deviceFd[0], kLinkTimeoutSeconds)) {
            Report::line(bridge.name + QStringLiteral(": no link.\n") + stationOutput(bridge));
            return 2;
        }
        Report::line(QStringLiteral("%1 linked both ways after %2 s")
                         .arg(bridge.name)
                         .arg(BenchClock::now() - start, 0, 'f', 2));
    }

    Figures figures;
    bool intact = true;
    for (int round = 1; round <= options.repeat; ++round) {
        // The one that goes first meets a different machine (the other's leftovers in the
        // caches and the scheduler), so the two take turns.
        std::vector<BridgeUnderTest> order = bridges;
        if (round % 2 == 0)
            std::reverse(order.begin(), order.end());
        if (options.measures.contains(QLatin1String("bulk"))) {
            Report::line(QStringLiteral("round %1: bulk transfers of %2 bytes")
                             .arg(round)
                             .arg(options.bytes));
            // The targets are the stations'; socat's figures are the yardstick. The bridges
            // take each kind of transfer in turn, so that the two figures compared are
            // taken seconds apart.
            for (const Transfer &transfer : kTransfers)
                for (const BridgeUnderTest &bridge : order)
                    intact &= measureBulk(bridge, transfer, options, round, figures) ||
                              bridge.name == socatBridge.name;
        }
        if (options.measures.contains(QLatin1String("latency"))) {
            Report::line(QStringLiteral("round %1: latency, the bridges in turns").arg(round));
            measureLatency(bridges, options, figures);
        }
        if (options.measures.contains(QLatin1String("idle"))) {
            Report::line(QStringLiteral("round %1: idle CPU").arg(round));
            measureIdleCpu(bridges, options.idleSeconds, figures);
        }
    }
    bool pacedIntact = true;
    if (options.ratedSeconds > 0) {
        Report::line(QStringLiteral("paced run both ways"));
        for (const BridgeUnderTest &bridge : bridges)
            pacedIntact &= measurePaced(bridge, options) || bridge.name == socatBridge.name;
    }

    if (!intact || !pacedIntact) {
        for (const BridgeUnderTest &bridge : bridges)
            if (bridge.name != socatBridge.name)
                Report::line(stationOutput(bridge));
    }

    Report::line(QStringLiteral("peak memory (VmHWM)"));
    for (const BridgeUnderTest &bridge : bridges)
        for (int end = 0; end < 2; ++end)
            Report::line(QStringLiteral("  %1 end %2: %3 kB")
                             .arg(bridge.name)
                             .arg(QChar('A' + end))
                             .arg(ProcStats::memoryKb(bridge.pid[end], "VmHWM")));

    Report::line(QStringLiteral("summary: medians of %1 rounds").arg(options.repeat));
    const QString socatName = socatBridge.name;
    const QString tethraName = stations.bridge().name;
    const QString &viewName = kViewName;
    for (const QString &name : figures.value(tethraName).keys()) {
        QString line = QStringLiteral("  %1: tethra %2, socat %3")
                           .arg(name)
                           .arg(median(figures, tethraName, name), 0, 'f', 3)
                           .arg(median(figures, socatName, name), 0, 'f', 3);
        if (options.view)
            line += QStringLiteral(", tethra with the view open %1")
                        .arg(median(figures, viewName, name), 0, 'f', 3);
        if (options.secure)
            line += QStringLiteral(", tethra secure %1")
                        .arg(median(figures, kSecureName, name), 0, 'f', 3);
        Report::line(line);
    }

    bool allMet = intact && pacedIntact;
    Report::line(QStringLiteral("targets"));
    Report::line(QStringLiteral("  every bulk transfer intact: ") + Report::verdict(intact));
    const auto measured = [&figures, &tethraName](const char *name) {
        return !figures.value(tethraName).value(QLatin1String(name)).empty();
    };
    // One bridge's figure against another's: at least (throughput) or at most (latency) the
    // target times it.
    const auto compare = [&](const char *name, const QString &bridge, const QString &yardstick,
                             double target, bool atLeast, const QString &wording) {
        const double ratio = median(figures, bridge, QLatin1String(name)) /
                             median(figures, yardstick, QLatin1String(name));
        const bool met = atLeast ? ratio >= target : ratio <= target;
        allMet &= met;
        Report::line(QStringLiteral("  %1 %2 %3 x: %4 x, %5")
                         .arg(name, wording)
                         .arg(target)
                         .arg(ratio, 0, 'f', 2)
                         .arg(Report::verdict(met)));
    };
    for (const char *name : {"one way A->B MB/s", "one way B->A MB/s", "both ways MB/s"}) {
        if (!measured(name))
            continue;
        const bool met = median(figures, tethraName, QLatin1String(name)) >=
                         median(figures, socatName, QLatin1String(name));
        allMet &= met;
        Report::line(QStringLiteral("  %1 at least socat's: %2").arg(name, Report::verdict(met)));
        if (options.secure)
            compare(name, kSecureName, tethraName, kSecureRatioTarget, true,
                    QStringLiteral("secure, at least plain"));
        if (options.view)
            compare(name, viewName, tethraName, kViewRatioTarget, true,
                    QStringLiteral("with the view open, at least closed"));
    }
    for (const char *name : {"latency 1 B p50 ms", "latency 64 B p50 ms"}) {
        if (!measured(name))
            continue;
        compare(name, tethraName, socatName, kLatencyRatioTarget, false,
                QStringLiteral("within socat's"));
        if (options.secure)
            compare(name, kSecureName, tethraName, kLatencyRatioTarget, false,
                    QStringLiteral("secure, within plain"));
    }
    for (const char *name : {"idle CPU A %", "idle CPU B %"}) {
        if (!measured(name))
            continue;
        const bool met = median(figures, tethraName, QLatin1String(name)) < kIdleCpuTarget * 100;
        allMet &= met;
        Report::line(QStringLiteral("  station %1 under %2 %: %3")
                         .arg(name)
                         .arg(kIdleCpuTarget * 100)
                         .arg(Report::verdict(met)));
    }
    if (options.ratedSeconds > 0)
        Report::line(QStringLiteral("  paced run both ways without loss: ") +
                     Report::verdict(pacedIntact));

    for (int end = 0; end < 2; ++end) {
        stations.station(end).stop(SIGTERM);
        if (options.view)
            viewStations.station(end).stop(SIGTERM);
        if (options.secure)
            secureStations.station(end).stop(SIGTERM);
    }
    return allMet ? 0 : 1;
}
