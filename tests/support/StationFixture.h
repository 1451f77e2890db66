#pragma once
// One station for a test, built from real parts: a temporary settings folder, a
// pseudo-terminal mapped as Com1, a TETHRA.SAV written before the start, TestEnvironment's
// fakes and the MainForm itself. Fixtures with different bind addresses (127.0.0.1,
// 127.0.0.2, ...) are stations in one process on the same port. At the end of every
// NetworkTimer tick the fixture records the counter and the status the tick left.
#include "app/SettingsRecords.h"
#include "support/FakeServices.h"
#include "support/Pty.h"

#include <QList>
#include <QObject>

#include <memory>
#include <vector>

class MainForm;
class QLabel;
class QPixmap;

class StationFixture final
{
public:
    struct Tick {
        int ackRetries = 0;
        QString status;
    };

    explicit StationFixture(const QString &bindAddress = QStringLiteral("127.0.0.1"));
    ~StationFixture();
    Q_DISABLE_COPY_MOVE(StationFixture)

    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }
    TestEnvironment &env() { return m_env; }
    // The device on Com1: the test plays it on the master side.
    Pty &device() { return *m_device; }
    // Maps one more pseudo-terminal as Com n (n other than 1) and returns it.
    Pty &addDevice(int port);

    // Settings of a station that opens Com1 at 9600,n,8,1 and calls remoteHost on port.
    static SettingsRecords bridgeRecords(int port, const QString &remoteHost);
    bool writeSettings(const SettingsRecords &records);
    bool writeSettingsFile(const QByteArray &bytes);
    QString settingsPath() const
    {
        return m_env.filePath(QLatin1String(SettingsRecords::kFileName));
    }
    QByteArray settingsBytes() const;
    SettingsReadResult readSettings() const { return decodeSettingsRecords(settingsBytes()); }

    // A new MainForm on this folder after Form_Load; a form still standing goes first.
    MainForm &start();
    bool isStarted() const { return m_form != nullptr; }
    MainForm &form() { return *m_form; }
    // Runs shutdown; the form stays, as a closed window does until it is deleted.
    void unload();
    void destroy() { m_form.reset(); }

    const QList<Tick> &ticks() const { return m_ticks; }
    // The statuses in the station's history, oldest first, without their time stamps.
    QStringList statusHistory() const;
    static bool showsPicture(const QLabel *lamp, const QPixmap &picture);

private:
    TestEnvironment m_env;
    std::unique_ptr<Pty> m_device;
    std::vector<std::unique_ptr<Pty>> m_extraDevices;
    std::unique_ptr<MainForm> m_form;
    QList<Tick> m_ticks;
    QString m_error;
};
