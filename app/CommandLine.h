#pragma once
// --settings DIR and --bind ADDRESS, so that several stations can run on one machine;
// --status-log FILE, so that a station running unattended leaves its status history behind;
// --headless, a station with no window at all (a service).
#include <QString>
#include <QStringList>

struct CommandLine {
    QString settingsFolder;
    QString bindAddress;
    QString statusLogPath;
    bool headless = false;
    int exitCode = -1; // 0 or above: --help, --version or a bad option; exit with it

    // Before the window system starts, only --help and --version are answered (they must
    // work without a display); anything else, including options meant for the window system
    // itself, waits for the parse after it started.
    enum class Stage { BeforeWindows, WithWindows };
    static CommandLine parse(const QStringList &arguments, Stage stage = Stage::WithWindows);
    // Whether the arguments ask for a station without a window, before anything is parsed.
    static bool asksForHeadless(const QStringList &arguments);
};
