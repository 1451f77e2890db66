#include "link/LinkProtocol.h"
#include "link/PacketReader.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <optional>

namespace
{

using Trace = QList<QByteArray>;

QByteArray delim()
{
    return QByteArray("\x01\x01"
                      "TETHRA"
                      "\x02\x02",
                      10);
}

// One entry per packet: its flag followed by its payload.
QByteArray entry(const PacketReader::Packet &packet)
{
    return packet.flag + packet.payload;
}

// What the station may hold between read events.
bool holdsInvariant(const QByteArray &buffer)
{
    return buffer.isEmpty() || buffer.startsWith(delim()) ||
           (buffer.size() < delim().size() && delim().startsWith(buffer));
}

void drainInto(PacketReader &reader, Trace &trace)
{
    while (const auto packet = reader.next())
        trace.append(entry(*packet));
}

enum class ReaderLife { WholeStream, PerRead };

// Feeds the stream in reads that end at the given offsets (and at the stream's end), checking
// the buffer between reads. The reader lives for the whole stream or is made anew per read.
Trace feed(const QByteArray &stream, const QList<qsizetype> &cuts, QByteArray *badBuffer,
           ReaderLife life = ReaderLife::WholeStream)
{
    QByteArray buffer;
    std::optional<PacketReader> lasting;
    if (life == ReaderLife::WholeStream)
        lasting.emplace(buffer);
    Trace trace;
    qsizetype from = 0;
    QList<qsizetype> ends = cuts;
    ends.append(stream.size());
    for (const qsizetype end : ends) {
        std::optional<PacketReader> fresh;
        if (!lasting)
            fresh.emplace(buffer);
        PacketReader &reader = lasting ? *lasting : *fresh;
        reader.append(stream.mid(from, end - from));
        drainInto(reader, trace);
        if (!holdsInvariant(buffer) && badBuffer->isEmpty())
            *badBuffer = buffer.isEmpty() ? QByteArray("?") : buffer;
        from = end;
    }
    return trace;
}

// The framing rules applied to a whole stream at once, written as plainly as possible to check
// the incremental reader against.
Trace referenceTrace(const QByteArray &stream, qsizetype bound)
{
    Trace trace;
    const QByteArray d = delim();
    qsizetype start = stream.indexOf(d);
    while (start >= 0 && start + d.size() < stream.size()) {
        const char flag = stream.at(start + d.size());
        const qsizetype end = stream.indexOf(d, start + d.size() + 1);
        if (flag != 'D') {
            trace.append(QByteArray(1, flag));
        } else if (end >= 0 && end + d.size() < stream.size() &&
                   end - start + d.size() + 1 <= bound) {
            trace.append(flag + stream.mid(start + d.size() + 1, end - start - d.size() - 1));
        } else if (end < 0 || end + d.size() >= stream.size()) {
            break;
        }
        start = end;
    }
    return trace;
}

QByteArray noDelimiterBytes(qsizetype length, QRandomGenerator &random)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < length; ++i)
        bytes[i] = char(2 + random.bounded(254)); // never 0x01, so never a delimiter
    return bytes;
}

} // namespace

class PacketReaderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void wholeStream_deliversEveryPacketOnceInOrder_data() { streams(); }
    void wholeStream_deliversEveryPacketOnceInOrder();
    void streamSplitInTwoAtAnyByte_deliversTheSame_data() { streams(); }
    void streamSplitInTwoAtAnyByte_deliversTheSame();
    void streamFedOneBytePerRead_deliversTheSame_data() { streams(); }
    void streamFedOneBytePerRead_deliversTheSame();
    void dataPacketWaitsForFlagAfterItsEnd();
    void dataPacketWaitsInBufferFromItsDelimiterOn();
    void deferredStatePacket_staysAtHeadUntilNextEvent();
    void keptDataPacket_comesOutAgainWhole();
    void bufferClearedFromOutside_readerStartsAfresh();
    void holdsIncompleteData_onlyWhileDataPacketWaits_data();
    void holdsIncompleteData_onlyWhileDataPacketWaits();
    void unknownFlagThenData_bothComeOutInOrder_data();
    void unknownFlagThenData_bothComeOutInOrder();
    void clear_dropsPacketLeftFromPreviousConnection_data();
    void clear_dropsPacketLeftFromPreviousConnection();
    void streamWithoutDelimiter_keepsBufferUnderTenBytes_data();
    void streamWithoutDelimiter_keepsBufferUnderTenBytes();
    void endlessDataPacket_isDroppedAndLaterMessageArrives_data();
    void endlessDataPacket_isDroppedAndLaterMessageArrives();
    void dataPacketAtBound_isDeliveredOnlyIfItFits_data();
    void dataPacketAtBound_isDeliveredOnlyIfItFits();
    void randomStream_staysBoundedAndMatchesWholeStreamRules();

