#include "common/BenchStation.h"

#include "app/SettingsRecords.h"
#include "platform/RandomSource.h"
#include "support/Pty.h"

#include <QFile>

BenchStation::BenchStation() : m_device(std::make_unique<Pty>()) {}

BenchStation::~BenchStation() = default;

bool BenchStation::prepare(const QString &remoteHost, int port, bool viewTraffic)
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_folder.errorString();
        return false;
    }
    if (!m_device->isOpen()) {
        m_error = QStringLiteral("no pseudo-terminal: ") + m_device->errorString();
        return false;
    }
    if (!QFile::link(m_device->slavePath(), m_folder.filePath(QStringLiteral("com1")))) {
        m_error = QStringLiteral("cannot link com1 in ") + m_folder.path();
        return false;
    }
    SettingsRecords records;
    records.portNumber = port;
    records.remoteHost = remoteHost;
    records.serialPort = 1;
    records.viewTraffic = viewTraffic;
    SystemRandom random;
    QFile file(m_folder.filePath(QLatin1String(SettingsRecords::kFileName)));
    if (!file.open(QIODevice::WriteOnly) || file.write(encode(records, random)) <= 0) {
        m_error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return false;
    }
    return true;
}

QStringList BenchStation::boundCommand(const QString &binary, const QString &bindAddress) const
{
    return {binary, QStringLiteral("--bind"), bindAddress, QStringLiteral("--settings"),
            m_folder.path()};
}

bool BenchStation::start(const QStringList &command)
{
    if (!m_process.start(command, m_folder.filePath(QStringLiteral("station.log")))) {
        m_error = m_process.errorString();
        return false;
    }
    return true;
}

int BenchStation::deviceFd() const
{
    return m_device->masterFd();
}
