// Two whole stations in one process, bridged over real loopback TCP: station A on
// 127.0.0.1 and station B on 127.0.0.2, both on the same port, each the other's remote
// host, each with a pseudo-terminal as Com1. The tests play both serial devices.
#include "app/MainForm.h"
#include "monitor/TrafficBox.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/DialogTestSupport.h"
#include "support/StationFixture.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace
{

constexpr int kPort = 19831;
constexpr int kWaitMs = 5000;
constexpr int kLinkMs = 15000;
const QString kAddressA = QStringLiteral("127.0.0.1");
const QString kAddressB = QStringLiteral("127.0.0.2");

// Draws that send a listening station back to calling at once, or never.
constexpr double kCallAtOnce = 0.1;
constexpr double kKeepListening = 0.9;

bool prepare(StationFixture &station, const QString &remoteHost, double draw,
             bool serverOnly = false)
{
    SettingsRecords records = StationFixture::bridgeRecords(kPort, remoteHost);
    records.runInServerMode = serverOnly;
    station.env().random.queue(draw);
    return station.isValid() && station.writeSettings(records);
}

bool shows(StationFixture &station, const QString &status)
{
    return station.isStarted() && station.form().netStatus() == status;
}

bool bothConnected(StationFixture &a, StationFixture &b)
{
    return shows(a, QStringLiteral("Connected")) && shows(b, QStringLiteral("Connected"));
}

// Writes into one device and reads the other at the same time until as many bytes have
// come out as went in, so that no buffer on the way has to hold the whole burst.
QByteArray carry(Pty &from, Pty &to, const QByteArray &bytes, int timeoutMs = kWaitMs)
{
    constexpr qsizetype kPiece = 4096;
    QDeadlineTimer deadline(timeoutMs);
    qsizetype sent = 0;
    QByteArray received;
    while (received.size() < bytes.size() && !deadline.hasExpired()) {
        if (sent < bytes.size()) {
            const qint64 taken = from.write(bytes.mid(sent, kPiece));
            if (taken < 0)
                break;
            sent += taken;
        }
        received += to.read();
        QTest::qWait(1);
    }
    return received;
}

// Writes into a device that nobody reads until the station holds it back (it takes no byte
// for a second), or until it has taken far more than any queue on the way may hold.
QByteArray floodUntilHeldBack(Pty &device)
{
    constexpr qsizetype kMoreThanAnyQueue = 8 * 1024 * 1024;
    QByteArray sent;
    QByteArray pending;
    quint32 state = 777;
    QElapsedTimer idle;
    idle.start();
    QElapsedTimer overall;
    overall.start();
    while (idle.elapsed() < 1000 && overall.elapsed() < 30000 && sent.size() < kMoreThanAnyQueue) {
        if (pending.isEmpty()) {
            pending.resize(4096);
            for (char &byte : pending) {
                state = state * 1103515245u + 12345u;
                byte = char(state >> 24);
            }
        }
        const qint64 taken = device.write(pending);
        if (taken < 0)
            break;
        sent += pending.left(taken);
        pending.remove(0, taken);
        if (taken > 0)
            idle.restart();
        QTest::qWait(taken > 0 ? 0 : 5);
    }
    return sent;
}

QString describe(const QList<StationFixture::Tick> &ticks)
{
    QStringList lines;
    for (const StationFixture::Tick &tick : ticks)
        lines.append(
            QStringLiteral("%1 ms: %2 %3").arg(tick.atMs).arg(tick.ackRetries).arg(tick.status));
    return lines.join(QStringLiteral("; "));
}

QByteArray everyByteValue()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

} // namespace

class StationLinkTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void coldStart_bothEndsConnect_data();
    void coldStart_bothEndsConnect();
    void bytes_everyValueCrossesBothWaysUnchanged();
    void longBurst_arrivesWholeAndInOrder();
    void unreadReceivingDevice_holdsSenderBackWithoutLossOrTimeOut();
    void trafficViewAndLogs_showWhatEachDeviceSentAndGot();
    void silentPeer_timedOutFourToFiveSecondsAfterLastPacket_thenReconnects();
    void peerClosing_notConnected_thenNewStationConnects_data();
    void peerClosing_notConnected_thenNewStationConnects();
    void serverOnlyMode_neverCalls();
    void disconnect_suspendsUntilReconnect();
    void ctrlDAndCtrlR_followTheLinkAsItIsNow();
    void remoteLoopback_peerMirrorsTestMessagesAndData();
    void localLoopback_echoesSerialInputAndMirrorsPeer();
    void localLoopbackInRemoteLoopback_swapsRoles();

