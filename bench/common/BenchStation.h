#pragma once
// One station under test: its own settings folder (TETHRA.SAV calling the other station,
// com1 pointing at a pseudo-terminal), the pseudo-terminal whose master side plays the
// serial device, and the running process. The folder and the terminal outlive restarts,
// so a station killed and started again finds the same device and settings.
#include "common/BenchProcess.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class Pty;

class BenchStation final
{
public:
    BenchStation();
    ~BenchStation();
    BenchStation(const BenchStation &) = delete;
    BenchStation &operator=(const BenchStation &) = delete;

    // viewTraffic: the station starts with View Traffic open, as saved at its last exit.
    bool prepare(const QString &remoteHost, int port, bool viewTraffic = false);
    // The program with --bind and --settings, for stations that share one network.
    QStringList boundCommand(const QString &binary, const QString &bindAddress) const;
    bool start(const QStringList &command);
    bool stop(int signalNumber, int timeoutMs = 10000)
    {
        return m_process.stop(signalNumber, timeoutMs);
    }
    bool isRunning() { return m_process.isRunning(); }
    pid_t pid() const { return m_process.pid(); }
    int deviceFd() const;
    QString folder() const { return m_folder.path(); }
    QString errorString() const { return m_error; }
    QString logTail() const { return m_process.logTail(); }
    QString newOutput() { return m_process.newOutput(); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<Pty> m_device;
    BenchProcess m_process;
    QString m_error;
};
