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
    : m_env(bindAddress), m_device(std::make_unique<Pty>())
{
    if (!m_env.isValid())
        m_error = QStringLiteral("no temporary settings folder");
    else if (!m_device->isOpen())
        m_error = QStringLiteral("no pseudo-terminal: ") + m_device->errorString();
    else if (!m_env.mapSerialPort(1, m_device->slavePath()))
        m_error = QStringLiteral("cannot map Com1 in ") + m_env.settingsFolder();
}

StationFixture::~StationFixture()
{
    destroy();
}

Pty &StationFixture::addDevice(int port)
{
    m_extraDevices.push_back(std::make_unique<Pty>());
    Pty &device = *m_extraDevices.back();
    if (!device.isOpen() || !m_env.mapSerialPort(port, device.slavePath()))
        m_error = QStringLiteral("cannot map Com%1").arg(port);
    return device;
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
    return writeSettingsFile(encode(records, random));
}

bool StationFixture::writeSettingsFile(const QByteArray &bytes)
{
    QSaveFile file(settingsPath());
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QByteArray StationFixture::settingsBytes() const
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

MainForm &StationFixture::start()
{
    destroy();
    m_form = std::make_unique<MainForm>(m_env.environment());
    // Connected after the form's own handler: sees what the tick left.
    QObject::connect(m_form->NetworkTimer, &QTimer::timeout, m_form.get(), [this] {
        m_ticks.append({m_form->Ack_Retries, m_form->netStatus()});
    });
    m_form->Form_Load();
    return *m_form;
}

void StationFixture::unload()
{
    if (m_form)
        m_form->Form_Unload();
}

QStringList StationFixture::statusHistory() const
{
    // "05-Dec-2026  10:03:08  Connected": the month's name depends on the locale.
    static const QRegularExpression line(QStringLiteral("^.*?  \\d\\d:\\d\\d:\\d\\d  (.*)$"));
    QStringList statuses;
    const QString history = m_form ? m_form->statusLogForm()->history() : QString();
    for (const QString &text : history.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            statuses.append(match.captured(1));
    }
    return statuses;
}

bool StationFixture::showsPicture(const QLabel *lamp, const QPixmap &picture)
{
    const QPixmap shown = lamp->pixmap();
    return !shown.isNull() && !picture.isNull() && shown.toImage() == picture.toImage();
}
