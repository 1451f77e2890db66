#include "support/StationProcess.h"

#include "platform/RandomSource.h"

#include <QFile>
#include <QRegularExpression>

#include <csignal>

StationProcess::StationProcess()
{
    QFile::link(m_device.slavePath(), path(QStringLiteral("com1")));
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

StationProcess::~StationProcess()
{
    stop(SIGKILL, 5000);
}

SettingsRecords StationProcess::records(const QString &remoteHost, int port)
{
    SettingsRecords records;
    records.portNumber = port;
    records.remoteHost = remoteHost;
    records.serialPort = 1;
    records.serialSettings = QStringLiteral("9600,n,8,1");
    return records;
}

bool StationProcess::writeSettings(const SettingsRecords &records)
{
    SystemRandom random;
    QFile file(path(QLatin1String(SettingsRecords::kFileName)));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(encode(records, random)) > 0;
}

bool StationProcess::start(const QStringList &wrapper, const QStringList &options)
{
    const QStringList command =
        wrapper +
        QStringList{binary(), "--settings", m_folder.path(), "--status-log", path("status.log")} +
        options;
    m_process.setProgram(command.first());
    m_process.setArguments(command.mid(1));
    m_process.start();
    return m_process.waitForStarted(5000);
}

bool StationProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

bool StationProcess::stop(int signalNumber, int timeoutMs)
{
    if (isRunning())
        ::kill(static_cast<pid_t>(m_process.processId()), signalNumber);
    const bool ended = !isRunning() || m_process.waitForFinished(timeoutMs);
    output();
    return ended;
}

QString StationProcess::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}

QStringList StationProcess::statuses() const
{
    QFile file(path(QStringLiteral("status.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression line(QStringLiteral("^.*?  \\d\\d:\\d\\d:\\d\\d  (.*)$"));
    QStringList statuses;
    for (const QString &text : QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"))) {
        if (const QRegularExpressionMatch match = line.match(text); match.hasMatch())
            statuses.append(match.captured(1));
    }
    return statuses;
}
