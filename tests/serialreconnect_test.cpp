// A serial device that goes away and comes back, as a USB adapter does when it is pulled and
// plugged in again. Real stations on loopback, pseudo-terminals as the devices. Com1 is a
// link to a by-id name, which in turn names the current pseudo-terminal, as udev's
// /dev/serial/by-id/ links name the current ttyUSB device: the device vanishes when the
// terminal's master closes and its by-id name is removed, and comes back as a new terminal
// under the same by-id name.
#include "app/MainForm.h"
#include "dialogs/DropDownCombo.h"
#include "dialogs/RS232SetupForm.h"
#include "monitor/TrafficBox.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialReconnector.h"
#include "support/StationFixture.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <memory>

namespace
{

constexpr int kLinkTimeoutMs = 20000;
constexpr int kWaitMs = 5000;
// One try a second: the port is back within about a second of its device.
constexpr int kReopenTimeoutMs = 3000;
const QString kCaption = QStringLiteral("Com1:9600,n,8,1");
const QString kDisabled = QStringLiteral("RS232 Disabled");

int freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::AnyIPv4, 0))
        return 0;
    return server.serverPort();
}

QByteArray pattern(int size, int seed)
{
    QByteArray bytes;
    bytes.reserve(size);
    for (int i = 0; i < size; ++i)
        bytes += char((i * 7 + seed) & 0xff);
    return bytes;
}

// Writes a marker at one device until it comes out of the other: data written before the
// stations have found each other is dropped, as with a cable not yet plugged in.
bool waitForLink(Pty &from, Pty &to, int timeoutMs)
{
    const QByteArray marker("link?");
    QDeadlineTimer deadline(timeoutMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        from.write(marker);
        seen += to.readUntil(marker.size(), 250);
        if (seen.contains(marker)) {
            // Markers still on their way must not be taken for the real data.
            QTest::qWait(300);
            to.read();
            return true;
        }
    }
    return false;
}

// A station whose Com1 reaches its device through a by-id name.
class AdapterStation final
{
public:
    explicit AdapterStation(const QString &bindAddress) : fixture(bindAddress)
    {
        QDir().mkpath(fixture.env().filePath(QStringLiteral("by-id")));
        byIdPath = fixture.env().filePath(QStringLiteral("by-id/usb-Tethra_Adapter_A1-if00"));
        mapped = fixture.env().mapSerialPort(1, byIdPath);
    }

    bool isValid() const { return fixture.isValid() && mapped; }
    // The adapter is plugged in as the given terminal.
    bool plugIn(const Pty &device) const
    {
        QFile::remove(byIdPath);
        return QFile::link(device.slavePath(), byIdPath);
    }
    // The adapter is pulled: its device ends and its by-id name goes.
    void pull(Pty &device) const
    {
        device.closeMaster();
        QFile::remove(byIdPath);
    }
    MainForm &form() { return fixture.form(); }
    bool showsLamps(const QPixmap &picture)
    {
        return StationFixture::showsPicture(form().RxLED, picture) &&
               StationFixture::showsPicture(form().TxLED, picture);
    }

    StationFixture fixture;
    QString byIdPath;
    bool mapped = false;
};

// Closes the port in the RS-232 dialog, as the user does: "None" and OK.
bool closePortInDialog(MainForm &form)
{
    bool acted = false;
    QTimer::singleShot(0, &form, [&acted] {
        auto *dialog = qobject_cast<RS232SetupForm *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->CommPortCombo->setEditText(QStringLiteral("None"));
        dialog->OKbutton->click();
        acted = true;
    });
    form.RS232MenuItem_Click();
    return acted;
}

} // namespace

class SerialReconnectTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void deviceVanishesMidTransfer_reopensByItselfAndPeerCarriesOn();
    void deviceAbsentAtStart_isOpenedWhenItAppears();
    void deviceAbsentAtExit_keepsItsPortInTheSettings();
    void portClosedByUser_isNotReopened_data();
    void portClosedByUser_isNotReopened();
};

