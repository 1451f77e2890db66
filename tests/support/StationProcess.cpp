#include "support/StationProcess.h"

#include "platform/RandomSource.h"

#include <QFile>

StationProcess::StationProcess()
{
    QFile::link(m_device.slavePath(), path(QStringLiteral("com1")));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_deviceOutput, &QSocketNotifier::activated, &m_deviceOutput,
                     [this] { received += m_device.read(); });
}

SettingsRecords StationProcess::records(const QString &remoteHost, int port)
{
    SettingsRecords records;
    records.portNumber = port;
    records.remoteHost = remoteHost;
    records.serialPort = 1;
    return records;
}

bool StationProcess::writeSettings(const SettingsRecords &records)
{
    SystemRandom random;
    QFile file(path(QLatin1String(SettingsRecords::kFileName)));
    return file.open(QIODevice::WriteOnly) && file.write(encode(records, random)) > 0;
}

bool StationProcess::start(const QStringList &wrapper, const QStringList &options)
{
    const QStringList command =
        wrapper +
        QStringList{binary(), "--settings", m_folder.path(), "--status-log", path("status.log")} +
        options;
    m_process.start(command.first(), command.mid(1));
    return m_process.waitForStarted(5000);
}

bool StationProcess::stop(int signalNumber, int timeoutMs)
{
    if (isRunning())
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
    const bool ended = !isRunning() || m_process.waitForFinished(timeoutMs);
    output();
    return ended;
}

QStringList StationProcess::statuses() const
{
    // Each line: date, time, status, two blanks apart.
    QFile file(path(QStringLiteral("status.log")));
    QStringList statuses;
    for (const QString &line : file.open(QIODevice::ReadOnly)
                                   ? QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))
                                   : QStringList()) {
        if (const QString status = line.section(QStringLiteral("  "), 2, -1); !status.isEmpty())
            statuses.append(status);
    }
    return statuses;
}
