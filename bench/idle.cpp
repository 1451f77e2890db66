// Two stations linked and idle: how much of the machine an unattended station takes. For
// each station: peak resident memory (VmHWM), wake-ups a second (voluntary and involuntary
// context switches) and the share of one core over the idle time.
#include "common/LinkCheck.h"
#include "common/ProcStats.h"
#include "common/Report.h"
#include "common/StationPair.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdlib>

namespace
{
constexpr double kLinkTimeoutSeconds = 30;
// After the link stands, the state messages settle to one a second each way.
constexpr int kSettleMs = 3000;
constexpr long kMemoryTargetKb = 15 * 1024;
constexpr double kWakeUpsTarget = 3;
constexpr double kCorePercentTarget = 0.05;

long contextSwitches(pid_t pid)
{
    const long voluntary = ProcStats::memoryKb(pid, "voluntary_ctxt_switches");
    const long involuntary = ProcStats::memoryKb(pid, "nonvoluntary_ctxt_switches");
    return voluntary < 0 || involuntary < 0 ? -1 : voluntary + involuntary;
}

// Time on a CPU of all the process's threads, in seconds, to the nanosecond: the clock ticks
// of /proc/<pid>/stat are too coarse for a station that hardly runs.
double cpuSeconds(pid_t pid)
{
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (!schedstat.open(QIODevice::ReadOnly))
            return -1;
        total += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    return total;
}

void idleFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Two linked stations left idle: memory, wake-ups and CPU of each."));
    parser.addHelpOption();
    const QCommandLineOption binary(QStringLiteral("binary"), QStringLiteral("Station program."),
                                    QStringLiteral("PATH"), Report::defaultStationBinary());
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Station port."),
                                  QStringLiteral("N"), QStringLiteral("29821"));
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("Length of the idle time."),
                                     QStringLiteral("S"), QStringLiteral("60"));
    const QCommandLineOption window(QStringLiteral("window"),
                                    QStringLiteral("Stations with their window (offscreen) "
                                                   "instead of --headless; no targets."));
    parser.addOptions({binary, port, seconds, window});
    parser.process(application);
    const bool headless = !parser.isSet(window);
    if (headless) { // nothing of a display is left
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            ::unsetenv(name);
    } else {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    StationPair stations;
    if (!stations.startBound(parser.value(binary), QStringLiteral("127.0.0.1"),
                             QStringLiteral("127.0.0.2"), parser.value(port).toInt(), false,
                             headless ? QStringList{QStringLiteral("--headless")}
                                      : QStringList{})) {
        Report::line(QStringLiteral("stations: ") + stations.errorString());
        return 2;
    }
    const BridgeUnderTest bridge = stations.bridge();
    if (!LinkCheck::waitForLink(bridge.deviceFd[0], bridge.deviceFd[1], kLinkTimeoutSeconds) ||
        !LinkCheck::waitForLink(bridge.deviceFd[1], bridge.deviceFd[0], kLinkTimeoutSeconds)) {
        Report::line(QStringLiteral("no link: ") + stations.station(0).logTail());
        return 2;
    }
    idleFor(kSettleMs);

    const int idleSeconds = parser.value(seconds).toInt();
    double cpuBefore[2];
    long switchesBefore[2];
    for (int end = 0; end < 2; ++end) {
        cpuBefore[end] = cpuSeconds(bridge.pid[end]);
        switchesBefore[end] = contextSwitches(bridge.pid[end]);
    }
    idleFor(idleSeconds * 1000);

    bool met = true;
    for (int end = 0; end < 2; ++end) {
        const long peakKb = ProcStats::memoryKb(bridge.pid[end], "VmHWM");
        const double wakeUps =
            double(contextSwitches(bridge.pid[end]) - switchesBefore[end]) / idleSeconds;
        const double corePercent =
            (cpuSeconds(bridge.pid[end]) - cpuBefore[end]) * 100 / idleSeconds;
        Report::line(QStringLiteral("station %1 (%2): VmHWM %3 kB, %4 wake-ups/s, %5 % of a core "
                                    "over %6 s idle")
                         .arg(end)
                         .arg(headless ? QStringLiteral("headless") : QStringLiteral("window"))
                         .arg(peakKb)
                         .arg(wakeUps, 0, 'f', 2)
                         .arg(corePercent, 0, 'f', 3)
                         .arg(idleSeconds));
        met = met && peakKb > 0 && peakKb <= kMemoryTargetKb && wakeUps <= kWakeUpsTarget &&
              corePercent < kCorePercentTarget;
    }
    // Still linked after the idle time.
    const bool linked =
        LinkCheck::waitForLink(bridge.deviceFd[0], bridge.deviceFd[1], kLinkTimeoutSeconds);
    Report::line(QStringLiteral("link after idling: %1").arg(linked ? "up" : "DOWN"));
    if (!headless)
        return linked ? 0 : 1;
    Report::line(QStringLiteral("targets (<= %1 kB, <= %2 wake-ups/s, < %3 %): %4")
                     .arg(kMemoryTargetKb)
                     .arg(kWakeUpsTarget)
                     .arg(kCorePercentTarget)
                     .arg(Report::verdict(met && linked)));
    return met && linked ? 0 : 1;
}
