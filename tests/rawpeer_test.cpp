// What a station puts on the wire and how it takes what comes, checked against a plain
// TCP peer written here byte for byte: the station on 127.0.0.1 calls the peer listening on
// 127.0.0.2, with a pseudo-terminal as its serial device.
#include "app/MainForm.h"
#include "link/LinkProtocol.h"
#include "monitor/TrafficBox.h"
#include "platform/SerialControl.h"
#include "platform/SocketControl.h"
#include "support/StationFixture.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <optional>
#include <sys/socket.h>

namespace
{

constexpr int kPort = 19841;
constexpr int kWaitMs = 5000;
const QString kPeerAddress = QStringLiteral("127.0.0.2");

QByteArray delim()
{
    return LinkProtocol::PacketDelim();
}

QByteArray stateFrom(char flag)
{
    const QByteArray half = QByteArray("  ") + delim() + flag;
    return half + half;
}

QByteArray dataFrom(const QByteArray &payload)
{
    return QByteArray("  ") + delim() + 'D' + payload + delim() + 'E';
}

// One message as a station lays it out.
struct WireMessage {
    enum class Kind { State, LoopbackChange, Data, ReflectedData, Garbage };
    Kind kind = Kind::Garbage;
    char flag = 0;
    QByteArray payload;
    qsizetype length = 0;
    qint64 atMs = 0;
};

// The next message at the head of bytes, or nothing while it has not fully arrived. Bytes
// that fit no layout come out as one Garbage message holding all of them.
std::optional<WireMessage> cutMessage(const QByteArray &bytes)
{
    WireMessage message;
    const bool blanks = bytes.startsWith(' ');
    const QByteArray head = blanks ? QByteArray("  ") + delim() : delim();
    const qsizetype known = qMin(bytes.size(), head.size());
    const auto garbage = [&bytes] {
        WireMessage bad;
        bad.payload = bytes;
        bad.length = bytes.size();
        return bad;
    };
    if (bytes.left(known) != head.left(known))
        return garbage();
    if (bytes.size() <= head.size())
        return std::nullopt;
    message.flag = bytes.at(head.size());
    switch (message.flag) {
    case LinkProtocol::kFlagNormal:
    case LinkProtocol::kFlagLocalLoop:
    case LinkProtocol::kFlagRemoteLoop: {
        const QByteArray whole = blanks ? stateFrom(message.flag) : delim() + message.flag;
        if (bytes.size() < whole.size())
            return whole.startsWith(bytes) ? std::nullopt : std::optional(garbage());
        if (!bytes.startsWith(whole))
            return garbage();
        message.kind = blanks ? WireMessage::Kind::State : WireMessage::Kind::LoopbackChange;
        message.length = whole.size();
        return message;
    }
    case LinkProtocol::kFlagData: {
        const qsizetype start = head.size() + 1;
        const qsizetype end = bytes.indexOf(delim(), start);
        if (end < 0 || end + delim().size() >= bytes.size())
            return bytes.size() > 2 * LinkProtocol::kMaxMessageLength ? std::optional(garbage())
                                                                      : std::nullopt;
        if (bytes.at(end + delim().size()) != LinkProtocol::kFlagEnd)
            return garbage();
        message.kind = blanks ? WireMessage::Kind::Data : WireMessage::Kind::ReflectedData;
        message.payload = bytes.mid(start, end - start);
        message.length = end + delim().size() + 1;
        return message;
    }
    default:
        return garbage();
    }
}

// The other end of the link, played by hand. It can answer every state message of the
// station with a state message of its own, as a running peer does once a second.
class RawPeer final
{
public:
    RawPeer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { take(); });
        m_listening = m_server.listen(QHostAddress(kPeerAddress), kPort);
        m_clock.start();
    }

    ~RawPeer()
    {
        // The sockets go with the server, after the rest of the peer: a socket that still
        // reports its end then must not reach receive().
        const QList<QTcpSocket *> sockets = m_server.findChildren<QTcpSocket *>();
        for (QTcpSocket *socket : sockets)
            QObject::disconnect(socket, nullptr, nullptr, nullptr);
    }

    bool isListening() const { return m_listening; }
    QString errorString() const { return m_server.errorString(); }
    int connections() const { return m_connections; }
    bool isConnected() const
    {
        return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    }

    // 0: answer nothing.
    char replyFlag = 0;

    void send(const QByteArray &bytes)
    {
        if (!m_socket)
            return;
        m_socket->write(bytes);
        m_socket->flush();
    }

    // Ends the connection in order: what was sent still arrives.
    void close()
    {
        if (m_socket)
            m_socket->disconnectFromHost();
    }

    // Ends the connection with a reset, as the station itself does.
    void drop()
    {
        if (!m_socket)
            return;
        const linger abortive{1, 0};
        ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                     sizeof abortive);
        m_socket->abort();
    }

    // Calls that come later are refused; the connection that stands goes on.
    void stopListening() { m_server.close(); }

    // A peer that stops reading holds the station's bytes back, as a slow link does.
    void setReading(bool on)
    {
        m_reading = on;
        if (!m_socket)
            return;
        m_socket->setReadBufferSize(on ? 0 : 64 * 1024);
        if (on)
            receive();
    }

    const QList<WireMessage> &messages() const { return m_messages; }
    QList<WireMessage> messagesOf(WireMessage::Kind kind, int from = 0) const
    {
        QList<WireMessage> found;
        for (int index = from; index < m_messages.size(); ++index) {
            if (m_messages.at(index).kind == kind)
                found.append(m_messages.at(index));
        }
        return found;
    }
    QByteArray dataPayloads(int from = 0) const
    {
        QByteArray bytes;
        for (const WireMessage &message : messagesOf(WireMessage::Kind::Data, from))
            bytes += message.payload;
        return bytes;
    }
    bool sawGarbage() const { return !messagesOf(WireMessage::Kind::Garbage).isEmpty(); }

