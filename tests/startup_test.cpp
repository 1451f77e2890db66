// Start-up and shutdown of a whole station: its settings folder, a pseudo-terminal as the
// serial device, the settings file as the station reads and writes it, real widgets on the
// offscreen platform.
#include "app/MainForm.h"
#include "app/SettingsRecords.h"
#include "monitor/TrafficBox.h"
#include "monitor/TrafficMonitor.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/StationFixture.h"
#include "support/StationProcess.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace
{

constexpr int kPort = 19811;
const QString kSettingsErrorTitle = QStringLiteral("ERROR - TETHRA.SAV");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Root passes every permission check, so a folder without write permission stops only
// another user. This switches the whole process to "nobody" for as long as it lives (the
// saved user stays root, so it can switch back); as any other user it changes nothing.
class UnprivilegedScope final
{
public:
    static constexpr uid_t kNobody = 65534;

    UnprivilegedScope()
    {
        if (::geteuid() != 0)
            return;
        m_switched = ::setresgid(kNobody, kNobody, 0) == 0 && ::setresuid(kNobody, kNobody, 0) == 0;
    }
    ~UnprivilegedScope()
    {
        if (!m_switched)
            return;
        [[maybe_unused]] const int uid = ::setresuid(0, 0, 0);
        [[maybe_unused]] const int gid = ::setresgid(0, 0, 0);
    }
    UnprivilegedScope(const UnprivilegedScope &) = delete;
    UnprivilegedScope &operator=(const UnprivilegedScope &) = delete;

    bool denied() const { return m_switched || ::geteuid() != 0; }

private:
    bool m_switched = false;
};

// Files may grow only to `bytes` while it lives: every longer write fails with EFBIG,
// for root as well.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        m_ok = m_ok && ::setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class StartupTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRun_noSettingsFile_defaultsAndOneError();
    void shortSettingsFile_reportsOnceKeepsDefaultsButTakesLogPaths();
    void settingsNamingLogs_bothLogsDeletedAtStart();
    void serialPortFromSettings_captionAndLamps_data();
    void serialPortFromSettings_captionAndLamps();
    void viewTrafficSaved_startsExpanded();
    void shutdown_savesSerialPortNumberOnlyWhileOpen_data();
    void shutdown_savesSerialPortNumberOnlyWhileOpen();
    void shutdown_writesSeventeenCrLfRecordsOfTheRunningState();
    void shutdown_savesOncePerRun();
    void save_intoFolderWithoutWriteAccess_rewritesFileInPlaceIfAllowed_data();
    void save_intoFolderWithoutWriteAccess_rewritesFileInPlaceIfAllowed();
    void save_failingWrite_keepsOldFileWholeAndReports();
    void stopSignal_saveFailing_endsAndReportsWithoutBox();
    void helpAndVersion_answerWithoutDisplay_data();
    void helpAndVersion_answerWithoutDisplay();
};