private:
    // B listens first and A calls it: the quickest way to a link.
    bool link(StationFixture &a, StationFixture &b, const QString &remoteOfB = kAddressA);
    // Both ends show status after a loopback command at one of them.
    bool agree(StationFixture &a, const QString &statusA, StationFixture &b,
               const QString &statusB);
};

bool StationLinkTest::link(StationFixture &a, StationFixture &b, const QString &remoteOfB)
{
    if (!prepare(a, kAddressB, kCallAtOnce) || !prepare(b, remoteOfB, kKeepListening))
        return false;
    b.start();
    if (!QTest::qWaitFor(
            [&] { return b.form().Socket1->state() == SocketControl::State::Listening; }, kWaitMs))
        return false;
    a.start();
    return QTest::qWaitFor([&] { return bothConnected(a, b); }, kLinkMs);
}

bool StationLinkTest::agree(StationFixture &a, const QString &statusA, StationFixture &b,
                            const QString &statusB)
{
    return QTest::qWaitFor([&] { return shows(a, statusA) && shows(b, statusB); }, kWaitMs);
}

void StationLinkTest::coldStart_bothEndsConnect_data()
{
    QTest::addColumn<QString>("order");
    QTest::newRow("A first") << "A";
    QTest::newRow("B first") << "B";
    QTest::newRow("together") << "";
}

void StationLinkTest::coldStart_bothEndsConnect()
{
    QFETCH(QString, order);

    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    // Both call at the first ticks and find nobody; then A leaves listening at its first
    // draw while B stays, which breaks the tie.
    QVERIFY(prepare(a, kAddressB, kCallAtOnce));
    QVERIFY(prepare(b, kAddressA, kKeepListening));
    StationFixture &first = order == QLatin1String("B") ? b : a;
    StationFixture &second = &first == &a ? b : a;
    first.start();
    if (!order.isEmpty()) {
        // The first one has called in vain and is listening.
        QTRY_VERIFY_WITH_TIMEOUT(first.countInHistory(QStringLiteral("Not Connected")) > 0,
                                 kWaitMs);
    }
    second.start();

    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    for (StationFixture *station : {&a, &b}) {
        MainForm &form = station->form();
        QVERIFY(form.Socket1->IsConnected());
        QVERIFY(StationFixture::showsPicture(form.NetLED, form.GreenLED));
        QVERIFY(form.LocalLoopMenuItem->isEnabled());
        QVERIFY(form.RemoteLoopMenuItem->isEnabled());
        QVERIFY(!form.LocalLoopMenuItem->isChecked());
        QVERIFY(!form.RemoteLoopMenuItem->isChecked());
        QVERIFY(!form.SendTestMenuItem->isEnabled());
        const QStringList history = station->statusHistory();
        QVERIFY2(history.contains(QStringLiteral("CONNECTING")) ||
                     history.contains(QStringLiteral("ACCEPTING")),
                 qPrintable(history.join(QStringLiteral(" | "))));
    }
    QCOMPARE(a.form().DestinationName->text(), kAddressB);
    QCOMPARE(b.form().DestinationName->text(), kAddressA);
}

void StationLinkTest::bytes_everyValueCrossesBothWaysUnchanged()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    const QByteArray bytes = everyByteValue();
    QByteArray reversed = bytes;
    std::reverse(reversed.begin(), reversed.end());

    QCOMPARE(carry(a.device(), b.device(), bytes), bytes);
    QCOMPARE(carry(b.device(), a.device(), reversed), reversed);

    // Both ways at once.
    QVERIFY(a.device().writeAll(bytes));
    QVERIFY(b.device().writeAll(reversed));
    QCOMPARE(b.device().readUntil(bytes.size(), kWaitMs), bytes);
    QCOMPARE(a.device().readUntil(reversed.size(), kWaitMs), reversed);
}

