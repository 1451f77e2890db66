// Whole stations with their windows, bridged over loopback TCP: A on 127.0.0.1 and B on
// 127.0.0.2, on the same port, pseudo-terminals as their devices. The tests play the
// devices and the user.
#include "app/MainForm.h"
#include "dialogs/DropDownCombo.h"
#include "dialogs/RS232SetupForm.h"
#include "monitor/TrafficBox.h"
#include "monitor/TrafficMonitor.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "serial/SerialForwarder.h"
#include "serial/SerialReconnector.h"
#include "support/StationFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace
{
constexpr int kPort = 19831;
constexpr int kLinkMs = 15000;
const QString kA = QStringLiteral("127.0.0.1");
const QString kB = QStringLiteral("127.0.0.2");
const QString kCaption = QStringLiteral("Com1:9600,n,8,1");
const QString kCaptionOf19200 = QStringLiteral("Com1:19200,e,7,1");
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

// Writes into a device nobody reads until the station takes no byte for a second.
QByteArray floodUntilHeldBack(Pty &device)
{
    QByteArray sent;
    QElapsedTimer idle;
    idle.start();
    for (quint32 seed = 1; idle.elapsed() < 1000 && sent.size() < 64 * 1024 * 1024;) {
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
    void trafficBox_userChangesNothing_data();
    void trafficBox_userChangesNothing();
    void serialPort_reopenedUnlessTheUserClosedIt();
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

    const QByteArray text("line one\r\nline two"), every = pattern(4096, 7);
    QCOMPARE(carry(a.device(), b.device(), text), text);
    QTRY_COMPARE(formA.RxTextBox->traffic(), QString::fromLatin1(text));
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
    for (const StationFixture::Tick &tick : b.ticks().mid(seen))
        QVERIFY2(tick.ackRetries < 2, qPrintable(QString::number(tick.ackRetries)));

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

void StationLinkTest::trafficBox_userChangesNothing_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("letter") << int(Qt::Key_A) << 0;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0;
    QTest::newRow("delete") << int(Qt::Key_Delete) << 0;
    QTest::newRow("return") << int(Qt::Key_Return) << 0;
    QTest::newRow("paste") << int(Qt::Key_V) << int(Qt::ControlModifier);
    QTest::newRow("cut") << int(Qt::Key_X) << int(Qt::ControlModifier);
    QTest::newRow("mouse drag") << 0 << 0;
}

// The traffic view opens and closes with the window's size; what it shows, the user can
// select but not change, and a drag drops the selection.
void StationLinkTest::trafficBox_userChangesNothing()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    StationFixture station;
    QVERIFY(station.isValid() && station.writeSettings(StationFixture::bridgeRecords(
                                     kPort, QStringLiteral("127.0.0.9"))));
    MainForm &form = station.start();
    form.RS232timer->stop();
    const int collapsed = form.height();
    form.RxLogFile = station.env().filePath(QStringLiteral("rx.log"));
    form.ViewMenuItem->trigger();
    QVERIFY(form.height() > collapsed &&
            form.TxTextBox->geometry().bottom() < form.centralWidget()->height());
    QVERIFY(station.device().writeAll("traffic"));
    QTRY_COMPARE(form.RxTextBox->traffic(), QStringLiteral("traffic"));
    // The log is appended on the tick; the Log Traffic button is lit from the next one.
    form.trafficMonitor().RS232timer_Timer();
    form.trafficMonitor().RS232timer_Timer();
    QCOMPARE(form.TrafficLogButton->palette().color(QPalette::Button), QColor(Qt::yellow));

    TrafficBox *box = form.RxTextBox;
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    box->setFocus();
    box->selectAll();
    if (key) {
        pressInActiveWindow(form, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    } else {
        QWidget *viewport = box->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(2, 2));
        QMouseEvent drag(QEvent::MouseMove, QPointF(40, 2), viewport->mapToGlobal(QPointF(40, 2)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drag);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(40, 2));
        QVERIFY(!box->textCursor().hasSelection());
    }
    form.trafficMonitor().RS232timer_Timer();
    QCOMPARE(box->traffic(), QStringLiteral("traffic"));
    QCOMPARE(box->toPlainText(), QStringLiteral("traffic"));

    // Closed, the window is as small as before; opened again, the boxes start empty.
    form.ViewMenuItem->trigger();
    QCOMPARE(form.height(), collapsed);
    form.ViewMenuItem->trigger();
    QVERIFY(form.RxTextBox->traffic().isEmpty() && form.RxTextBox->toPlainText().isEmpty());
}

void StationLinkTest::serialPort_reopenedUnlessTheUserClosedIt()
{
    // absent: its device comes later; closed, closedWaiting: the user closes the port (open,
    // and waiting for its device); control: its device never comes.
    StationFixture absent(kA), closed(kB), closedWaiting(QStringLiteral("127.0.0.3")),
        control(QStringLiteral("127.0.0.4"));
    for (StationFixture *station : {&absent, &closed, &closedWaiting, &control}) {
        SettingsRecords records = StationFixture::bridgeRecords(kPort, QStringLiteral("127.0.0.9"));
        records.serialSettings = QStringLiteral("19200,e,7,1");
        QVERIFY(station->writeSettings(records));
        if (station != &closed)
            QVERIFY(
                station->env().mapSerialPort(1, station->env().filePath(QStringLiteral("gone"))));
        station->start();
        QCOMPARE(station->form().RS232comms->PortOpen(), station == &closed);
    }
    for (StationFixture *station : {&closed, &closedWaiting}) {
        // "None" and OK in the RS-232 dialog.
        QTimer::singleShot(0, [] {
            auto *dialog = qobject_cast<RS232SetupForm *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->CommPortCombo->setEditText(QStringLiteral("None"));
            dialog->OKbutton->click();
        });
        station->form().RS232MenuItem->trigger();
        QCOMPARE(station->form().RS232Frame->title(), kDisabled);
    }
    for (StationFixture *station : {&absent, &closedWaiting})
        QVERIFY(station->env().mapSerialPort(1, station->device().slavePath()));
    QTRY_COMPARE_WITH_TIMEOUT(absent.form().RS232Frame->title(), kCaptionOf19200, 3000);
    QVERIFY(StationFixture::showsPicture(absent.form().RxLED, absent.form().GreenLED));
    const int tries = control.form().serialReconnector().tries();
    QTRY_VERIFY_WITH_TIMEOUT(control.form().serialReconnector().tries() >= tries + 2, 4000);
    QVERIFY(!closed.form().RS232comms->PortOpen() && !closedWaiting.form().RS232comms->PortOpen());

    // Saved on exit: the port the station still waits for, not the one the user closed.
    for (StationFixture *station : {&closed, &closedWaiting, &control})
        station->unload();
    QCOMPARE(closed.readSettings().records.serialPort, 0);
    QCOMPARE(closedWaiting.readSettings().records.serialPort, 0);
    QCOMPARE(control.readSettings().records.serialPort, 1);
    QCOMPARE(control.readSettings().records.serialSettings, QStringLiteral("19200,e,7,1"));
}

QTEST_MAIN(StationLinkTest)
#include "station_link_test.moc"
