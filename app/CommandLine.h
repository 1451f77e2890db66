#pragma once
// --settings DIR and --bind ADDRESS, so that several stations can run on one machine;
// --status-log FILE, so that a station running unattended leaves its status history behind.
#include <QString>
#include <QStringList>

struct CommandLine {
    QString settingsFolder;
    QString bindAddress;
    QString statusLogPath;
    int exitCode = -1; // 0 or above: --help, --version or a bad option; exit with it

    static CommandLine parse(const QStringList &arguments);
};