void StationLinkTest::longBurst_arrivesWholeAndInOrder()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    QByteArray burst(1024 * 1024, Qt::Uninitialized);
    quint32 state = 12345;
    for (char &byte : burst) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 24);
    }

    const QByteArray received = carry(a.device(), b.device(), burst, 60000);

    QCOMPARE(received.size(), burst.size());
    QVERIFY(received == burst);
    QVERIFY(bothConnected(a, b));
}

void StationLinkTest::unreadReceivingDevice_holdsSenderBackWithoutLossOrTimeOut()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    MainForm &formB = b.form();

    // Nobody reads B's device. Write into A's until the whole way is full: B's serial
    // queue, both stations' socket buffers and the kernel's, A's own device. The sending
    // device must end up held back rather than B dropping what it cannot write.
    const QByteArray sent = floodUntilHeldBack(a.device());

    // Held for longer than the keep-alive allows a silent link: the link stays up.
    QTest::qWait(6000);
    QVERIFY(bothConnected(a, b));
    QVERIFY2(!b.statusHistory().contains(QStringLiteral("Timed-Out")),
             qPrintable(b.statusHistory().join(QStringLiteral(", "))));
    QVERIFY2(!a.statusHistory().contains(QStringLiteral("Timed-Out")),
             qPrintable(a.statusHistory().join(QStringLiteral(", "))));

    const QByteArray received = b.device().readUntil(sent.size(), 60000);
    QCOMPARE(received.size(), sent.size());
    QVERIFY(received == sent);
    QVERIFY2(!formB.RS232comms->errorString().contains(QStringLiteral("dropped")),
             qPrintable(formB.RS232comms->errorString()));
}

void StationLinkTest::trafficViewAndLogs_showWhatEachDeviceSentAndGot()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    MainForm &formA = a.form();
    MainForm &formB = b.form();
    const QString rxLogA = a.env().filePath(QStringLiteral("rx.log"));
    const QString txLogB = b.env().filePath(QStringLiteral("tx.log"));
    const QString rxLogB = b.env().filePath(QStringLiteral("rx.log"));
    formA.RxLogFile = rxLogA;
    formB.TxLogFile = txLogB;
    formB.RxLogFile = rxLogB;
    // A shows its traffic, B does not.
    formA.ViewMenuItem->trigger();

    const QByteArray fromA("line one\r\nline two");
    QCOMPARE(carry(a.device(), b.device(), fromA), fromA);
    QTRY_COMPARE_WITH_TIMEOUT(formA.RxTextBox->traffic(), QString::fromLatin1(fromA), kWaitMs);
    QCOMPARE(formB.TxTextBox->traffic(), QString());
    const QByteArray fromB("answer");
    QCOMPARE(carry(b.device(), a.device(), fromB), fromB);
    QTRY_COMPARE_WITH_TIMEOUT(formA.TxTextBox->traffic(), QString::fromLatin1(fromB), kWaitMs);

    // The receive log follows the view, the transmit log every write to the device.
    const auto logged = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTRY_COMPARE_WITH_TIMEOUT(logged(rxLogA), fromA, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(logged(txLogB), fromA, kWaitMs);
    QVERIFY(!QFile::exists(rxLogB));
    QVERIFY(formB.RxLogBuffer.isEmpty());
}

void StationLinkTest::silentPeer_timedOutFourToFiveSecondsAfterLastPacket_thenReconnects()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    qint64 lastReadMs = a.elapsedMs();
    QObject::connect(a.form().Socket1, &SocketControl::OnRead, &a.form(),
                     [&] { lastReadMs = a.elapsedMs(); });
    const int historyStart = int(a.statusHistory().size());
    a.clearTicks();

    // B's socket stays open and B still reads, but it sends no state messages any more.
    b.form().NetworkTimer->stop();

    QTRY_VERIFY_WITH_TIMEOUT(a.countInHistory(QStringLiteral("Timed-Out"), historyStart) == 1,
                             2 * kWaitMs);
    // The give-up tick; its 50 ms wait may let a late tick run inside it, which then
    // shows the same status with the next count.
    const auto timedOut = std::find_if(a.ticks().cbegin(), a.ticks().cend(), [](const auto &tick) {
        return tick.status == QLatin1String("Timed-Out") && tick.ackRetries == 5;
    });
    QVERIFY2(timedOut != a.ticks().cend(), qPrintable(describe(a.ticks())));
    const qint64 silence = timedOut->atMs - lastReadMs;
    QVERIFY2(silence >= 3900 && silence <= 5500,
             qPrintable(QStringLiteral("timed out %1 ms after the last packet").arg(silence)));
    QVERIFY(!a.form().Socket1->IsConnected());
    QVERIFY(StationFixture::showsPicture(a.form().NetLED, a.form().GreyLED));
    QVERIFY(!a.form().LocalLoopMenuItem->isEnabled());

    b.form().NetworkTimer->start();
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
}

