#pragma once
// A real tethra process for end-to-end tests: its own settings folder with a settings file,
// a pseudo-terminal mapped as Com1, and the process itself (offscreen).
#include "app/SettingsRecords.h"
#include "support/Pty.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class StationProcess
{
public:
    StationProcess();
    ~StationProcess();

    // Writes TETHRA.SAV calling remoteHost on port 9801 with the pty as Com1.
    bool prepare(const QString &remoteHost, int port = 9801);
    // Starts command (the program is its first element).
    bool start(const QStringList &command);
    // Sends the signal and waits for the process to end.
    bool stop(int signalNumber, int timeoutMs = 10000);
    bool isRunning() const;

    QString folder() const { return m_folder.path(); }
    Pty &device() { return *m_device; }
    QString output() const;
    static QString binary();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<Pty> m_device;
    std::unique_ptr<QProcess> m_process;
};