private:
    void streams();
};

void PacketReaderTest::streams()
{
    using namespace LinkProtocol;
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Trace>("expected");

    QTest::newRow("data message") << dataMessage("hello, world") << Trace{"Dhello, world", "E"};
    QTest::newRow("empty data message") << dataMessage(QByteArray()) << Trace{"D", "E"};
    const QByteArray binary("\x00\x01\x02\xff\r\n\x01\x01TET", 12);
    QTest::newRow("state, data, data, state")
        << stateMessage('A') + dataMessage("first") + dataMessage(binary) + stateMessage('L')
        << Trace{"A", "A", "Dfirst", "E", 'D' + binary, "E", "L", "L"};
    // Almost-delimiters inside the data, one right before the real closing delimiter.
    const QByteArray nearMiss = QByteArray("\x01\x01TETHRA\x02x\x01\x01TETHRA\x02\x01\x01T");
    QTest::newRow("near-miss delimiters in data")
        << dataMessage(nearMiss) + stateMessage('R') << Trace{'D' + nearMiss, "E", "R", "R"};
    QTest::newRow("test message") << testMessage(testText(0.7))
                                  << Trace{"DThis is a TETHRA test message\r\n", "E"};
    QTest::newRow("reflected data then loopback change")
        << reflectedDataMessage("xyz") + loopbackChangeMessage('R') << Trace{"Dxyz", "E", "R"};
    QTest::newRow("leading garbage ending in delimiter bytes")
        << QByteArray("junk\x01\x01TE\x01") + dataMessage("abc") << Trace{"Dabc", "E"};
    QTest::newRow("delimiter inside data starts a packet")
        << dataMessage("ab" + delim() + "Zcd") << Trace{"Dab", "Z", "E"};
}

void PacketReaderTest::wholeStream_deliversEveryPacketOnceInOrder()
{
    QFETCH(QByteArray, stream);
    QFETCH(Trace, expected);
    QByteArray bad;
    QCOMPARE(feed(stream, {}, &bad), expected);
    QVERIFY2(bad.isEmpty(), bad.toHex(' ').constData());
}

void PacketReaderTest::streamSplitInTwoAtAnyByte_deliversTheSame()
{
    QFETCH(QByteArray, stream);
    QFETCH(Trace, expected);
    for (const ReaderLife life : {ReaderLife::WholeStream, ReaderLife::PerRead}) {
        for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
            const QString where =
                QStringLiteral("split at %1%2")
                    .arg(cut)
                    .arg(life == ReaderLife::PerRead ? QStringLiteral(", reader per read")
                                                     : QString());
            QByteArray bad;
            const Trace trace = feed(stream, {cut}, &bad, life);
            QVERIFY2(trace == expected, qPrintable(where));
            QVERIFY2(bad.isEmpty(),
                     qPrintable(where + " left " + QString::fromLatin1(bad.toHex(' '))));
        }
    }
}

void PacketReaderTest::streamFedOneBytePerRead_deliversTheSame()
{
    QFETCH(QByteArray, stream);
    QFETCH(Trace, expected);
    QList<qsizetype> cuts;
    for (qsizetype cut = 1; cut < stream.size(); ++cut)
        cuts.append(cut);
    for (const ReaderLife life : {ReaderLife::WholeStream, ReaderLife::PerRead}) {
        QByteArray bad;
        QCOMPARE(feed(stream, cuts, &bad, life), expected);
        QVERIFY2(bad.isEmpty(), bad.toHex(' ').constData());
    }
}