void StationLinkTest::peerClosing_notConnected_thenNewStationConnects_data()
{
    QTest::addColumn<bool>("destroyed");
    QTest::newRow("window closed") << false;
    QTest::newRow("station gone") << true;
}

void StationLinkTest::peerClosing_notConnected_thenNewStationConnects()
{
    QFETCH(bool, destroyed);

    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    // B's own calls go nowhere; it takes A's call and from then on names A as its host.
    QVERIFY(link(a, b, QStringLiteral("127.0.0.3")));
    QCOMPARE(b.form().DestinationName->text(), kAddressA);
    const int historyStart = int(a.statusHistory().size());

    if (destroyed)
        b.destroy();
    else
        b.unload();

    QTRY_VERIFY_WITH_TIMEOUT(a.countInHistory(QStringLiteral("Not Connected"), historyStart) > 0,
                             2 * kWaitMs);
    QVERIFY(!a.form().Socket1->IsConnected());
    QVERIFY(StationFixture::showsPicture(a.form().NetLED, a.form().GreyLED));
    // Saved before its socket closed: the host in force at closing time.
    QCOMPARE(b.readSettings().records.remoteHost, kAddressA);

    // A new station on B's folder and device: it reads what the old one saved.
    b.start();
    QCOMPARE(b.form().Socket1->RemoteHostAddress(), kAddressA);
    QCOMPARE(b.form().Port_Number, kPort);
    QVERIFY(b.form().RS232comms->PortOpen());
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    const QByteArray bytes("after the restart");
    QCOMPARE(carry(a.device(), b.device(), bytes), bytes);
}

void StationLinkTest::serverOnlyMode_neverCalls()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(prepare(a, kAddressB, kCallAtOnce, true));
    QVERIFY(prepare(b, kAddressA, kCallAtOnce));
    a.start();
    QVERIFY(a.form().RunInServerMode);

    // Alone, it gives up and listens afresh every eight ticks: the counter runs from 5 to 11
    // and is put back to 4 at the twelfth.
    QTRY_VERIFY_WITH_TIMEOUT(a.ticks().size() >= 20, kWaitMs);
    QList<int> backToGiveUp;
    for (int index = 0; index < 20; ++index) {
        const int counter = a.ticks().at(index).ackRetries;
        QVERIFY2(counter >= 4 && counter <= 11, qPrintable(describe(a.ticks())));
        if (counter == 4)
            backToGiveUp.append(index);
    }
    QVERIFY2(backToGiveUp.size() >= 2, qPrintable(describe(a.ticks())));
    for (int index = 1; index < backToGiveUp.size(); ++index)
        QCOMPARE(backToGiveUp.at(index) - backToGiveUp.at(index - 1), 8);
    QCOMPARE(a.form().netStatus(), QStringLiteral("Not Connected"));

    b.start();
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    // Connected, it sends its state messages for a few ticks; still no call.
    const qsizetype connectedAt = a.ticks().size();
    QTRY_VERIFY_WITH_TIMEOUT(a.ticks().size() >= connectedAt + 2, kWaitMs);

    for (const StationFixture::Tick &tick : a.ticks())
        QVERIFY(tick.socketState != SocketControl::State::Calling);
    QCOMPARE(a.countInHistory(QStringLiteral("Calling ...")), 0);
    QVERIFY(a.statusHistory().contains(QStringLiteral("ACCEPTING")));
    QVERIFY(b.statusHistory().contains(QStringLiteral("CONNECTING")));
    QVERIFY(bothConnected(a, b));
}

