// Whole stations with their windows, bridged over loopback TCP: A on 127.0.0.1 and B on
// 127.0.0.2, on the same port, pseudo-terminals as their devices. The tests play the
// devices and the user.
#include "app/SettingsRecords.h"
#include "monitor/StatusLogForm.h"
#include "monitor/TrafficBox.h"
#include "platform/RandomSource.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/DialogTestSupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace
{
const QString kA = QStringLiteral("127.0.0.1"), kB = QStringLiteral("127.0.0.2");

// A station on a temporary folder with TETHRA.SAV written before the start, Com1 a
// pseudo-terminal the test plays, TestEnvironment's fakes. Its first draw: 0.1 sends a
// listening station back to calling at once, 0.9 never. It records the counter each
// NetworkTimer tick leaves.
struct Station {
    TestEnvironment env;
    Pty device;
    bool valid = false;
    QList<int> ticks;
    std::unique_ptr<MainForm> form;

    Station(const QString &bind, const QString &remoteHost, double draw) : env(bind)
    {
        SettingsRecords records;
        records.portNumber = 19831;
        records.remoteHost = remoteHost;
        records.serialPort = 1;
        records.serialSettings = QStringLiteral("9600,n,8,1");
        SystemRandom random; // filler letters: the queued draws stay for the station
        const QByteArray bytes = encode(records, random);
        QSaveFile file(env.filePath(QLatin1String(SettingsRecords::kFileName)));
        valid = env.isValid() && device.isOpen() && env.mapSerialPort(1, device.slavePath()) &&
                file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                file.commit();
        env.random.queue(draw);
    }
    MainForm &start()
    {
        form = std::make_unique<MainForm>(env.environment());
        // Connected after the form's own handler: sees what the tick left.
        QObject::connect(form->NetworkTimer, &QTimer::timeout, form.get(),
                         [this] { ticks.append(form->Ack_Retries); });
        form->Form_Load();
        return *form;
    }
    // A status stays until a tick or a packet changes it: the socket tells whether it is true.
    bool shows(const char *status) const
    {
        return form && form->netStatus() == QLatin1String(status) && form->Socket1->IsConnected();
    }
    bool listening() const
    {
        return QTest::qWaitFor(
            [this] { return form->Socket1->state() == SocketControl::State::Listening; });
    }
};

struct Pair {
    Station a{kA, kB, 0.1}, b{kB, kA, 0.9};
    bool linked(const char *statusA = "Connected", const char *statusB = "Connected")
    {
        return QTest::qWaitFor([&] { return a.shows(statusA) && b.shows(statusB); }, 15000);
    }
    // B listens first and A calls it: the quickest way to a link.
    bool link()
    {
        return a.valid && b.valid && (b.start(), b.listening()) && (a.start(), linked());
    }
};

bool lit(const QLabel *lamp, const QPixmap &picture)
{
    return !picture.isNull() && lamp->pixmap().toImage() == picture.toImage();
}

// Writes into one device and reads the other at once until all has come out, so that no
// buffer on the way has to hold the whole burst.
QByteArray carry(Pty &from, Pty &to, const QByteArray &bytes)
{
    QDeadlineTimer deadline(5000);
    qsizetype sent = 0;
    QByteArray received;
    while (received.size() < bytes.size() && !deadline.hasExpired()) {
        sent += qMax<qint64>(0, from.write(bytes.mid(sent, 4096)));
        received += to.read();
        QTest::qWait(1);
    }
    return received;
}

bool bothWays(Pty &one, Pty &other, const QByteArray &bytes)
{
    return carry(one, other, bytes) == bytes && carry(other, one, bytes) == bytes;
}

// Writes into a device nobody reads until the station takes no byte for half a second.
QByteArray floodUntilHeldBack(Pty &device)
{
    QByteArray sent;
    QElapsedTimer idle;
    idle.start();
    for (int round = 0; idle.elapsed() < 500 && sent.size() < (64 << 20); ++round) {
        const QByteArray piece = QByteArray::number(round).repeated(4096).left(4096);
        const qint64 taken = device.write(piece);
        if (taken > 0)
            idle.restart();
        sent += piece.left(qMax<qint64>(taken, 0));
        QTest::qWait(taken > 0 ? 0 : 5);
    }
    return sent;
}

void press(MainForm &form, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    keyClickFocused(form, key, modifiers);
}
} // namespace

class StationLinkTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytes_crossBothWaysUnchanged_evenAcrossADeviceUnplug()
    {
        Pair p;
        QVERIFY(p.a.valid && p.b.valid);
        // Started together, both call at once; the draws break the tie.
        MainForm &formA = p.a.start(), &formB = p.b.start();
        QVERIFY(p.linked());
        for (MainForm *form : {&formA, &formB})
            QVERIFY(lit(form->NetLED, form->GreenLED) && form->LocalLoopMenuItem->isEnabled() &&
                    !form->SendTestMenuItem->isEnabled());
        QVERIFY(formA.DestinationName->text() == kB && formB.DestinationName->text() == kA);
        // A shows its traffic and logs what its device sent; B logs what it wrote to its device.
        formA.RxLogFile = p.a.env.filePath(QStringLiteral("rx.log"));
        formB.TxLogFile = p.b.env.filePath(QStringLiteral("tx.log"));
        formA.ViewMenuItem->trigger();
        const QByteArray text("line one, line two");
        QByteArray every;
        for (int value = 0; value < 4096; ++value)
            every.append(char(value));

        QCOMPARE(carry(p.a.device, p.b.device, text), text);
        QTRY_COMPARE(formA.RxTextBox->toPlainText(), QString::fromLatin1(text));
        QVERIFY(bothWays(p.a.device, p.b.device, every));
        QVERIFY(p.a.device.writeAll(every) && p.b.device.writeAll(text));
        QCOMPARE(p.b.device.readUntil(every.size()), every);
        QCOMPARE(p.a.device.readUntil(text.size()), text);
        QTRY_COMPARE(contentOf(formA.RxLogFile), text + every + every);
        QTRY_COMPARE(contentOf(formB.TxLogFile), text + every + every);
        QVERIFY(formB.RxTextBox->traffic().isEmpty() && formB.RxLogBuffer.isEmpty());

        // A's adapter is pulled and plugged in again as a new terminal; B notices nothing.
        p.a.device.closeMaster();
        QTRY_COMPARE(formA.RS232Frame->title(), QStringLiteral("RS232 Disabled"));
        QVERIFY(lit(formA.RxLED, formA.GreyLED));
        Pty replugged;
        QVERIFY(p.a.env.mapSerialPort(1, replugged.slavePath()));
        QTRY_COMPARE_WITH_TIMEOUT(formA.RS232Frame->title(), QStringLiteral("Com1:9600,n,8,1"),
                                  3000);
        QVERIFY(lit(formA.TxLED, formA.GreenLED));
        QVERIFY(bothWays(replugged, p.b.device, every));
        QVERIFY(p.b.shows("Connected") &&
                !formB.statusLogForm()->history().contains(QStringLiteral("Timed-Out")));
    }
    void unreadDevice_holdsSenderBackWithoutLossOrTimeOut()
    {
        Pair p;
        QVERIFY(p.link());
        // Nobody reads B's device: the whole way fills up to A's device, which is held back
        // rather than B dropping what it cannot write.
        const QByteArray sent = floodUntilHeldBack(p.a.device);
        // B hears nothing behind the held-back bytes, yet knows A is alive: its counter does
        // not climb towards the give-up tick.
        const qsizetype seen = p.b.ticks.size();
        QTRY_VERIFY_WITH_TIMEOUT(p.b.ticks.size() >= seen + 2, 5000);
        QVERIFY(*std::max_element(p.b.ticks.begin() + seen, p.b.ticks.end()) < 2);
        const QByteArray received = p.b.device.readUntil(sent.size(), 30000);
        QVERIFY2(received == sent, qPrintable(QString::number(received.size() - sent.size())));
        QVERIFY(p.linked());
    }
    // The shortcuts do what the File menu would offer at that moment.
    void loopbackAndShortcuts_followTheLinkAsItIsNow()
    {
        Pair p;
        MainForm &formB = p.b.start();
        QVERIFY(p.a.valid && p.b.valid && p.b.listening());
        press(formB, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(formB.AutoReconnect);
        MainForm &formA = p.a.start();
        Pty &deviceA = p.a.device, &deviceB = p.b.device;
        QVERIFY(p.linked());
        press(formB, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!formB.AutoReconnect);
        p.a.env.random.queue(0.9);
        QVERIFY(p.a.listening());
        press(formB, Qt::Key_R, Qt::ControlModifier);
        QVERIFY(formB.AutoReconnect && p.linked());

        formA.LocalLoopMenuItem->trigger();
        QVERIFY(p.linked("Local Loopback", "Remote Loopback"));
        QVERIFY(formA.LocalLoopMenuItem->isChecked() && !formA.SendTestMenuItem->isEnabled());
        QVERIFY(formB.RemoteLoopMenuItem->isChecked() && formB.SendTestMenuItem->isEnabled());
        QVERIFY(lit(formA.NetLED, formA.YellowLED));
        QCOMPARE(carry(deviceB, deviceB, "mirrored by A"), QByteArray("mirrored by A"));
        // A device that does not read its echo is held back, not echoed into an overflow.
        const QByteArray echoed = floodUntilHeldBack(deviceA);
        QVERIFY(deviceA.readUntil(echoed.size(), 30000) == echoed);
        // What the port cannot queue at all is told in the history.
        const QByteArray full(SerialControl::kWriteBufferBound, 'x');
        for (int time = 0; time < 3; ++time)
            formA.RS232comms->Output(full);
        QVERIFY(deviceA.readUntil(full.size()) == full);
        QTRY_VERIFY(formA.statusLogForm()->history().contains(
            QStringLiteral("  Serial output overflow: 2097152 bytes dropped")));

        // Remote loopback at A in local loopback: the roles swap.
        formA.RemoteLoopMenuItem->trigger();
        QVERIFY(p.linked("Remote Loopback", "Local Loopback"));
        QVERIFY(!formA.LocalLoopMenuItem->isChecked() && formB.LocalLoopMenuItem->isChecked());
        p.a.env.random.next(); // the draw still queued for A's connection cycle
        p.a.env.random.queue(0.9);
        formA.SendTestMenuItem->trigger();
        QCOMPARE(deviceA.readUntil(30), QByteArray("This is a TETHRA test message\r\n"));
        QCOMPARE(carry(deviceA, deviceA, "there and back"), QByteArray("there and back"));

        // Chosen again, both ends go back to normal; only now do bytes cross.
        formA.RemoteLoopMenuItem->trigger();
        QVERIFY(p.linked());
        QVERIFY(bothWays(deviceA, deviceB, "crossing"));
    }
};

QTEST_MAIN(StationLinkTest)
#include "station_link_test.moc"
