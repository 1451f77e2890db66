#include "app/CommandLine.h"
#include "app/HeadlessStation.h"
#include "platform/Clock.h"
#include "platform/RandomSource.h"
#include "platform/ServiceNotifier.h"
#include "platform/ShutdownSignals.h"
#include "platform/SocketControl.h"

#include <QCoreApplication>

// A station without a window: no window system, no display, the status history on
// standard output. SIGTERM and SIGINT save and stop; SIGHUP reads the settings again.
int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const CommandLine options = CommandLine::parse(application.arguments());
    if (options.exitCode >= 0)
        return options.exitCode;

    // Before anything else, so a stop signal during start-up is not lost.
    ShutdownSignals signals(ShutdownSignals::HangUp::Reloads);
    ServiceNotifier notifier;
    SystemClock clock;
    SystemRandom random;
    StationEnvironment environment;
    environment.settingsFolder = options.settingsFolder;
    environment.bindAddress = options.bindAddress;
    environment.statusLogPath = options.statusLogPath;
    environment.clock = &clock;
    environment.random = &random;
    HeadlessStation headless(environment);
    Station &station = headless.station();

    QObject::connect(&signals, &ShutdownSignals::shutdownRequested, &station, [&] {
        notifier.stopping();
        station.markStopSignalled();
        station.unload();
    });
    QObject::connect(&signals, &ShutdownSignals::reloadRequested, &station,
                     [&] { station.reload(); });
    // The program ends once the last bytes of the closed link have drained (bounded in time).
    const auto quitWhenDrained = [&] {
        if (station.isUnloadFinished() && !station.Socket1->isDraining())
            QCoreApplication::quit();
    };
    QObject::connect(&station, &Station::unloaded, &application, quitWhenDrained,
                     Qt::QueuedConnection);
    QObject::connect(station.Socket1, &SocketControl::drained, &application, quitWhenDrained,
                     Qt::QueuedConnection);
    station.load();
    station.start();
    notifier.ready();
    return application.exec();
}