void StationLinkTest::disconnect_suspendsUntilReconnect()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    // B keeps calling A while A is suspended.
    b.env().random.queue(kCallAtOnce);
    const int historyStartA = int(a.statusHistory().size());
    const int historyStartB = int(b.statusHistory().size());
    a.clearTicks();

    a.form().DisconnectMenuItem->trigger();
    QVERIFY(!a.form().AutoReconnect);

    QTRY_COMPARE_WITH_TIMEOUT(a.form().netStatus(), QStringLiteral("Disconnected"), kWaitMs);
    const QList<StationFixture::Tick> ticks = a.ticks();
    QVERIFY(!ticks.isEmpty());
    QCOMPARE(ticks.first().ackRetries, 3);
    const auto disconnected = std::find_if(ticks.cbegin(), ticks.cend(), [](const auto &tick) {
        return tick.status == QLatin1String("Disconnected");
    });
    QVERIFY(disconnected != ticks.cend());
    QCOMPARE(disconnected->ackRetries, 12);

    // Three seconds of ticks: no connection, and the status is written to the history once.
    const qsizetype seen = a.ticks().size();
    QTRY_VERIFY_WITH_TIMEOUT(a.ticks().size() >= seen + 30, 2 * kWaitMs);
    for (const StationFixture::Tick &tick : a.ticks())
        QVERIFY(tick.socketState != SocketControl::State::Connected);
    QCOMPARE(a.form().netStatus(), QStringLiteral("Disconnected"));
    QCOMPARE(a.countInHistory(QStringLiteral("Disconnected"), historyStartA), 1);
    QCOMPARE(b.countInHistory(QStringLiteral("Connected"), historyStartB), 0);
    QVERIFY(a.ticks().last().ackRetries > 12 + 30 - 1);

    // B settles to listening; A's Reconnect brings the link back.
    b.env().random.queue(kKeepListening);
    a.form().ReconnectMenuItem->trigger();
    QVERIFY(a.form().AutoReconnect);
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    const QByteArray bytes("reconnected");
    QCOMPARE(carry(b.device(), a.device(), bytes), bytes);
}

// The shortcuts do what the File menu would offer at that moment, whenever it was opened.
void StationLinkTest::ctrlDAndCtrlR_followTheLinkAsItIsNow()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(prepare(a, kAddressB, kCallAtOnce) && prepare(b, kAddressA, kKeepListening));
    MainForm &form = b.start();
    const auto press = [&form](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        keyClickFocused(form, key, modifiers);
    };
    QTRY_COMPARE_WITH_TIMEOUT(form.Socket1->state(), SocketControl::State::Listening, kWaitMs);
    press(Qt::Key_D, Qt::ControlModifier);
    QVERIFY(form.AutoReconnect);
    press(Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY_WITH_TIMEOUT(form.FileMenuItem->isVisible(), kWaitMs);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(!form.FileMenuItem->isVisible(), kWaitMs);

    a.start();
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
    press(Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!form.AutoReconnect);
    QTRY_VERIFY_WITH_TIMEOUT(!bothConnected(a, b), kLinkMs);
    a.env().random.queue(kKeepListening);
    press(Qt::Key_R, Qt::ControlModifier);
    QVERIFY(form.AutoReconnect);
    QTRY_VERIFY_WITH_TIMEOUT(bothConnected(a, b), kLinkMs);
}

void StationLinkTest::remoteLoopback_peerMirrorsTestMessagesAndData()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    MainForm &formA = a.form();
    MainForm &formB = b.form();

    formA.RemoteLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Remote Loopback"), b, QStringLiteral("Local Loopback")));
    QVERIFY(formA.RemoteLoopMenuItem->isChecked());
    QVERIFY(formA.SendTestMenuItem->isEnabled());
    QVERIFY(formB.LocalLoopMenuItem->isChecked());
    QVERIFY(!formB.SendTestMenuItem->isEnabled());
    QVERIFY(StationFixture::showsPicture(formA.NetLED, formA.YellowLED));
    QVERIFY(StationFixture::showsPicture(formB.NetLED, formB.YellowLED));

    // The draw chooses the text: above one half the first one. The draw queued for A's
    // connection cycle may still be waiting; it goes first.
    a.env().random.next();
    a.env().random.queue(0.9);
    formA.SendTestMenuItem->trigger();
    a.env().random.queue(0.2);
    formA.SendTestMenuItem->trigger();
    const QByteArray tests("This is a TETHRA test message\r\nAnother test message for TETHRA\r\n");
    QCOMPARE(a.device().readUntil(tests.size(), kWaitMs), tests);

    const QByteArray data("there and back");
    QCOMPARE(carry(a.device(), a.device(), data), data);

    // Back to normal: the next bytes from A are the first that reach B's device.
    formA.RemoteLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Connected"), b, QStringLiteral("Connected")));
    const QByteArray marker("first to arrive");
    QCOMPARE(carry(a.device(), b.device(), marker), marker);
}