void StartupTest::firstRun_noSettingsFile_defaultsAndOneError()
{
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    QVERIFY(!QFile::exists(station.settingsPath()));

    MainForm &form = station.start();

    QCOMPARE(form.windowTitle(), QStringLiteral("Tethra v1.04"));
    QVERIFY(form.isVisible());
    QCOMPARE(form.Port_Number, 9801);
    QCOMPARE(form.Socket1->RemoteHostName(), QString());
    QCOMPARE(form.Socket1->RemoteHostAddress(), QString());
    QCOMPARE(form.DestinationName->text(), QString());
    // Com1 names a working device, but nothing asked for it to be opened.
    QVERIFY(!form.RS232comms->PortOpen());
    QCOMPARE(form.RS232Frame->title(), QStringLiteral("RS232 Disabled"));
    QCOMPARE(form.RxLogFile, QString());
    QCOMPARE(form.TxLogFile, QString());
    QCOMPARE(form.heightTwips(), 2350);
    QVERIFY(!form.ViewMenuItem->isChecked());
    QVERIFY(!form.LocalLoopMenuItem->isEnabled());
    QVERIFY(!form.RemoteLoopMenuItem->isEnabled());
    QVERIFY(!form.SendTestMenuItem->isEnabled());
    QVERIFY(!form.RunInServerMode);
    QVERIFY(!form.AutoResolveHostName);
    QVERIFY(form.AutoReconnect);
    for (const QLabel *lamp : {form.RxLED, form.TxLED, form.NetLED})
        QVERIFY(StationFixture::showsPicture(lamp, form.GreyLED));
    QVERIFY(form.NetworkTimer->isActive());
    QCOMPARE(form.NetworkTimer->interval(), 100);
    QCOMPARE(form.NetworkTimerTag, QStringLiteral("FAST"));

    const FakeMessageBoxes &boxes = station.env().messageBoxes;
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, kSettingsErrorTitle);
    QCOMPARE(boxes.last().kind, FakeMessageBoxes::Kind::Inform);
    QVERIFY(!boxes.last().text.isEmpty());

    // The station runs on: its first ticks try to call and report why they cannot.
    QTRY_VERIFY_WITH_TIMEOUT(station.ticks().size() >= 2, 5000);
    QCOMPARE(boxes.count(), 1);
}

void StartupTest::shortSettingsFile_reportsOnceKeepsDefaultsButTakesLogPaths()
{
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    const QString rxLog = station.env().filePath(QStringLiteral("rx.log"));
    const QString txLog = station.env().filePath(QStringLiteral("tx.log"));
    QVERIFY(writeFile(rxLog, "old rx"));
    QVERIFY(writeFile(txLog, "old tx"));
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.rxLogFile = rxLog;
    records.txLogFile = txLog;
    records.viewTraffic = true;
    SystemRandom random;
    // The file ends after record 14: both log paths were read, the rest is missing.
    QList<QByteArray> lines = encode(records, random).split('\n');
    QByteArray shortened;
    for (int line = 0; line < SettingsRecords::kTxLogFileRecord; ++line)
        shortened += lines.at(line) + '\n';
    QVERIFY(station.writeSettingsFile(shortened));

    MainForm &form = station.start();

    QCOMPARE(station.env().messageBoxes.count(), 1);
    QCOMPARE(station.env().messageBoxes.last().title, kSettingsErrorTitle);
    QCOMPARE(form.Port_Number, 9801);
    QCOMPARE(form.Socket1->RemoteHostAddress(), QString());
    QVERIFY(!form.RS232comms->PortOpen());
    QCOMPARE(form.heightTwips(), 2350);
    QCOMPARE(form.RxLogFile, rxLog);
    QCOMPARE(form.TxLogFile, txLog);
    QVERIFY(!QFile::exists(rxLog));
    QVERIFY(!QFile::exists(txLog));
}

void StartupTest::settingsNamingLogs_bothLogsDeletedAtStart()
{
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    const QString rxLog = station.env().filePath(QStringLiteral("received.log"));
    const QString txLog = station.env().filePath(QStringLiteral("sent.log"));
    QVERIFY(writeFile(rxLog, "last run's received bytes"));
    QVERIFY(writeFile(txLog, "last run's sent bytes"));
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.rxLogFile = rxLog;
    records.txLogFile = txLog;
    QVERIFY(station.writeSettings(records));

    MainForm &form = station.start();

    QCOMPARE(station.env().messageBoxes.count(), 0);
    QCOMPARE(form.RxLogFile, rxLog);
    QCOMPARE(form.TxLogFile, txLog);
    QVERIFY(!QFile::exists(rxLog));
    QVERIFY(!QFile::exists(txLog));
}

void StartupTest::serialPortFromSettings_captionAndLamps_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("lineSettings");
    QTest::addColumn<bool>("deviceThere");
    QTest::addColumn<QString>("caption");

    QTest::newRow("Com1") << 1 << "9600,n,8,1" << true << "Com1:9600,n,8,1";
    QTest::newRow("Com12, other settings") << 12 << "19200,e,7,1" << true << "Com12:19200,e,7,1";
    QTest::newRow("device missing") << 5 << "9600,n,8,1" << false << "RS232 Disabled";
}

