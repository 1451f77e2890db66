#include "support/StationProcess.h"

#include "platform/RandomSource.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

#include <csignal>

StationProcess::StationProcess() : m_device(std::make_unique<Pty>()) {}

StationProcess::~StationProcess()
{
    if (isRunning())
        stop(SIGKILL, 5000);
}

QString StationProcess::binary()
{
    return qEnvironmentVariable("TETHRA_BINARY");
}

bool StationProcess::prepare(const QString &remoteHost, int port)
{
    if (!m_folder.isValid() || !m_device->isOpen())
        return false;
    if (!QFile::link(m_device->slavePath(), m_folder.filePath(QStringLiteral("com1"))))
        return false;
    SettingsRecords records;
    records.portNumber = port;
    records.remoteHost = remoteHost;
    records.serialPort = 1;
    records.serialSettings = QStringLiteral("9600,n,8,1");
    SystemRandom random;
    QFile file(m_folder.filePath(QLatin1String(SettingsRecords::kFileName)));
    return file.open(QIODevice::WriteOnly) && file.write(encode(records, random)) > 0;
}

bool StationProcess::start(const QStringList &command)
{
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process->setProcessEnvironment(environment);
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    m_process->start(command.first(), command.mid(1));
    return m_process->waitForStarted(5000);
}

bool StationProcess::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

bool StationProcess::stop(int signalNumber, int timeoutMs)
{
    if (!isRunning())
        return true;
    // The process may be a wrapper (ip netns exec ... exec tethra): the exec keeps the pid.
    ::kill(static_cast<pid_t>(m_process->processId()), signalNumber);
    return m_process->waitForFinished(timeoutMs);
}

QString StationProcess::output() const
{
    return m_process ? QString::fromLocal8Bit(m_process->readAll()) : QString();
}