void StationLinkTest::localLoopback_echoesSerialInputAndMirrorsPeer()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    MainForm &formA = a.form();

    formA.LocalLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Local Loopback"), b, QStringLiteral("Remote Loopback")));
    QVERIFY(formA.LocalLoopMenuItem->isChecked());
    QVERIFY(!formA.SendTestMenuItem->isEnabled());
    QVERIFY(b.form().SendTestMenuItem->isEnabled());

    // A device that sends without reading its echo is held back, not echoed into a queue
    // that overflows.
    const QByteArray echoed = floodUntilHeldBack(a.device());
    QCOMPARE(a.device().readUntil(echoed.size(), 60000), echoed);
    QVERIFY2(!formA.RS232comms->errorString().contains(QStringLiteral("dropped")),
             qPrintable(formA.RS232comms->errorString()));
    // Output the port cannot queue at all is told in the history, once.
    const QByteArray full(SerialControl::kWriteBufferBound, 'x');
    formA.RS232comms->Output(full);
    formA.RS232comms->Output(full);
    formA.RS232comms->Output(full);
    QCOMPARE(a.device().readUntil(full.size(), kWaitMs), full);
    const QString dropped = QStringLiteral("Serial output overflow: %1 bytes dropped");
    QTRY_COMPARE_WITH_TIMEOUT(a.countInHistory(dropped.arg(2 * full.size())), 1, kWaitMs);
    QCOMPARE(
        a.countInHistory(QStringLiteral("Serial output overflow: the device is not taking data")),
        1);
    QCOMPARE(formA.netStatus(), QStringLiteral("Local Loopback"));
    const QByteArray mirrored("mirrored by A");
    QCOMPARE(carry(b.device(), b.device(), mirrored), mirrored);

    // Choosing it again returns both ends to normal; only then do bytes cross, so none of
    // the above reached the other device.
    formA.LocalLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Connected"), b, QStringLiteral("Connected")));
    QVERIFY(!formA.LocalLoopMenuItem->isChecked());
    const QByteArray toB("first at B");
    QCOMPARE(carry(a.device(), b.device(), toB), toB);
    const QByteArray toA("first at A");
    QCOMPARE(carry(b.device(), a.device(), toA), toA);
}

void StationLinkTest::localLoopbackInRemoteLoopback_swapsRoles()
{
    StationFixture a(kAddressA);
    StationFixture b(kAddressB);
    QVERIFY(link(a, b));
    MainForm &formA = a.form();

    formA.RemoteLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Remote Loopback"), b, QStringLiteral("Local Loopback")));
    formA.LocalLoopMenuItem->trigger();
    QVERIFY(agree(a, QStringLiteral("Local Loopback"), b, QStringLiteral("Remote Loopback")));
    QVERIFY(formA.LocalLoopMenuItem->isChecked());
    QVERIFY(!formA.RemoteLoopMenuItem->isChecked());
    QVERIFY(b.form().RemoteLoopMenuItem->isChecked());
    QVERIFY(!b.form().LocalLoopMenuItem->isChecked());

    // The state messages of the next ticks keep both ends where they are.
    const qsizetype seen = a.ticks().size();
    QTRY_VERIFY_WITH_TIMEOUT(a.ticks().size() >= seen + 3, kWaitMs);
    QVERIFY(shows(a, QStringLiteral("Local Loopback")));
    QVERIFY(shows(b, QStringLiteral("Remote Loopback")));

    const QByteArray mirrored("now A mirrors");
    QCOMPARE(carry(b.device(), b.device(), mirrored), mirrored);
    const QByteArray echoed("and echoes");
    QCOMPARE(carry(a.device(), a.device(), echoed), echoed);
}

QTEST_MAIN(StationLinkTest)
#include "station_link_test.moc"