private:
    void take()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            ++m_connections;
            if (m_socket)
                m_socket->deleteLater();
            m_socket = socket;
            m_pending.clear();
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            const auto take = [this, socket] {
                if (socket == m_socket)
                    receive();
            };
            QObject::connect(socket, &QTcpSocket::readyRead, socket, take);
            // A reset may end the connection before the last bytes were announced.
            QObject::connect(socket, &QTcpSocket::disconnected, socket, take);
        }
    }

    void receive()
    {
        if (!m_reading)
            return;
        m_pending += m_socket->readAll();
        while (!m_pending.isEmpty()) {
            std::optional<WireMessage> message = cutMessage(m_pending);
            if (!message)
                return;
            message->atMs = m_clock.elapsed();
            m_pending.remove(0, message->length);
            m_messages.append(*message);
            if (message->kind == WireMessage::Kind::State && replyFlag != 0)
                send(stateFrom(replyFlag));
        }
    }

    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    QByteArray m_pending;
    QList<WireMessage> m_messages;
    QElapsedTimer m_clock;
    int m_connections = 0;
    bool m_listening = false;
    bool m_reading = true;
};

} // namespace

class RawPeerTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stateMessage_everyTickWithFlagOfLoopbackMode_data();
    void stateMessage_everyTickWithFlagOfLoopbackMode();
    void dataMessage_wrapsEachSerialChunk_data();
    void dataMessage_wrapsEachSerialChunk();
    void localLoopback_reflectsPeerDataAndEchoesSerialInput();
    void loopbackCommand_stateThatCrossedIt_handledOneReadLater();
    void unknownFlag_dataInSameWriteStillDelivered_oneBoxAtATime();
    void dataMessage_inSingleByteWrites_deliveredWholeOnce();
    void brokenPacket_whenConnectionDrops_notGluedToNextConnection();
    void manyDataMessagesThenClose_allReachDeviceInOrder();
    void disconnectCommand_bytesReadFromDeviceStillReachPeer();

private:
    // Starts the station and waits until it has called the peer and taken its first state
    // message; the peer then answers every state message with replyFlag.
    bool link(StationFixture &station, RawPeer &peer, char replyFlag);
};

bool RawPeerTest::link(StationFixture &station, RawPeer &peer, char replyFlag)
{
    if (!station.isValid() || !peer.isListening())
        return false;
    if (!station.writeSettings(StationFixture::bridgeRecords(kPort, kPeerAddress)))
        return false;
    // Missed calls are tried again at once rather than after a random wait.
    station.env().random.queue(0.1);
    MainForm &form = station.start();
    if (!form.RS232comms->PortOpen())
        return false;
    if (!QTest::qWaitFor([&] { return peer.isConnected() && form.Socket1->IsConnected(); },
                         kWaitMs))
        return false;
    peer.replyFlag = replyFlag;
    peer.send(stateFrom(replyFlag));
    return QTest::qWaitFor([&] { return form.LocalLoopMenuItem->isEnabled(); }, kWaitMs);
}

