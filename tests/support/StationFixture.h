#pragma once
// One station with its window, built from real parts: a temporary settings folder, a
// pseudo-terminal mapped as Com1, a TETHRA.SAV written before the start, TestEnvironment's
// fakes. Fixtures with different bind addresses (127.0.0.1, 127.0.0.2, ...) are stations in
// one process on the same port. After every NetworkTimer tick the fixture records the
// counter the tick left.
#include "app/SettingsRecords.h"
#include "support/FakeServices.h"
#include "support/Pty.h"

#include <memory>

class MainForm;
class QLabel;

class StationFixture final
{
public:
    explicit StationFixture(const QString &bindAddress = QStringLiteral("127.0.0.1"));
    ~StationFixture() { m_form.reset(); }
    Q_DISABLE_COPY_MOVE(StationFixture)

    bool isValid() const { return m_valid; }
    TestEnvironment &env() { return m_env; }
    // The device on Com1: the test plays it on the master side.
    Pty &device() { return m_device; }

    // Settings of a station that opens Com1 at 9600,n,8,1 and calls remoteHost on port.
    static SettingsRecords bridgeRecords(int port, const QString &remoteHost);
    bool writeSettings(const SettingsRecords &records);

    // A new MainForm on this folder after Form_Load.
    MainForm &start();
    bool isStarted() const { return m_form != nullptr; }
    MainForm &form() { return *m_form; }
    // Runs shutdown; the form stays, as a closed window does until it is deleted.
    void unload();

    const QList<int> &ticks() const { return m_ticks; }
    static bool showsPicture(const QLabel *lamp, const QPixmap &picture);

private:
    TestEnvironment m_env;
    Pty m_device;
    bool m_valid = false;
    std::unique_ptr<MainForm> m_form;
    QList<int> m_ticks;
};
