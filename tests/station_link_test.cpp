// Whole stations with their windows, bridged over loopback TCP: A on 127.0.0.1 and B on
// 127.0.0.2, on the same port, pseudo-terminals as their devices. The tests play the
// devices and the user.
#include "app/MainForm.h"
#include "monitor/StatusLogForm.h"
#include "monitor/TrafficBox.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/StationFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

#include <algorithm>

namespace
{
const QString kA = QStringLiteral("127.0.0.1"), kB = QStringLiteral("127.0.0.2");
constexpr int kLinkMs = 15000;

// 0.1 sends a listening station back to calling at once, 0.9 never.
void prepare(StationFixture &station, const QString &remoteHost, double draw)
{
    station.env().random.queue(draw);
    QVERIFY(station.writeSettings(StationFixture::bridgeRecords(19831, remoteHost)));
}

// A status stays until a tick or a packet changes it: the socket tells whether it is true.
bool shows(StationFixture &station, const char *status)
{
    return station.isStarted() && station.form().netStatus() == QLatin1String(status) &&
           station.form().Socket1->IsConnected();
}

bool linked(StationFixture &a, StationFixture &b, const char *statusA = "Connected",
            const char *statusB = "Connected")
{
    return QTest::qWaitFor([&] { return shows(a, statusA) && shows(b, statusB); }, kLinkMs);
}

// B listens first and A calls it: the quickest way to a link.
bool link(StationFixture &a, StationFixture &b)
{
    prepare(a, kB, 0.1);
    prepare(b, kA, 0.9);
    b.start();
    return QTest::qWaitFor(
               [&] { return b.form().Socket1->state() == SocketControl::State::Listening; }) &&
           (a.start(), linked(a, b));
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
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &form, key,
                    modifiers);
}

bool inHistory(MainForm &form, const QString &status)
{
    return form.statusLogForm()->history().contains(QStringLiteral("  ") + status);
}
} // namespace

class StationLinkTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bytes_crossBothWaysUnchanged_evenAcrossADeviceUnplug();
    void unreadDevice_holdsSenderBackWithoutLossOrTimeOut();
    void loopbackModes_mirrorAtTheChosenEnd();
    void ctrlDAndCtrlR_followTheLinkAsItIsNow();
};