void RawPeerTest::stateMessage_everyTickWithFlagOfLoopbackMode_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<char>("peerFlag");
    QTest::addColumn<char>("stationFlag");
    QTest::addColumn<QString>("status");

    QTest::newRow("normal") << "" << 'A' << 'A' << "Connected";
    QTest::newRow("peer expects loopback") << "" << 'R' << 'L' << "Local Loopback";
    QTest::newRow("peer loops back") << "" << 'L' << 'R' << "Remote Loopback";
    QTest::newRow("local loopback chosen here") << "local" << 'R' << 'L' << "Local Loopback";
    QTest::newRow("remote loopback chosen here") << "remote" << 'L' << 'R' << "Remote Loopback";
}

void RawPeerTest::stateMessage_everyTickWithFlagOfLoopbackMode()
{
    QFETCH(QString, command);
    QFETCH(char, peerFlag);
    QFETCH(char, stationFlag);
    QFETCH(QString, status);

    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    const char firstFlag = command.isEmpty() ? peerFlag : 'A';
    QVERIFY(link(station, peer, firstFlag));
    MainForm &form = station.form();

    const int from = int(peer.messages().size());
    // A running peer takes the other side of the mode and says so on every tick.
    peer.replyFlag = peerFlag;
    if (command == QLatin1String("local"))
        form.LocalLoopMenuItem->trigger();
    else if (command == QLatin1String("remote"))
        form.RemoteLoopMenuItem->trigger();
    if (!command.isEmpty()) {
        QTRY_VERIFY_WITH_TIMEOUT(
            !peer.messagesOf(WireMessage::Kind::LoopbackChange, from).isEmpty(), kWaitMs);
        const WireMessage change = peer.messagesOf(WireMessage::Kind::LoopbackChange, from).first();
        QCOMPARE(change.flag, stationFlag);
        QCOMPARE(change.length, qsizetype(11));
    }
    QTRY_COMPARE_WITH_TIMEOUT(form.netStatus(), status, kWaitMs);

    // A state message sent on the tick before the change may still be on its way; from
    // the first one that carries the new mode on, every one carries it.
    const auto statesFromFirstInMode = [&peer, from, stationFlag] {
        QList<WireMessage> states = peer.messagesOf(WireMessage::Kind::State, from);
        while (!states.isEmpty() && states.first().flag != stationFlag)
            states.removeFirst();
        return states;
    };
    QTRY_VERIFY_WITH_TIMEOUT(statesFromFirstInMode().size() >= 3, 2 * kWaitMs);
    const QList<WireMessage> states = statesFromFirstInMode();
    for (const WireMessage &state : states) {
        QCOMPARE(state.flag, stationFlag);
        QCOMPARE(state.length, qsizetype(26));
    }
    // One a tick, and the ticks are a second apart while connected.
    for (int index = 1; index < states.size(); ++index) {
        const qint64 gap = states.at(index).atMs - states.at(index - 1).atMs;
        QVERIFY2(gap >= 500 && gap <= 1600, qPrintable(QStringLiteral("gap %1 ms").arg(gap)));
    }
    QCOMPARE(form.netStatus(), status);
    QVERIFY(!peer.sawGarbage());
    QVERIFY(peer.messagesOf(WireMessage::Kind::Data).isEmpty());
}

void RawPeerTest::dataMessage_wrapsEachSerialChunk_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("1 byte") << 1;
    QTest::newRow("100 bytes") << 100;
    QTest::newRow("every byte value") << 256;
    QTest::newRow("40000 bytes, more than one message holds") << 40000;
}

void RawPeerTest::dataMessage_wrapsEachSerialChunk()
{
    QFETCH(int, size);

    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));

    QByteArray sent;
    for (int index = 0; index < size; ++index)
        sent.append(char((index * 7 + 3) % 256));
    QVERIFY(station.device().writeAll(sent));
    QTRY_COMPARE_WITH_TIMEOUT(peer.dataPayloads().size(), sent.size(), kWaitMs);

    QCOMPARE(peer.dataPayloads(), sent);
    QVERIFY(!peer.sawGarbage());
    const QList<WireMessage> data = peer.messagesOf(WireMessage::Kind::Data);
    for (const WireMessage &message : data) {
        QCOMPARE(message.length, 24 + message.payload.size());
        QVERIFY(message.length <= LinkProtocol::kMaxMessageLength);
    }
    if (size == 1)
        QCOMPARE(data.size(), 1);
    if (size > LinkProtocol::kMaxDataPerMessage)
        QVERIFY(data.size() >= 2);
    QVERIFY(peer.messagesOf(WireMessage::Kind::ReflectedData).isEmpty());
}