void StartupTest::serialPortFromSettings_captionAndLamps()
{
    QFETCH(int, port);
    QFETCH(QString, lineSettings);
    QFETCH(bool, deviceThere);
    QFETCH(QString, caption);

    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    if (port != 1 && deviceThere)
        station.addDevice(port);
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.serialPort = port;
    records.serialSettings = lineSettings;
    QVERIFY(station.writeSettings(records));

    MainForm &form = station.start();

    QCOMPARE(form.RS232comms->PortOpen(), deviceThere);
    QCOMPARE(form.RS232Frame->title(), caption);
    const QPixmap &serialLamp = deviceThere ? form.GreenLED : form.GreyLED;
    QVERIFY(StationFixture::showsPicture(form.RxLED, serialLamp));
    QVERIFY(StationFixture::showsPicture(form.TxLED, serialLamp));
    QVERIFY(StationFixture::showsPicture(form.NetLED, form.GreyLED));
    // A serial port that cannot be opened is no settings error.
    QCOMPARE(station.env().messageBoxes.count(), 0);
    QCOMPARE(form.DestinationName->text(), QStringLiteral("127.0.0.2"));
    QCOMPARE(form.Port_Number, kPort);
}

void StartupTest::viewTrafficSaved_startsExpanded()
{
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.viewTraffic = true;
    QVERIFY(station.writeSettings(records));

    MainForm &form = station.start();

    QVERIFY(form.ViewMenuItem->isChecked());
    QCOMPARE(form.heightTwips(), 6520);
    QCOMPARE(form.RxTextBox->toPlainText(), QString());
    QCOMPARE(form.TxTextBox->toPlainText(), QString());
}

void StartupTest::shutdown_savesSerialPortNumberOnlyWhileOpen_data()
{
    QTest::addColumn<bool>("closeBeforeShutdown");
    QTest::addColumn<int>("savedPort");

    QTest::newRow("open") << false << 3;
    QTest::newRow("closed while running") << true << 0;
}

void StartupTest::shutdown_savesSerialPortNumberOnlyWhileOpen()
{
    QFETCH(bool, closeBeforeShutdown);
    QFETCH(int, savedPort);

    StationFixture station;
    station.addDevice(3);
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.serialPort = 3;
    QVERIFY(station.writeSettings(records));
    MainForm &form = station.start();
    QVERIFY(form.RS232comms->PortOpen());
    if (closeBeforeShutdown)
        form.RS232comms->setPortOpen(false);

    station.unload();

    QTRY_VERIFY_WITH_TIMEOUT(!form.RS232comms->PortOpen(), 1000);
    const SettingsReadResult saved = station.readSettings();
    QVERIFY2(saved.complete, qPrintable(saved.error));
    QCOMPARE(saved.records.serialPort, savedPort);
    QCOMPARE(saved.records.portNumber, kPort);
    QCOMPARE(saved.records.remoteHost, QStringLiteral("127.0.0.2"));

    // The next start follows what was saved.
    station.destroy();
    MainForm &next = station.start();
    QCOMPARE(next.RS232comms->PortOpen(), savedPort != 0);
    QCOMPARE(next.RS232Frame->title(),
             savedPort != 0 ? QStringLiteral("Com3:9600,n,8,1") : QStringLiteral("RS232 Disabled"));
}

