// Whole stations with their windows, bridged over loopback TCP: A on 127.0.0.1 and B on
// 127.0.0.2, on the same port, pseudo-terminals as their devices. The tests play the
// devices and the user.
#include "app/MainForm.h"
#include "monitor/TrafficBox.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/StationFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

namespace
{
constexpr int kPort = 19831;
constexpr int kLinkMs = 15000;
const QString kA = QStringLiteral("127.0.0.1");
const QString kB = QStringLiteral("127.0.0.2");
const QString kCaption = QStringLiteral("Com1:9600,n,8,1");
const QString kDisabled = QStringLiteral("RS232 Disabled");
// Draws that send a listening station back to calling at once, or never.
constexpr double kCallAtOnce = 0.1;
constexpr double kKeepListening = 0.9;

bool prepare(StationFixture &station, const QString &remoteHost, double draw)
{
    station.env().random.queue(draw);
    return station.isValid() &&
           station.writeSettings(StationFixture::bridgeRecords(kPort, remoteHost));
}

// The status and a connected socket: a status stays until a tick or a packet changes it.
bool shows(StationFixture &station, const QString &status)
{
    return station.isStarted() && station.form().netStatus() == status &&
           station.form().Socket1->IsConnected();
}

bool bothConnected(StationFixture &a, StationFixture &b)
{
    return shows(a, QStringLiteral("Connected")) && shows(b, QStringLiteral("Connected"));
}

// B listens first and A calls it: the quickest way to a link.
bool link(StationFixture &a, StationFixture &b)
{
    if (!prepare(a, kB, kCallAtOnce) || !prepare(b, kA, kKeepListening))
        return false;
    b.start();
    if (!QTest::qWaitFor(
            [&] { return b.form().Socket1->state() == SocketControl::State::Listening; }))
        return false;
    a.start();
    return QTest::qWaitFor([&] { return bothConnected(a, b); }, kLinkMs);
}

bool agree(StationFixture &a, const QString &statusA, StationFixture &b, const QString &statusB)
{
    return QTest::qWaitFor([&] { return shows(a, statusA) && shows(b, statusB); });
}

QByteArray pattern(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char((seed = seed * 1103515245u + 12345u) >> 24);
    return bytes;
}

// Writes into one device and reads the other at once until all has come out, so that no
// buffer on the way has to hold the whole burst.
QByteArray carry(Pty &from, Pty &to, const QByteArray &bytes)
{
    QDeadlineTimer deadline(5000);
    qsizetype sent = 0;
    QByteArray received;
    while (received.size() < bytes.size() && !deadline.hasExpired()) {
        if (sent < bytes.size())
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
    for (quint32 seed = 1; idle.elapsed() < 500 && sent.size() < 64 * 1024 * 1024;) {
        const QByteArray piece = pattern(4096, seed++);
        const qint64 taken = device.write(piece);
        if (taken > 0)
            idle.restart();
        sent += piece.left(qMax<qint64>(taken, 0));
        QTest::qWait(taken > 0 ? 0 : 5);
    }
    return sent;
}

void pressInActiveWindow(MainForm &form, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWidget *focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : &form, key, modifiers);
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
    // Started together, both call at once; the draws break the tie.
    QVERIFY(prepare(a, kB, kCallAtOnce) && prepare(b, kA, kKeepListening));
    a.start();
    b.start();
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    MainForm &formA = a.form(), &formB = b.form();
    for (MainForm *form : {&formA, &formB}) {
        QVERIFY(StationFixture::showsPicture(form->NetLED, form->GreenLED));
        QVERIFY(form->LocalLoopMenuItem->isEnabled() && !form->SendTestMenuItem->isEnabled());
    }
    QCOMPARE(formA.DestinationName->text(), kB);
    QCOMPARE(formB.DestinationName->text(), kA);
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
    pressInActiveWindow(formA, Qt::Key_Backspace);
    pressInActiveWindow(formA, Qt::Key_V, Qt::ControlModifier);
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
    QTRY_COMPARE(formA.RS232Frame->title(), kDisabled);
    QVERIFY(StationFixture::showsPicture(formA.RxLED, formA.GreyLED));
    Pty replugged;
    QVERIFY(a.env().mapSerialPort(1, replugged.slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(formA.RS232Frame->title(), kCaption, 3000);
    QVERIFY(StationFixture::showsPicture(formA.TxLED, formA.GreenLED));
    QCOMPARE(carry(replugged, b.device(), every), every);
    QCOMPARE(carry(b.device(), replugged, text), text);
    QVERIFY(bothConnected(a, b) && !b.statusHistory().contains(QStringLiteral("Timed-Out")));
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
    for (const int ackRetries : b.ticks().mid(seen))
        QVERIFY2(ackRetries < 2, qPrintable(QString::number(ackRetries)));

    const QByteArray received = b.device().readUntil(sent.size(), 30000);
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
    QVERIFY(bothConnected(a, b));
}

void StationLinkTest::loopbackModes_mirrorAtTheChosenEnd()
{
    StationFixture a(kA), b(kB);
    QVERIFY(link(a, b));
    MainForm &formA = a.form(), &formB = b.form();

    formA.LocalLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Local Loopback"), b, QStringLiteral("Remote Loopback")));
    QVERIFY(formA.LocalLoopMenuItem->isChecked() && !formA.SendTestMenuItem->isEnabled());
    QVERIFY(formB.RemoteLoopMenuItem->isChecked() && formB.SendTestMenuItem->isEnabled());
    QVERIFY(StationFixture::showsPicture(formA.NetLED, formA.YellowLED));
    QCOMPARE(carry(b.device(), b.device(), "mirrored by A"), QByteArray("mirrored by A"));
    // A device that does not read its echo is held back, not echoed into an overflow.
    const QByteArray echoed = floodUntilHeldBack(a.device());
    QCOMPARE(a.device().readUntil(echoed.size(), 30000), echoed);
    // What the port cannot queue at all is told in the history.
    const QByteArray full(SerialControl::kWriteBufferBound, 'x');
    for (int time = 0; time < 3; ++time)
        formA.RS232comms->Output(full);
    QCOMPARE(a.device().readUntil(full.size()), full);
    QTRY_VERIFY(a.statusHistory().contains(
        QStringLiteral("Serial output overflow: %1 bytes dropped").arg(2 * full.size())));

    // Remote loopback at A in local loopback: the roles swap.
    formA.RemoteLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Remote Loopback"), b, QStringLiteral("Local Loopback")));
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
    QVERIFY(agree(a, QStringLiteral("Connected"), b, QStringLiteral("Connected")));
    QCOMPARE(carry(a.device(), b.device(), "first at B"), QByteArray("first at B"));
    QCOMPARE(carry(b.device(), a.device(), "first at A"), QByteArray("first at A"));
}

// The shortcuts do what the File menu would offer at that moment.
void StationLinkTest::ctrlDAndCtrlR_followTheLinkAsItIsNow()
{
    StationFixture a(kA), b(kB);
    QVERIFY(prepare(a, kB, kCallAtOnce) && prepare(b, kA, kKeepListening));
    MainForm &form = b.start();
    QTRY_COMPARE(form.Socket1->state(), SocketControl::State::Listening);
    pressInActiveWindow(form, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(form.AutoReconnect);

    a.start();
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    pressInActiveWindow(form, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!form.AutoReconnect);
    a.env().random.queue(kKeepListening);
    QTRY_COMPARE(a.form().Socket1->state(), SocketControl::State::Listening);
    pressInActiveWindow(form, Qt::Key_R, Qt::ControlModifier);
    QVERIFY(form.AutoReconnect);
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    QCOMPARE(carry(b.device(), a.device(), "reconnected"), QByteArray("reconnected"));
}

QTEST_MAIN(StationLinkTest)
#include "station_link_test.moc"
