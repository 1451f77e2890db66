#include "support/StationFixture.h"

#include "app/MainForm.h"
#include "platform/RandomSource.h"

#include <QLabel>
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

bool StationFixture::showsPicture(const QLabel *lamp, const QPixmap &picture)
{
    return !picture.isNull() && lamp->pixmap().toImage() == picture.toImage();
}