void SerialReconnectTest::deviceVanishesMidTransfer_reopensByItselfAndPeerCarriesOn()
{
    const int port = freePort();
    QVERIFY(port > 0);
    AdapterStation a(QStringLiteral("127.0.0.1"));
    StationFixture b(QStringLiteral("127.0.0.2"));
    QVERIFY(a.isValid() && b.isValid());
    QVERIFY(a.plugIn(a.fixture.device()));
    // A only waits for calls and B calls again on its first chance, so the two find each
    // other without depending on the draw.
    SettingsRecords recordsA = StationFixture::bridgeRecords(port, QStringLiteral("127.0.0.2"));
    recordsA.runInServerMode = true;
    QVERIFY(a.fixture.writeSettings(recordsA));
    QVERIFY(b.writeSettings(StationFixture::bridgeRecords(port, QStringLiteral("127.0.0.1"))));
    b.env().random.queue(0.0);

    MainForm &formA = a.fixture.start();
    MainForm &formB = b.start();
    QVERIFY(formA.RS232comms->PortOpen());
    QVERIFY(waitForLink(a.fixture.device(), b.device(), kLinkTimeoutMs));
    QVERIFY(waitForLink(b.device(), a.fixture.device(), kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(formB.netStatus(), QStringLiteral("Connected"), kWaitMs);
    const int historyMark = b.statusHistory().size();

    // Both ways busy when the adapter is pulled.
    QVERIFY(a.fixture.device().write(pattern(4000, 1)) > 0);
    QVERIFY(b.device().writeAll(pattern(4000, 2)));
    a.pull(a.fixture.device());

    QTRY_COMPARE_WITH_TIMEOUT(formA.RS232Frame->title(), kDisabled, kWaitMs);
    QVERIFY(!formA.RS232comms->PortOpen());
    QVERIFY(a.showsLamps(formA.GreyLED));
    QVERIFY(formA.serialReconnector().isExpecting());

    // While the device is away, B goes on sending (A drops it) and tries come once a second.
    const int triesBefore = formA.serialReconnector().tries();
    QElapsedTimer away;
    away.start();
    for (int round = 0; round < 6; ++round) {
        QVERIFY(b.device().writeAll(pattern(500, round)));
        QTest::qWait(500);
    }
    const int triesAway = formA.serialReconnector().tries() - triesBefore;
    QVERIFY2(triesAway >= 1 && triesAway <= away.elapsed() / 1000 + 1,
             qPrintable(QStringLiteral("%1 tries in %2 ms").arg(triesAway).arg(away.elapsed())));
    QCOMPARE(formA.RS232Frame->title(), kDisabled);
    QVERIFY(a.showsLamps(formA.GreyLED));

    // The other station noticed nothing.
    QCOMPARE(formB.netStatus(), QStringLiteral("Connected"));
    QCOMPARE(b.countInHistory(QStringLiteral("Timed-Out"), historyMark), 0);
    QVERIFY(formB.Socket1->IsConnected());
    QCOMPARE(formB.RS232Frame->title(), kCaption);

    // Plugged in again, under a new terminal.
    Pty replugged;
    QVERIFY(replugged.isOpen());
    b.device().read();
    QVERIFY(a.plugIn(replugged));
    QTRY_COMPARE_WITH_TIMEOUT(formA.RS232Frame->title(), kCaption, kReopenTimeoutMs);
    QVERIFY(formA.RS232comms->PortOpen());
    QVERIFY(a.showsLamps(formA.GreenLED));
    QVERIFY(!formA.serialReconnector().isExpecting());

    // Data flows both ways again, without a restart.
    const QByteArray toB = pattern(3000, 3);
    QVERIFY(replugged.writeAll(toB));
    QCOMPARE(b.device().readUntil(toB.size(), kWaitMs), toB);
    const QByteArray toA = pattern(3000, 4);
    QVERIFY(b.device().writeAll(toA));
    QCOMPARE(replugged.readUntil(toA.size(), kWaitMs), toA);
    QCOMPARE(b.countInHistory(QStringLiteral("Timed-Out"), historyMark), 0);
}

void SerialReconnectTest::deviceAbsentAtStart_isOpenedWhenItAppears()
{
    AdapterStation station(QStringLiteral("127.0.0.1"));
    QVERIFY(station.isValid());
    SettingsRecords records =
        StationFixture::bridgeRecords(freePort(), QStringLiteral("127.0.0.3"));
    // The receive view shows what the station reads from its device.
    records.viewTraffic = true;
    QVERIFY(station.fixture.writeSettings(records));

    MainForm &form = station.fixture.start();
    QCOMPARE(form.RS232Frame->title(), kDisabled);
    QVERIFY(station.showsLamps(form.GreyLED));
    QVERIFY(form.serialReconnector().isExpecting());
    QTRY_VERIFY_WITH_TIMEOUT(form.serialReconnector().tries() >= 1, kReopenTimeoutMs);
    QCOMPARE(form.RS232Frame->title(), kDisabled);

    Pty &device = station.fixture.device();
    QVERIFY(station.plugIn(device));
    QTRY_COMPARE_WITH_TIMEOUT(form.RS232Frame->title(), kCaption, kReopenTimeoutMs);
    QVERIFY(station.showsLamps(form.GreenLED));
    // The station reads the device it opened.
    QVERIFY(device.write("hello") == 5);
    QTRY_COMPARE_WITH_TIMEOUT(form.RxTextBox->traffic(), QStringLiteral("hello"), kWaitMs);
}

void SerialReconnectTest::deviceAbsentAtExit_keepsItsPortInTheSettings()
{
    AdapterStation station(QStringLiteral("127.0.0.1"));
    QVERIFY(station.isValid());
    SettingsRecords records =
        StationFixture::bridgeRecords(freePort(), QStringLiteral("127.0.0.3"));
    records.serialSettings = QStringLiteral("19200,e,7,1");
    QVERIFY(station.fixture.writeSettings(records));

    station.fixture.start();
    QVERIFY(!station.form().RS232comms->PortOpen());
    station.fixture.unload();

    const SettingsReadResult saved = station.fixture.readSettings();
    QVERIFY(saved.complete);
    QCOMPARE(saved.records.serialPort, 1);
    QCOMPARE(saved.records.serialSettings, QStringLiteral("19200,e,7,1"));
}

void SerialReconnectTest::portClosedByUser_isNotReopened_data()
{
    QTest::addColumn<bool>("presentAtStart");
    QTest::newRow("open port closed") << true;
    QTest::newRow("port waiting for its device closed") << false;
}

void SerialReconnectTest::portClosedByUser_isNotReopened()
{
    QFETCH(bool, presentAtStart);
    AdapterStation station(QStringLiteral("127.0.0.1"));
    // A station whose device stays away keeps trying; its tries tell when the closed port
    // would have had its chances.
    AdapterStation control(QStringLiteral("127.0.0.2"));
    QVERIFY(station.isValid() && control.isValid());
    const SettingsRecords records =
        StationFixture::bridgeRecords(freePort(), QStringLiteral("127.0.0.3"));
    QVERIFY(station.fixture.writeSettings(records));
    QVERIFY(control.fixture.writeSettings(records));
    if (presentAtStart)
        QVERIFY(station.plugIn(station.fixture.device()));

    MainForm &form = station.fixture.start();
    MainForm &controlForm = control.fixture.start();
    QCOMPARE(form.RS232comms->PortOpen(), presentAtStart);
    QVERIFY(closePortInDialog(form));
    QVERIFY(!form.RS232comms->PortOpen());
    QCOMPARE(form.RS232Frame->title(), kDisabled);
    QVERIFY(!form.serialReconnector().isExpecting());

    if (!presentAtStart)
        QVERIFY(station.plugIn(station.fixture.device()));
    const int triesBefore = form.serialReconnector().tries();
    const int controlTries = controlForm.serialReconnector().tries();
    QTRY_VERIFY_WITH_TIMEOUT(controlForm.serialReconnector().tries() >= controlTries + 2,
                             kReopenTimeoutMs + 2000);
    QVERIFY(!form.RS232comms->PortOpen());
    QCOMPARE(form.serialReconnector().tries(), triesBefore);
    QCOMPARE(form.RS232Frame->title(), kDisabled);

    station.fixture.unload();
    QCOMPARE(station.fixture.readSettings().records.serialPort, 0);
}

QTEST_MAIN(SerialReconnectTest)
#include "serialreconnect_test.moc"