void PacketReaderTest::dataPacketWaitsForFlagAfterItsEnd()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    reader.append("  " + delim() + "Dabc" + delim());
    drainInto(reader, trace);
    QCOMPARE(trace, Trace{});
    QCOMPARE(buffer, delim() + "Dabc" + delim());

    reader.append("E  ");
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{"Dabc", "E"}));
    QCOMPARE(buffer, QByteArray());
}

void PacketReaderTest::dataPacketWaitsInBufferFromItsDelimiterOn()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    reader.append(LinkProtocol::stateMessage('A') + "  " + delim() + "Dpart");
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{"A", "A"}));
    QCOMPARE(buffer, delim() + "Dpart");

    reader.append("ial" + delim() + "E");
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{"A", "A", "Dpartial", "E"}));
}

void PacketReaderTest::deferredStatePacket_staysAtHeadUntilNextEvent()
{
    using namespace LinkProtocol;
    QByteArray buffer;
    PacketReader reader(buffer);
    bool loopSyncPending = true;
    Trace trace;
    // The station's read handler: the first state packet after a loopback command waits for
    // the next event.
    const auto readEvent = [&](const QByteArray &bytes) {
        reader.append(bytes);
        while (const auto packet = reader.next()) {
            const bool state = packet->flag == kFlagNormal || packet->flag == kFlagLocalLoop ||
                               packet->flag == kFlagRemoteLoop;
            if (state && loopSyncPending) {
                loopSyncPending = false;
                reader.keepCurrent();
                break;
            }
            trace.append(entry(*packet));
        }
    };

    readEvent(dataMessage("one") + dataMessage("two") + stateMessage('L') + dataMessage("three"));
    QCOMPARE(trace, (Trace{"Done", "E", "Dtwo", "E"}));
    QVERIFY(buffer.startsWith(delim() + 'L'));

    readEvent(dataMessage("four"));
    QCOMPARE(trace, (Trace{"Done", "E", "Dtwo", "E", "L", "L", "Dthree", "E", "Dfour", "E"}));
    QCOMPARE(buffer, QByteArray());
}

void PacketReaderTest::keptDataPacket_comesOutAgainWhole()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    const QByteArray stream = LinkProtocol::dataMessage("kept") + LinkProtocol::dataMessage("x");
    reader.append(stream);
    const auto packet = reader.next();
    QVERIFY(packet);
    QCOMPARE(entry(*packet), QByteArray("Dkept"));
    reader.keepCurrent();
    QCOMPARE(buffer, stream.mid(2));

    Trace trace;
    reader.append(QByteArray());
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{"Dkept", "E", "Dx", "E"}));
}

void PacketReaderTest::bufferClearedFromOutside_readerStartsAfresh()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    // A long waiting packet makes the reader remember a search position far into it.
    reader.append(LinkProtocol::reflectedDataMessage(QByteArray(500, 'p')).left(400));
    drainInto(reader, trace);
    QVERIFY(reader.holdsIncompleteData());

    buffer.clear(); // as the station does when a new connection stands
    reader.append(LinkProtocol::reflectedDataMessage("fresh"));
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{"Dfresh", "E"}));
}

void PacketReaderTest::holdsIncompleteData_onlyWhileDataPacketWaits_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<bool>("waiting");
    const QByteArray message = LinkProtocol::dataMessage("abc");
    QTest::newRow("nothing") << QByteArray() << false;
    QTest::newRow("data without end") << message.left(17) << true;
    QTest::newRow("data end without flag") << message.left(message.size() - 1) << true;
    QTest::newRow("whole message") << message << false;
    QTest::newRow("lone delimiter") << delim() << false;
    QTest::newRow("state message") << LinkProtocol::stateMessage('A') << false;
    QTest::newRow("cut delimiter") << message.left(6) << false;
}