void StartupTest::shutdown_writesSeventeenCrLfRecordsOfTheRunningState()
{
    StationFixture station;
    station.addDevice(2);
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    const QString rxLog = station.env().filePath(QStringLiteral("rx.log"));
    const QString txLog = station.env().filePath(QStringLiteral("tx.log"));
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.serialPort = 2;
    records.serialSettings = QStringLiteral("19200,e,7,1");
    records.handshaking = 2;
    records.rxLogFile = rxLog;
    records.txLogFile = txLog;
    records.viewTraffic = true;
    records.runInServerMode = true;
    QVERIFY(station.writeSettings(records));
    MainForm &form = station.start();
    QVERIFY(form.RS232comms->PortOpen());

    // What changed while running is what gets saved.
    form.trafficMonitor().ViewMenuItem_Click();
    form.AutoResolveHostName = true;
    form.Port_Number = kPort + 1;
    station.unload();

    const QByteArray bytes = station.settingsBytes();
    QVERIFY(bytes.endsWith("\r\n"));
    QList<QByteArray> lines = bytes.chopped(2).split('\n');
    QCOMPARE(lines.size(), SettingsRecords::kRecordCount);
    for (QByteArray &line : lines) {
        QVERIFY2(line.endsWith('\r') || &line == &lines.last(), line.constData());
        if (line.endsWith('\r'))
            line.chop(1);
        QVERIFY2(!line.contains('\r'), line.constData());
    }
    const QList<QByteArray> expected = {
        "\"TETHRA defaults\"",
        "",
        QByteArray::number(kPort + 1),
        "\"127.0.0.2\"",
        "2",
        "\"19200,e,7,1\"",
        "2",
        "\"\"",
        "\"\"",
        "\"\"",
        "filler",
        "0",
        '"' + rxLog.toLatin1() + '"',
        '"' + txLog.toLatin1() + '"',
        "#FALSE#",
        "#TRUE#",
        "#TRUE#",
    };
    for (int index = 0; index < SettingsRecords::kRecordCount; ++index) {
        if (index == 10) {
            QVERIFY2(QRegularExpression(QStringLiteral("^\"[A-Z]{10}\"$"))
                         .match(QString::fromLatin1(lines.at(index)))
                         .hasMatch(),
                     lines.at(index).constData());
            continue;
        }
        QCOMPARE(lines.at(index), expected.at(index));
    }

    const SettingsReadResult saved = decodeSettingsRecords(bytes);
    QVERIFY2(saved.complete, qPrintable(saved.error));
    QCOMPARE(saved.records.portNumber, kPort + 1);
    QCOMPARE(saved.records.serialPort, 2);
    QCOMPARE(saved.records.serialSettings, QStringLiteral("19200,e,7,1"));
    QCOMPARE(saved.records.handshaking, 2);
    QVERIFY(!saved.records.viewTraffic);
    QVERIFY(saved.records.runInServerMode);
    QVERIFY(saved.records.autoResolveHostName);
}

void StartupTest::shutdown_savesOncePerRun()
{
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    QVERIFY(
        station.writeSettings(StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"))));
    MainForm &form = station.start();
    form.close();
    QVERIFY(station.readSettings().complete);
    QVERIFY(QFile::remove(station.settingsPath()));

    // A second close, File > Exit and the destructor find the shutdown done.
    form.close();
    form.ExitMenuItem->trigger();
    station.destroy();

    QVERIFY(!QFile::exists(station.settingsPath()));
}

void StartupTest::save_intoFolderWithoutWriteAccess_rewritesFileInPlaceIfAllowed_data()
{
    QTest::addColumn<bool>("fileWritable");
    QTest::addColumn<bool>("diskFull"); // the longer new file does not fit
    QTest::newRow("file writable") << true << false;
    QTest::newRow("file read-only") << false << false;
    QTest::newRow("disk full") << true << true;
}

void StartupTest::save_intoFolderWithoutWriteAccess_rewritesFileInPlaceIfAllowed()
{
    QFETCH(bool, fileWritable);
    QFETCH(bool, diskFull);
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    // No serial port: its lock file, made as root, could not be removed by another user.
    SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"));
    records.serialPort = 0;
    QVERIFY(station.writeSettings(records));
    const QByteArray before = station.settingsBytes();
    MainForm &form = station.start();
    form.Port_Number = kPort + 7;
    form.RxLogFile = QStringLiteral("/a/log/path/that/makes/the/new/file/longer/rx.log");
    const QString folder = station.env().settingsFolder();
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    QVERIFY(::chmod(QFile::encodeName(station.settingsPath()).constData(),
                    fileWritable ? 0666 : 0644) == 0);

    {
        UnprivilegedScope unprivileged;
        QVERIFY(unprivileged.denied());
        FileSizeLimit limit(diskFull ? rlim_t(before.size()) : RLIM_INFINITY);
        QVERIFY(limit.ok());
        station.unload();
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700);

    if (fileWritable && !diskFull)
        QCOMPARE(station.readSettings().records.portNumber, kPort + 7);
    else
        QCOMPARE(station.settingsBytes(), before);
    QCOMPARE(station.env().messageBoxes.count(), diskFull ? 1 : 0);
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::Files).filter(QStringLiteral("TETHRA")),
             QStringList{QStringLiteral("TETHRA.SAV")});
}

