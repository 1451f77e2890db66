#include "support/StationFixture.h"

#include "app/MainForm.h"
#include "monitor/StatusLogForm.h"
#include "platform/RandomSource.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

StationFixture::StationFixture(const QString &bindAddress)
    : m_env(bindAddress),
      m_valid(m_env.isValid() && m_device.isOpen() && m_env.mapSerialPort(1, m_device.slavePath()))
{
}

SettingsRecords StationFixture::bridgeRecords(int port, const QString &remoteHost)
{
    SettingsRecords records;
    records.portNumber = port;
    records.remoteHost = remoteHost;
    records.serialPort = 1;
    records.serialSettings = QStringLiteral("9600,n,8,1");
    return records;
}

bool StationFixture::writeSettings(const SettingsRecords &records)
{
    // Filler letters from a draw of their own: the test's queued draws stay for the station.
    SystemRandom random;
    const QByteArray bytes = encode(records, random);
    QSaveFile file(m_env.filePath(QLatin1String(SettingsRecords::kFileName)));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

SettingsReadResult StationFixture::readSettings() const
{
    QFile file(m_env.filePath(QLatin1String(SettingsRecords::kFileName)));
    return decodeSettingsRecords(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
}

MainForm &StationFixture::start()
{
    m_form = std::make_unique<MainForm>(m_env.environment());
    // Connected after the form's own handler: sees what the tick left.
    QObject::connect(m_form->NetworkTimer, &QTimer::timeout, m_form.get(),
                     [this] { m_ticks.append(m_form->Ack_Retries); });
    m_form->Form_Load();
    return *m_form;
}

void StationFixture::unload()
{
    m_form->Form_Unload();
}

QStringList StationFixture::statusHistory() const
{
    // "05-Dec-2026  10:03:08  Connected": the month's name depends on the locale.
    static const QRegularExpression line(QStringLiteral("^.*?  \\d\\d:\\d\\d:\\d\\d  (.*)$"));
    QStringList statuses;
    const QString history = m_form->statusLogForm()->history();
    for (const QString &text : history.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            statuses.append(match.captured(1));
    }
    return statuses;
}

bool StationFixture::showsPicture(const QLabel *lamp, const QPixmap &picture)
{
    return !picture.isNull() && lamp->pixmap().toImage() == picture.toImage();
}