void PacketReaderTest::holdsIncompleteData_onlyWhileDataPacketWaits()
{
    QFETCH(QByteArray, stream);
    QFETCH(bool, waiting);
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    reader.append(stream);
    drainInto(reader, trace);
    QCOMPARE(reader.holdsIncompleteData(), waiting);
}

void PacketReaderTest::unknownFlagThenData_bothComeOutInOrder_data()
{
    QTest::addColumn<char>("flag");
    QTest::newRow("letter") << 'X';
    QTest::newRow("lower case d") << 'd';
    QTest::newRow("zero byte") << '\0';
    QTest::newRow("high byte") << '\xff';
    QTest::newRow("delimiter byte") << '\x02';
}

void PacketReaderTest::unknownFlagThenData_bothComeOutInOrder()
{
    QFETCH(char, flag);
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    reader.append(delim() + flag + "ignored" + LinkProtocol::dataMessage("abc"));
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{QByteArray(1, flag), "Dabc", "E"}));
}

void PacketReaderTest::clear_dropsPacketLeftFromPreviousConnection_data()
{
    QTest::addColumn<bool>("clearBetween");
    QTest::addColumn<Trace>("expected");
    QTest::newRow("cleared") << true << Trace{"Dfresh", "E"};
    // Without the clear the next connection's first delimiter would end the old packet.
    QTest::newRow("not cleared") << false << Trace{"Dpartial  ", "Dfresh", "E"};
}

void PacketReaderTest::clear_dropsPacketLeftFromPreviousConnection()
{
    QFETCH(bool, clearBetween);
    QFETCH(Trace, expected);
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    reader.append("  " + delim() + "Dpartial");
    drainInto(reader, trace);
    if (clearBetween) {
        reader.clear();
        QCOMPARE(buffer, QByteArray());
    }
    reader.append(LinkProtocol::dataMessage("fresh"));
    drainInto(reader, trace);
    QCOMPARE(trace, expected);
}

void PacketReaderTest::streamWithoutDelimiter_keepsBufferUnderTenBytes_data()
{
    QTest::addColumn<int>("readSize");
    QTest::newRow("1024-byte reads") << 1024;
    QTest::newRow("odd reads") << 997;
    QTest::newRow("one read") << 0;
}

void PacketReaderTest::streamWithoutDelimiter_keepsBufferUnderTenBytes()
{
    QFETCH(int, readSize);
    QRandomGenerator random(7);
    QByteArray stream;
    // Near-misses every so often so that the kept tail is exercised, not only the empty buffer.
    while (stream.size() < 4 * 1024 * 1024)
        stream += noDelimiterBytes(random.bounded(2000), random) + "\x01\x01TETHRA\x02x";
    const qsizetype step = readSize > 0 ? readSize : stream.size();

    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    qsizetype largest = 0;
    for (qsizetype at = 0; at < stream.size(); at += step) {
        reader.append(stream.mid(at, step));
        largest = std::max(largest, buffer.size());
        drainInto(reader, trace);
        largest = std::max(largest, buffer.size());
    }
    QVERIFY2(largest < 10, qPrintable(QString::number(largest)));
    QCOMPARE(trace, Trace{});
    reader.append(LinkProtocol::dataMessage("after"));
    drainInto(reader, trace);
    QCOMPARE(trace, (Trace{"Dafter", "E"}));
}

void PacketReaderTest::endlessDataPacket_isDroppedAndLaterMessageArrives_data()
{
    QTest::addColumn<int>("readSize");
    QTest::newRow("1024-byte reads") << 1024;
    QTest::newRow("one byte per read") << 1;
    QTest::newRow("one read") << 0;
}