void StartupTest::save_failingWrite_keepsOldFileWholeAndReports()
{
    StationFixture station;
    QVERIFY2(station.isValid(), qPrintable(station.errorString()));
    QVERIFY(
        station.writeSettings(StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.2"))));
    const QByteArray before = station.settingsBytes();
    MainForm &form = station.start();
    form.Port_Number = kPort + 7;

    {
        // Too small for the new file: the write fails after the file was opened.
        FileSizeLimit limit(16);
        QVERIFY(limit.ok());
        station.unload();
    }

    // A buffered write would report the bytes it did take as success and commit the short
    // file; the old file must stay whole and the user be told.
    QCOMPARE(station.settingsBytes(), before);
    QCOMPARE(station.env().messageBoxes.count(), 1);
    if (station.env().messageBoxes.count() > 0) {
        QCOMPARE(station.env().messageBoxes.last().title, kSettingsErrorTitle);
        QVERIFY(!station.env().messageBoxes.last().text.isEmpty());
    }
    QCOMPARE(QDir(station.env().settingsFolder())
                 .entryList(QDir::Files)
                 .filter(QStringLiteral("TETHRA")),
             QStringList{QStringLiteral("TETHRA.SAV")});
}

void StartupTest::stopSignal_saveFailing_endsAndReportsWithoutBox()
{
    QVERIFY(!StationProcess::binary().isEmpty());
    StationProcess station;
    QVERIFY(station.prepare(QStringLiteral("127.0.0.2"), kPort + 20));
    const QString statusLog = station.folder() + QStringLiteral("/status.log");
    QVERIFY(station.start({StationProcess::binary(), QStringLiteral("--settings"), station.folder(),
                           QStringLiteral("--status-log"), statusLog}));
    QTRY_VERIFY_WITH_TIMEOUT(!fileBytes(statusLog).isEmpty(), 10000);
    // A folder where the settings file was: no save can replace it.
    const QString settings = station.folder() + QStringLiteral("/TETHRA.SAV");
    QVERIFY(QFile::remove(settings) && QDir().mkdir(settings));

    QVERIFY2(station.stop(SIGTERM, 5000), "still running 5 s after SIGTERM");
    QVERIFY2(station.output().contains(kSettingsErrorTitle), qPrintable(station.output()));
    QVERIFY(fileBytes(statusLog).contains(kSettingsErrorTitle.toUtf8()));
}

void StartupTest::helpAndVersion_answerWithoutDisplay_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("--help") << "--help"
                            << "Usage: tethra [options]";
    QTest::newRow("-h") << "-h"
                        << "Usage: tethra [options]";
    QTest::newRow("--version") << "--version"
                               << "tethra 1.0.4";
    QTest::newRow("-v") << "-v"
                        << "tethra 1.0.4";
}

void StartupTest::helpAndVersion_answerWithoutDisplay()
{
    QFETCH(QString, option);
    QFETCH(QString, firstLine);
    QVERIFY(!StationProcess::binary().isEmpty());
    QProcess tethra;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    tethra.setProcessEnvironment(environment);
    tethra.start(StationProcess::binary(), {option});
    QVERIFY(tethra.waitForFinished(10000));
    QCOMPARE(tethra.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tethra.exitCode(), 0);
    QCOMPARE(
        QString::fromLocal8Bit(tethra.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0),
        firstLine);
}

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