void StationLinkTest::bytes_crossBothWaysUnchanged_evenAcrossADeviceUnplug()
{
    StationFixture a(kA), b(kB);
    QVERIFY(a.isValid() && b.isValid());
    // Started together, both call at once; the draws break the tie.
    prepare(a, kB, 0.1);
    prepare(b, kA, 0.9);
    MainForm &formA = a.start(), &formB = b.start();
    QVERIFY(linked(a, b));
    for (MainForm *form : {&formA, &formB}) {
        QVERIFY(StationFixture::showsPicture(form->NetLED, form->GreenLED));
        QVERIFY(form->LocalLoopMenuItem->isEnabled() && !form->SendTestMenuItem->isEnabled());
    }
    QVERIFY(formA.DestinationName->text() == kB && formB.DestinationName->text() == kA);
    // A shows its traffic and logs what its device sent; B logs what it wrote to its device.
    formA.RxLogFile = a.env().filePath(QStringLiteral("rx.log"));
    formB.TxLogFile = b.env().filePath(QStringLiteral("tx.log"));
    formA.ViewMenuItem->trigger();
    const QByteArray text("line one, line two");
    QByteArray every;
    for (int value = 0; value < 4096; ++value)
        every.append(char(value));

    QCOMPARE(carry(a.device(), b.device(), text), text);
    // What the view shows, the user cannot change.
    QTRY_COMPARE(formA.RxTextBox->toPlainText(), QString::fromLatin1(text));
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    formA.RxTextBox->setFocus();
    press(formA, Qt::Key_Backspace);
    press(formA, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(formA.RxTextBox->toPlainText(), QString::fromLatin1(text));
    QCOMPARE(carry(a.device(), b.device(), every), every);
    QCOMPARE(carry(b.device(), a.device(), every), every);
    QVERIFY(a.device().writeAll(every) && b.device().writeAll(text));
    QCOMPARE(b.device().readUntil(every.size()), every);
    QCOMPARE(a.device().readUntil(text.size()), text);
    const auto logged = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_COMPARE(logged(formA.RxLogFile), text + every + every);
    QTRY_COMPARE(logged(formB.TxLogFile), text + every + every);
    QVERIFY(formB.RxTextBox->traffic().isEmpty() && formB.RxLogBuffer.isEmpty());

    // A's adapter is pulled and plugged in again as a new terminal; B notices nothing.
    a.device().closeMaster();
    QTRY_COMPARE(formA.RS232Frame->title(), QStringLiteral("RS232 Disabled"));
    QVERIFY(StationFixture::showsPicture(formA.RxLED, formA.GreyLED));
    Pty replugged;
    QVERIFY(a.env().mapSerialPort(1, replugged.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(formA.RS232Frame->title(), QStringLiteral("Com1:9600,n,8,1"), 3000);
    QVERIFY(StationFixture::showsPicture(formA.TxLED, formA.GreenLED));
    QCOMPARE(carry(replugged, b.device(), every), every);
    QCOMPARE(carry(b.device(), replugged, text), text);
    QVERIFY(shows(b, "Connected") && !inHistory(formB, QStringLiteral("Timed-Out")));
}

void StationLinkTest::unreadDevice_holdsSenderBackWithoutLossOrTimeOut()
{
    StationFixture a(kA), b(kB);
    QVERIFY(link(a, b));
    // Nobody reads B's device: the whole way fills up to A's device, which is held back
    // rather than B dropping what it cannot write.
    const QByteArray sent = floodUntilHeldBack(a.device());
    // B hears nothing behind the held-back bytes, yet knows A is alive: its counter does
    // not climb towards the give-up tick.
    const qsizetype seen = b.ticks().size();
    QTRY_VERIFY_WITH_TIMEOUT(b.ticks().size() >= seen + 2, 5000);
    QVERIFY(*std::max_element(b.ticks().begin() + seen, b.ticks().end()) < 2);
    const QByteArray received = b.device().readUntil(sent.size(), 30000);
    QVERIFY2(received == sent, qPrintable(QString::number(received.size() - sent.size())));
    QVERIFY(linked(a, b));
}

void StationLinkTest::loopbackModes_mirrorAtTheChosenEnd()
{
    StationFixture a(kA), b(kB);
    QVERIFY(link(a, b));
    MainForm &formA = a.form(), &formB = b.form();

    formA.LocalLoopMenuItem->trigger();
    QVERIFY(linked(a, b, "Local Loopback", "Remote Loopback"));
    QVERIFY(formA.LocalLoopMenuItem->isChecked() && !formA.SendTestMenuItem->isEnabled());
    QVERIFY(formB.RemoteLoopMenuItem->isChecked() && formB.SendTestMenuItem->isEnabled());
    QVERIFY(StationFixture::showsPicture(formA.NetLED, formA.YellowLED));
    QCOMPARE(carry(b.device(), b.device(), "mirrored by A"), QByteArray("mirrored by A"));
    // A device that does not read its echo is held back, not echoed into an overflow.
    const QByteArray echoed = floodUntilHeldBack(a.device());
    QVERIFY(a.device().readUntil(echoed.size(), 30000) == echoed);
    // What the port cannot queue at all is told in the history.
    const QByteArray full(SerialControl::kWriteBufferBound, 'x');
    for (int time = 0; time < 3; ++time)
        formA.RS232comms->Output(full);
    QVERIFY(a.device().readUntil(full.size()) == full);
    QTRY_VERIFY(inHistory(formA, QStringLiteral("Serial output overflow: 2097152 bytes dropped")));

    // Remote loopback at A in local loopback: the roles swap.
    formA.RemoteLoopMenuItem->trigger();
    QVERIFY(linked(a, b, "Remote Loopback", "Local Loopback"));
    QVERIFY(!formA.LocalLoopMenuItem->isChecked() && formB.LocalLoopMenuItem->isChecked());
    // The draw chooses the text: above one half the first one.
    a.env().random.next(); // the draw still queued for A's connection cycle
    a.env().random.queue(0.9);
    a.env().random.queue(0.2);
    formA.SendTestMenuItem->trigger();
    formA.SendTestMenuItem->trigger();
    const QByteArray tests("This is a TETHRA test message\r\nAnother test message for TETHRA\r\n");
    QCOMPARE(a.device().readUntil(tests.size()), tests);
    QCOMPARE(carry(a.device(), a.device(), "there and back"), QByteArray("there and back"));

    // Chosen again, both ends go back to normal; only now do bytes cross.
    formA.RemoteLoopMenuItem->trigger();
    QVERIFY(linked(a, b));
    QCOMPARE(carry(a.device(), b.device(), "first at B"), QByteArray("first at B"));
    QCOMPARE(carry(b.device(), a.device(), "first at A"), QByteArray("first at A"));
}

// The shortcuts do what the File menu would offer at that moment.
void StationLinkTest::ctrlDAndCtrlR_followTheLinkAsItIsNow()
{
    StationFixture a(kA), b(kB);
    prepare(a, kB, 0.1);
    prepare(b, kA, 0.9);
    MainForm &form = b.start();
    QTRY_COMPARE(form.Socket1->state(), SocketControl::State::Listening);
    press(form, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(form.AutoReconnect);
    a.start();
    QVERIFY(linked(a, b));
    press(form, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!form.AutoReconnect);
    a.env().random.queue(0.9);
    QTRY_COMPARE(a.form().Socket1->state(), SocketControl::State::Listening);
    press(form, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(form.AutoReconnect && linked(a, b));
    QCOMPARE(carry(b.device(), a.device(), "reconnected"), QByteArray("reconnected"));
}

QTEST_MAIN(StationLinkTest)
#include "station_link_test.moc"