void RawPeerTest::localLoopback_reflectsPeerDataAndEchoesSerialInput()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    // The peer expects loopback: the station mirrors.
    QVERIFY(link(station, peer, 'R'));
    MainForm &form = station.form();
    QTRY_COMPARE_WITH_TIMEOUT(form.netStatus(), QStringLiteral("Local Loopback"), kWaitMs);
    QVERIFY(form.LocalLoopMenuItem->isChecked());

    const int from = int(peer.messages().size());
    peer.send(dataFrom("mirror me"));
    QTRY_VERIFY_WITH_TIMEOUT(!peer.messagesOf(WireMessage::Kind::ReflectedData, from).isEmpty(),
                             kWaitMs);
    const WireMessage reflected = peer.messagesOf(WireMessage::Kind::ReflectedData, from).first();
    QCOMPARE(reflected.payload, QByteArray("mirror me"));
    QCOMPARE(reflected.length, qsizetype(22 + 9));

    // Serial input goes straight back to the device.
    Pty &device = station.device();
    QVERIFY(device.writeAll("echo"));
    QCOMPARE(device.readUntil(4, kWaitMs), QByteArray("echo"));

    // Back to normal: the next data from either side is the first that passes, so nothing
    // of the above went to the peer or to the device.
    peer.replyFlag = 'A';
    peer.send(stateFrom('A'));
    QTRY_COMPARE_WITH_TIMEOUT(form.netStatus(), QStringLiteral("Connected"), kWaitMs);
    peer.send(dataFrom("after"));
    QCOMPARE(device.readUntil(5, kWaitMs), QByteArray("after"));
    QVERIFY(device.writeAll("later"));
    QTRY_COMPARE_WITH_TIMEOUT(peer.dataPayloads(), QByteArray("later"), kWaitMs);
    QVERIFY(!peer.sawGarbage());
}

void RawPeerTest::loopbackCommand_stateThatCrossedIt_handledOneReadLater()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));
    MainForm &form = station.form();
    peer.replyFlag = 0;
    form.RemoteLoopMenuItem->trigger();
    QCOMPARE(form.netStatus(), QStringLiteral("Remote Loopback"));

    // The peer's last "normal" was on its way when the command went out: the data before it
    // is delivered at once, the state waits for the next read.
    peer.send(dataFrom("before") + stateFrom('A'));
    QCOMPARE(station.device().readUntil(6, kWaitMs), QByteArray("before"));
    QCOMPARE(form.netStatus(), QStringLiteral("Remote Loopback"));
    QVERIFY(form.RemoteLoopMenuItem->isChecked());

    peer.send(delim() + 'E');
    QTRY_COMPARE_WITH_TIMEOUT(form.netStatus(), QStringLiteral("Connected"), kWaitMs);
    QVERIFY(!form.RemoteLoopMenuItem->isChecked());
    QVERIFY(!form.LoopSyncPending);
}

void RawPeerTest::unknownFlag_dataInSameWriteStillDelivered_oneBoxAtATime()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));
    MainForm &form = station.form();
    FakeMessageBoxes &boxes = station.env().messageBoxes;
    boxes.holdLaterBoxes = true;
    Pty &device = station.device();

    peer.send(delim() + 'X' + dataFrom("hello"));
    QCOMPARE(device.readUntil(5, kWaitMs), QByteArray("hello"));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().kind, FakeMessageBoxes::Kind::InformLater);
    QCOMPARE(boxes.last().text, QStringLiteral("Unknown Packet Flag 'X'"));
    QCOMPARE(boxes.last().title, QStringLiteral("ERROR - Network Rx Packet"));
    QCOMPARE(boxes.last().owner.data(), &form);

    // The box is still open: more unknown flags open no second one, and data flows on.
    peer.send(delim() + 'Y' + delim() + 'z' + dataFrom("more"));
    QCOMPARE(device.readUntil(4, kWaitMs), QByteArray("more"));
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(form.netStatus(), QStringLiteral("Connected"));

    boxes.closeHeldBoxes();
    peer.send(delim() + 'Q' + dataFrom("last"));
    QCOMPARE(device.readUntil(4, kWaitMs), QByteArray("last"));
    QCOMPARE(boxes.count(), 2);
    QCOMPARE(boxes.last().text, QStringLiteral("Unknown Packet Flag 'Q'"));
}

