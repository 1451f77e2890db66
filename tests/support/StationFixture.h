#pragma once
// One station for a test, built from real parts: a settings folder of its own (temporary),
// a pseudo-terminal mapped as Com1, a TETHRA.SAV written before the start, the fakes of
// TestEnvironment, and the MainForm itself. Two fixtures with different bind addresses
// (127.0.0.1 and 127.0.0.2) are two stations in one process on the same port.
//
// The fixture also watches the station: at the end of every NetworkTimer tick it records
// the tick counter, the status and the socket's state, so a test can check what the
// connection manager did on each tick rather than only where it ended up. A tick that falls
// due inside another one (while the give-up step lets events run) is no tick of its own and
// is not recorded; what it changed shows in the record of the tick around it.
#include "app/SettingsRecords.h"
#include "platform/SocketControl.h"
#include "support/FakeServices.h"
#include "support/Pty.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class MainForm;
class QLabel;
class QPixmap;

class StationFixture final : public QObject
{
    Q_DISABLE_COPY_MOVE(StationFixture)

public:
    struct Tick {
        int ackRetries = 0;
        QString status;
        SocketControl::State socketState = SocketControl::State::Idle;
        int intervalMs = 0;
        // Milliseconds since the fixture was made.
        qint64 atMs = 0;
    };

    explicit StationFixture(const QString &bindAddress = QStringLiteral("127.0.0.1"));
    ~StationFixture() override;

    // The folder and the pseudo-terminal are ready.
    bool isValid() const;
    QString errorString() const;

    TestEnvironment &env() { return m_env; }
    // The device on Com1: the test plays it on the master side.
    Pty &device() { return *m_device; }
    // Maps one more pseudo-terminal as Com n (n other than 1) and returns it.
    Pty &addDevice(int port);

    // Settings of a station that opens Com1 at 9600,n,8,1 and calls remoteHost on port.
    static SettingsRecords bridgeRecords(int port, const QString &remoteHost);
    bool writeSettings(const SettingsRecords &records);
    bool writeSettingsFile(const QByteArray &bytes);
    QString settingsPath() const;
    QByteArray settingsBytes() const;
    SettingsReadResult readSettings() const;

    // Builds a new MainForm on this folder and runs Form_Load; a form still standing is
    // destroyed first (which unloads it).
    MainForm &start();
    bool isStarted() const { return m_form != nullptr; }
    MainForm &form() { return *m_form; }
    // Runs shutdown; the form stays, as a closed window does until it is deleted.
    void unload();
    // Deletes the form; its destructor unloads it if that has not happened yet.
    void destroy();

    const QList<Tick> &ticks() const { return m_ticks; }
    void clearTicks() { m_ticks.clear(); }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // The statuses in the station's history, oldest first, without their time stamps.
    QStringList statusHistory() const;
    // The number of history entries equal to status from entry `from` on.
    int countInHistory(const QString &status, int from = 0) const;

    static bool showsPicture(const QLabel *lamp, const QPixmap &picture);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void recordTick();

    TestEnvironment m_env;
    std::unique_ptr<Pty> m_device;
    std::vector<std::unique_ptr<Pty>> m_extraDevices;
    std::unique_ptr<MainForm> m_form;
    QList<Tick> m_ticks;
    // Timer events of NetworkTimer whose timeout has not finished yet.
    int m_tickDepth = 0;
    QElapsedTimer m_clock;
    QString m_error;
};
