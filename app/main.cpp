#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "app/ProgramIcon.h"
#include "app/StationEnvironment.h"
#include "platform/ProgramSwitch.h"
#include "platform/ShutdownSignals.h"

#include <QApplication>
#include <QDialog>

#include <cstdio>

namespace
{
// A stop signal must not wait for someone to answer an open box (at start-up, the settings
// file's error box): every modal window is dismissed as if cancelled.
void dismissModalWindows()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || !window->isModal())
            continue;
        if (auto *dialog = qobject_cast<QDialog *>(window))
            dialog->reject();
        else
            window->close();
    }
}
} // namespace

int main(int argc, char *argv[])
{
    // Before any window system is needed: --help and --version answer on a machine without
    // a display, where an operator types them first.
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    if (const CommandLine early = CommandLine::parse(arguments, CommandLine::Stage::BeforeWindows);
        early.exitCode >= 0)
        return early.exitCode;
    // A station without a window is a program of its own that loads no window system.
    if (CommandLine::asksForHeadless(arguments)) {
        std::fprintf(stderr, "tethra: %s\n",
                     qPrintable(ProgramSwitch::becomeSibling("tethra-headless", argv)));
        return 1;
    }

    QApplication application(argc, argv);
    // Also for windows without an owner.
    QApplication::setWindowIcon(ProgramIcon::icon());
    const CommandLine options = CommandLine::parse(application.arguments());
    if (options.exitCode >= 0)
        return options.exitCode;

    // Before anything else, so a stop signal during start-up is not lost.
    ShutdownSignals signals;
    const DesktopServices services;
    StationEnvironment environment =
        services.environment(options.settingsFolder, options.bindAddress);
    environment.statusLogPath = options.statusLogPath;
    MainForm station(environment);

    bool loaded = false;
    bool stopRequested = false;
    QObject::connect(&signals, &ShutdownSignals::shutdownRequested, &station, [&] {
        stopRequested = true;
        station.markStopSignalled();
        dismissModalWindows();
        if (loaded)
            station.close();
    });
    QObject::connect(&station, &MainForm::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    station.Form_Load();
    loaded = true;
    if (stopRequested) {
        station.close();
        return 0;
    }
    return application.exec();
}
