#pragma once
// A real tethra process for system tests: a settings folder of its own (temporary) with a
// pseudo-terminal mapped as Com1, its status history appended to status.log there, and what
// comes out of its device gathered in received as it comes.
#include "app/SettingsRecords.h"
#include "support/Pty.h"

#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <csignal>

class StationProcess
{
public:
    StationProcess();
    ~StationProcess() { stop(SIGKILL, 5000); }

    // Com1 at 9600,n,8,1, calling remoteHost on port.
    static SettingsRecords records(const QString &remoteHost, int port = 9801);
    bool writeSettings(const SettingsRecords &records);
    // Runs the program behind the wrapper (a namespace, another user: each must exec it, so
    // a signal reaches the station itself) with these options besides the folder and log.
    bool start(const QStringList &wrapper = {}, const QStringList &options = {});
    // Sends the signal and waits for the process to end.
    bool stop(int signalNumber, int timeoutMs = 10000);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    Pty &device() { return m_device; }
    // Everything the process printed so far.
    QString output() { return m_output += QString::fromLocal8Bit(m_process.readAll()); }
    // The statuses in status.log, oldest first, without their time stamps.
    QStringList statuses() const;
    QByteArray received;

    static QString binary() { return qEnvironmentVariable("TETHRA_BINARY"); }

private:
    QTemporaryDir m_folder;
    Pty m_device;
    QProcess m_process;
    QString m_output;
    QSocketNotifier m_deviceOutput{m_device.masterFd(), QSocketNotifier::Read};
};