void RawPeerTest::dataMessage_inSingleByteWrites_deliveredWholeOnce()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));
    MainForm &form = station.form();
    Pty &device = station.device();
    // Nothing else may come between the bytes of the message.
    peer.replyFlag = 0;
    QSignalSpy reads(form.Socket1, &SocketControl::OnRead);

    const QByteArray payload("split into single bytes");
    const QByteArray message = dataFrom(payload);
    for (int index = 0; index < message.size(); ++index) {
        peer.send(message.mid(index, 1));
        // Each byte is read on its own before the next one is sent.
        QTRY_COMPARE_WITH_TIMEOUT(reads.count(), index + 1, kWaitMs);
        if (index == message.size() - 2)
            QCOMPARE(device.read(), QByteArray());
    }
    QCOMPARE(device.readUntil(payload.size(), kWaitMs), payload);

    peer.send(dataFrom("next"));
    QCOMPARE(device.readUntil(4, kWaitMs), QByteArray("next"));
}

void RawPeerTest::brokenPacket_whenConnectionDrops_notGluedToNextConnection()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));
    MainForm &form = station.form();
    Pty &device = station.device();
    peer.replyFlag = 0;

    peer.send(QByteArray("  ") + delim() + 'D' + "partial");
    QTRY_VERIFY_WITH_TIMEOUT(form.NetRxBuffer.contains("partial"), kWaitMs);
    peer.drop();
    QTRY_VERIFY_WITH_TIMEOUT(!form.Socket1->IsConnected(), kWaitMs);

    // The station calls again by itself.
    QTRY_VERIFY_WITH_TIMEOUT(
        peer.connections() == 2 && peer.isConnected() && form.Socket1->IsConnected(), 2 * kWaitMs);
    peer.send(dataFrom("fresh"));
    peer.send(dataFrom("end"));
    QCOMPARE(device.readUntil(8, kWaitMs), QByteArray("freshend"));
    QVERIFY(!form.NetRxBuffer.contains("partial"));
}

void RawPeerTest::manyDataMessagesThenClose_allReachDeviceInOrder()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));
    MainForm &form = station.form();
    Pty &device = station.device();
    peer.replyFlag = 0;

    // Far more than the station reads at once, in messages of sizes that cut its reads at
    // every kind of place, sent in one piece and followed at once by the end of the
    // connection.
    QByteArray expected;
    QByteArray wire;
    for (int index = 0; index < 400; ++index) {
        QByteArray payload((index * 37) % 1500 + 1, '\0');
        for (qsizetype at = 0; at < payload.size(); ++at)
            payload[at] = char((index * 7 + at) % 251 + 2);
        expected += payload;
        wire += dataFrom(payload);
    }
    peer.send(wire);
    peer.close();

    QCOMPARE(device.readUntil(expected.size(), 4 * kWaitMs), expected);
    QTRY_VERIFY_WITH_TIMEOUT(!form.Socket1->IsConnected(), kWaitMs);
    QCOMPARE(device.read(), QByteArray());
}

void RawPeerTest::disconnectCommand_bytesReadFromDeviceStillReachPeer()
{
    RawPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    StationFixture station;
    QVERIFY(link(station, peer, 'A'));
    MainForm &form = station.form();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const auto press = [&form](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QWidget *focused = QApplication::focusWidget();
        QTest::keyClick(focused ? focused : &form, key, modifiers);
    };
    // View Traffic: the receive view shows when the station has read the last byte (a
    // pseudo-terminal passes bytes on asynchronously).
    press(Qt::Key_F4);
    QVERIFY(form.ViewMenuItem->isChecked());
    peer.setReading(false);
    QTimer keepAlive;
    QObject::connect(&keepAlive, &QTimer::timeout, [&peer] { peer.send(stateFrom('A')); });
    keepAlive.start(500);

    QByteArray sent(600 * 1024, Qt::Uninitialized);
    for (qsizetype at = 0; at < sent.size(); ++at)
        sent[at] = char((at * 11 + at / 997) % 256);
    sent += "-- end of burst --";
    QVERIFY(station.device().writeAll(sent, kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(form.RxTextBox->traffic().endsWith(QLatin1String("end of burst --")),
                             kWaitMs);
    QVERIFY(peer.dataPayloads().size() < sent.size());

    // The station calls again on its next ticks; what the peer takes must all come from the
    // connection that was disconnected.
    peer.stopListening();
    press(Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!form.AutoReconnect);
    keepAlive.stop();
    peer.setReading(true);
    QTRY_COMPARE_WITH_TIMEOUT(peer.dataPayloads().size(), sent.size(), kWaitMs);
    QCOMPARE(peer.dataPayloads(), sent);
}

QTEST_MAIN(RawPeerTest)
#include "rawpeer_test.moc"
