#include "support/StationFixture.h"

#include "app/MainForm.h"
#include "monitor/StatusLogForm.h"
#include "platform/RandomSource.h"

#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QTimerEvent>

StationFixture::StationFixture(const QString &bindAddress)
    : m_env(bindAddress), m_device(std::make_unique<Pty>())
{
    m_clock.start();
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

bool StationFixture::isValid() const
{
    return m_error.isEmpty();
}

QString StationFixture::errorString() const
{
    return m_error;
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
    // The filler letters come from a random draw of their own, so a test's queued draws
    // stay for the station.
    SystemRandom random;
    return writeSettingsFile(encode(records, random));
}

bool StationFixture::writeSettingsFile(const QByteArray &bytes)
{
    QSaveFile file(settingsPath());
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QString StationFixture::settingsPath() const
{
    return m_env.filePath(QLatin1String(SettingsRecords::kFileName));
}

QByteArray StationFixture::settingsBytes() const
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

SettingsReadResult StationFixture::readSettings() const
{
    return decodeSettingsRecords(settingsBytes());
}

MainForm &StationFixture::start()
{
    destroy();
    m_form = std::make_unique<MainForm>(m_env.environment());
    m_tickDepth = 0;
    // The filter sees each timer event before the timeout goes out; the slot, connected
    // after the form's own handler, sees the state the tick left.
    m_form->NetworkTimer->installEventFilter(this);
    QObject::connect(m_form->NetworkTimer, &QTimer::timeout, m_form.get(),
                     [this] { recordTick(); });
    m_form->Form_Load();
    return *m_form;
}

void StationFixture::unload()
{
    if (m_form)
        m_form->Form_Unload();
}

void StationFixture::destroy()
{
    m_form.reset();
}

bool StationFixture::eventFilter(QObject *watched, QEvent *event)
{
    if (m_form && watched == m_form->NetworkTimer && event->type() == QEvent::Timer &&
        static_cast<QTimerEvent *>(event)->timerId() == m_form->NetworkTimer->timerId())
        ++m_tickDepth;
    return false;
}

void StationFixture::recordTick()
{
    const int depth = m_tickDepth;
    m_tickDepth = qMax(0, m_tickDepth - 1);
    if (depth > 1)
        return;
    Tick tick;
    tick.ackRetries = m_form->Ack_Retries;
    tick.status = m_form->netStatus();
    tick.socketState = m_form->Socket1->state();
    tick.intervalMs = m_form->NetworkTimer->interval();
    tick.atMs = m_clock.elapsed();
    m_ticks.append(tick);
}

QStringList StationFixture::statusHistory() const
{
    QStringList statuses;
    if (!m_form)
        return statuses;
    // "05-Dec-2026  10:03:08  Connected": the month's name depends on the locale.
    static const QRegularExpression line(QStringLiteral("^.*?  \\d\\d:\\d\\d:\\d\\d  (.*)$"));
    const QStringList lines =
        m_form->statusLogForm()->history().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    for (const QString &text : lines) {
        const QRegularExpressionMatch match = line.match(text);
        if (match.hasMatch())
            statuses.append(match.captured(1));
    }
    return statuses;
}

int StationFixture::countInHistory(const QString &status, int from) const
{
    const QStringList statuses = statusHistory();
    int count = 0;
    for (int index = qMax(0, from); index < statuses.size(); ++index) {
        if (statuses.at(index) == status)
            ++count;
    }
    return count;
}

bool StationFixture::showsPicture(const QLabel *lamp, const QPixmap &picture)
{
    const QPixmap shown = lamp->pixmap();
    return !shown.isNull() && !picture.isNull() && shown.toImage() == picture.toImage();
}
