#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/StationEnvironment.h"
#include "platform/ShutdownSignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const CommandLine options = CommandLine::parse(application.arguments());
    if (options.exitCode >= 0)
        return options.exitCode;

    const DesktopServices services;
    StationEnvironment environment =
        services.environment(options.settingsFolder, options.bindAddress);
    environment.statusLogPath = options.statusLogPath;
    MainForm station(environment);
    ShutdownSignals signals;
    QObject::connect(&signals, &ShutdownSignals::shutdownRequested, &station, &MainForm::close);
    station.Form_Load();
    return application.exec();
}
