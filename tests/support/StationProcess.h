#pragma once
// A real tethra process for system tests: a settings folder of its own (temporary) with a
// pseudo-terminal mapped as Com1, its status history appended to status.log there, and what
// comes out of its device gathered in received as it comes.
#include "app/SettingsRecords.h"
#include "platform/RandomSource.h"
#include "support/Pty.h"

#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <csignal>

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class StationProcess
{
public:
    StationProcess()
    {
        QFile::link(m_device.slavePath(), path(QStringLiteral("com1")));
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&m_deviceOutput, &QSocketNotifier::activated, &m_deviceOutput,
                         [this] { received += m_device.read(); });
    }
    ~StationProcess() { stop(SIGKILL, 5000); }

    // Com1 at 9600,n,8,1, calling remoteHost on port.
    static SettingsRecords records(const QString &remoteHost, int port = 9801)
    {
        return {port, remoteHost, 1};
    }
    bool writeSettings(const SettingsRecords &records)
    {
        SystemRandom random;
        QFile file(path(QLatin1String(SettingsRecords::kFileName)));
        return file.open(QIODevice::WriteOnly) && file.write(encode(records, random)) > 0;
    }
    // Runs the program behind the wrapper (a namespace, another user: each must exec it, so
    // a signal reaches the station itself) with these options besides the folder and log.
    bool start(const QStringList &wrapper = {}, const QStringList &options = {})
    {
        const QStringList command = wrapper + QStringList{binary(), "--settings", m_folder.path(),
                                                          "--status-log", path("status.log")};
        m_process.start(command.first(), command.mid(1) + options);
        return m_process.waitForStarted(5000);
    }
    // Sends the signal and waits for the process to end.
    bool stop(int signalNumber, int timeoutMs = 10000)
    {
        if (isRunning())
            ::kill(pid_t(pid()), signalNumber);
        const bool ended = !isRunning() || m_process.waitForFinished(timeoutMs);
        output();
        return ended;
    }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 pid() const { return m_process.processId(); }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    Pty &device() { return m_device; }
    // Everything the process printed so far.
    QString output() { return m_output += QString::fromLocal8Bit(m_process.readAll()); }
    // The statuses in status.log (date, time, status, two blanks apart), oldest first.
    QStringList statuses() const
    {
        QStringList lines = QString::fromUtf8(fileBytes(path("status.log"))).split("\r\n");
        for (QString &line : lines)
            line = line.section(QStringLiteral("  "), 2, -1);
        lines.removeAll(QString());
        return lines;
    }
    static QString binary() { return qEnvironmentVariable("TETHRA_BINARY"); }

    QByteArray received;

private:
    QTemporaryDir m_folder;
    Pty m_device;
    QProcess m_process;
    QString m_output;
    QSocketNotifier m_deviceOutput{m_device.masterFd(), QSocketNotifier::Read};
};