void PacketReaderTest::endlessDataPacket_isDroppedAndLaterMessageArrives()
{
    QFETCH(int, readSize);
    QRandomGenerator random(11);
    const QByteArray stream = "  " + delim() + 'D' + noDelimiterBytes(3 * 1024 * 1024, random) +
                              LinkProtocol::dataMessage("after");
    const qsizetype step = readSize > 0 ? readSize : stream.size();

    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    qsizetype largest = 0;
    for (qsizetype at = 0; at < stream.size(); at += step) {
        reader.append(stream.mid(at, step));
        largest = std::max(largest, buffer.size());
        drainInto(reader, trace);
    }
    if (readSize > 0)
        QVERIFY2(largest <= PacketReader::kBufferBound, qPrintable(QString::number(largest)));
    QCOMPARE(trace, (Trace{"Dafter", "E"}));
}

void PacketReaderTest::dataPacketAtBound_isDeliveredOnlyIfItFits_data()
{
    QTest::addColumn<int>("payloadLength");
    QTest::addColumn<int>("readSize");
    QTest::addColumn<bool>("delivered");
    // From its delimiter to the flag after its end a data packet takes 22 bytes besides its
    // payload.
    const int largest = int(PacketReader::kBufferBound) - 22;
    for (const int readSize : {1024, 1, 0}) {
        const QString reads =
            readSize ? QStringLiteral("reads of %1").arg(readSize) : QStringLiteral("one read");
        QTest::newRow(qPrintable("largest, " + reads)) << largest << readSize << true;
        QTest::newRow(qPrintable("one more, " + reads)) << largest + 1 << readSize << false;
    }
}

void PacketReaderTest::dataPacketAtBound_isDeliveredOnlyIfItFits()
{
    QFETCH(int, payloadLength);
    QFETCH(int, readSize);
    QFETCH(bool, delivered);
    QRandomGenerator random(13);
    const QByteArray payload = noDelimiterBytes(payloadLength, random);
    const QByteArray stream = LinkProtocol::dataMessage(payload) + LinkProtocol::dataMessage("n");
    const qsizetype step = readSize > 0 ? readSize : stream.size();

    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    for (qsizetype at = 0; at < stream.size(); at += step) {
        reader.append(stream.mid(at, step));
        drainInto(reader, trace);
    }
    const Trace tail{"E", "Dn", "E"};
    QCOMPARE(trace.size(), delivered ? 4 : 3);
    if (delivered)
        QVERIFY(trace.first() == 'D' + payload);
    QCOMPARE(trace.mid(trace.size() - 3), tail);
}

void PacketReaderTest::randomStream_staysBoundedAndMatchesWholeStreamRules()
{
    QRandomGenerator random(2024);
    static constexpr char kFlags[] = {'A', 'L', 'R', 'D', 'D', 'D', 'E', 'X'};
    QByteArray stream;
    while (stream.size() < 6 * 1024 * 1024) {
        const int kind = random.bounded(1000);
        if (kind < 600)
            stream += delim() + kFlags[random.bounded(int(sizeof kFlags))];
        else if (kind < 630) // cut delimiter
            stream += delim().left(random.bounded(1, 10));
        else if (kind < 633) // long enough to reach the bound now and then
            stream += noDelimiterBytes(random.bounded(400 * 1024), random);
        else
            stream += noDelimiterBytes(random.bounded(300), random);
    }

    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    qsizetype largest = 0;
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype step =
            random.bounded(20) == 0 ? random.bounded(1, 65536) : random.bounded(1, 1025);
        reader.append(stream.mid(at, step));
        QVERIFY(buffer.size() <= PacketReader::kBufferBound + step);
        drainInto(reader, trace);
        largest = std::max(largest, buffer.size());
        QVERIFY(buffer.size() <= PacketReader::kBufferBound);
        QVERIFY2(holdsInvariant(buffer), buffer.left(16).toHex(' ').constData());
        at += step;
    }
    const Trace expected = referenceTrace(stream, PacketReader::kBufferBound);
    QVERIFY(largest > PacketReader::kBufferBound / 2); // the bound was exercised
    QVERIFY(std::count_if(expected.cbegin(), expected.cend(),
                          [](const QByteArray &e) { return e.startsWith('D'); }) > 1000);
    QCOMPARE(trace.size(), expected.size());
    QVERIFY(trace == expected);
}

QTEST_GUILESS_MAIN(PacketReaderTest)
#include "packetreader_test.moc"
