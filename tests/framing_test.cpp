// The link stream: every message byte for byte, and the reader that cuts a received stream
// into packets however the stream is split into reads.
#include "link/LinkProtocol.h"
#include "link/PacketReader.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <optional>

using namespace LinkProtocol;
using Trace = QList<QByteArray>; // one entry per packet: its flag, then its payload

namespace
{

// Written out byte by byte so that a wrong delimiter in the code cannot hide in the test.
const QByteArray kDelim("\x01\x01TETHRA\x02\x02", 10);

// The framing rules applied to a whole stream at once, as plainly as they can be written, to
// check the incremental reader against. A data packet longer than bound is left out.
Trace reference(const QByteArray &stream, qsizetype bound = PacketReader::kBufferBound)
{
    Trace trace;
    qsizetype start = stream.indexOf(kDelim);
    while (start >= 0 && start + 10 < stream.size()) {
        const char flag = stream.at(start + 10);
        const qsizetype end = stream.indexOf(kDelim, start + 11);
        const bool ended = end >= 0 && end + 10 < stream.size(); // with the flag after it
        if (flag != 'D')
            trace.append(QByteArray(1, flag));
        else if (!ended)
            break;
        else if (end - start + 11 <= bound)
            trace.append(flag + stream.mid(start + 11, end - start - 11));
        start = end;
    }
    return trace;
}

// Between reads the station holds nothing, a packet from its delimiter on, or a tail that may
// begin a delimiter cut by the read boundary.
bool heldRightly(const QByteArray &buffer)
{
    return buffer.startsWith(kDelim) || (buffer.size() < 10 && kDelim.startsWith(buffer));
}

void drain(PacketReader &reader, Trace &trace)
{
    while (const auto packet = reader.next())
        trace.append(packet->flag + packet->payload);
}

// Feeds the stream in reads ending at the given offsets, the reader living for the whole stream
// or made anew per read. After every read the buffer must be held rightly within its bound, the
// reader must tell whether a data packet waits and, unless only the end is checked, what came
// out must be what the rules give for the bytes so far.
Trace feed(const QByteArray &stream, QList<qsizetype> ends, bool readerPerRead = false,
           bool onlyEnd = false)
{
    QByteArray buffer;
    std::optional<PacketReader> reader;
    Trace trace;
    qsizetype from = 0;
    ends.append(stream.size());
    for (const qsizetype end : ends) {
        if (!reader || readerPerRead)
            reader.emplace(buffer);
        reader->append(stream.mid(from, end - from));
        from = end;
        drain(*reader, trace);
        const bool waiting = buffer.startsWith(kDelim + 'D');
        if ((!onlyEnd && trace != reference(stream.left(end))) || !heldRightly(buffer) ||
            buffer.size() > PacketReader::kBufferBound ||
            reader->holdsIncompleteData() != waiting) {
            qWarning("read ending at %lld: %s", qlonglong(end), buffer.left(16).toHex(' ').data());
            return {"wrong"};
        }
    }
    return trace;
}

QByteArray noDelimiter(qsizetype length, QRandomGenerator &random)
{
    QByteArray bytes(length, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(2 + random.bounded(254)); // never 0x01, so never a delimiter
    return bytes;
}

} // namespace

class FramingTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void message_hasExactLayout_data();
    void message_hasExactLayout();
    void longChunk_isSplitLosslessly_data();
    void longChunk_isSplitLosslessly();
    void stream_deliversEveryPacketOnceInOrderHoweverSplit_data();
    void stream_deliversEveryPacketOnceInOrderHoweverSplit();
    void keptPacket_comesOutAgainAfterNextRead();
    void bufferClearedOnNewConnection_readerStartsAfresh();
    void dataPacketAtBound_isDeliveredOnlyIfItFits_data();
    void dataPacketAtBound_isDeliveredOnlyIfItFits();
    void randomStream_staysBoundedAndFollowsTheRules();
};

void FramingTest::message_hasExactLayout_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray sp("  ");
    const QByteArray binary("\x00\x01\xff\r\n", 5);
    QTest::newRow("data") << dataMessage(binary) << sp + kDelim + 'D' + binary + kDelim + 'E';
    QTest::newRow("empty data") << dataMessage({}) << sp + kDelim + 'D' + kDelim + 'E';
    QTest::newRow("reflected") << reflectedDataMessage("abc") << kDelim + "Dabc" + kDelim + 'E';
    QTest::newRow("test, draw above half")
        << testMessage(testText(0.5000001))
        << sp + kDelim + "DThis is a TETHRA test message\r\n" + kDelim + 'E';
    QTest::newRow("test, draw of half")
        << testMessage(testText(0.5))
        << sp + kDelim + "DAnother test message for TETHRA\r\n" + kDelim + 'E';
    for (const char flag : {'A', 'L', 'R'}) {
        QTest::addRow("state %c", flag) << stateMessage(flag) << (sp + kDelim + flag).repeated(2);
        QTest::addRow("loopback change %c", flag) << loopbackChangeMessage(flag) << kDelim + flag;
    }
}

void FramingTest::message_hasExactLayout()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, expected);
    QCOMPARE(message.toHex(' '), expected.toHex(' '));
}

void FramingTest::longChunk_isSplitLosslessly_data()
{
    QTest::addColumn<bool>("reflected");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("messages");
    for (const bool reflected : {false, true}) {
        const int largest = reflected ? 32745 : 32743; // what fits a 32767-byte write
        const char *kind = reflected ? "reflected" : "data";
        QTest::addRow("%s, empty", kind) << reflected << 0 << 1;
        QTest::addRow("%s, largest single", kind) << reflected << largest << 1;
        QTest::addRow("%s, one over", kind) << reflected << largest + 1 << 2;
        QTest::addRow("%s, 100000", kind) << reflected << 100000 << 4;
    }
}

void FramingTest::longChunk_isSplitLosslessly()
{
    QFETCH(bool, reflected);
    QFETCH(int, length);
    QFETCH(int, messages);
    QByteArray chunk(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        chunk[i] = char(i * 7 + i / 251);
    const Trace sent = reflected ? reflectedDataMessagesFor(chunk) : dataMessagesFor(chunk);
    QCOMPARE(sent.size(), messages);
    QByteArray joined;
    for (const QByteArray &message : sent) {
        QVERIFY(message.size() <= 32767);
        joined += message;
    }
    QByteArray received;
    for (const QByteArray &packet : feed(joined, {}))
        received += packet.startsWith('D') ? packet.mid(1) : QByteArray();
    QCOMPARE(received, chunk);
}

void FramingTest::stream_deliversEveryPacketOnceInOrderHoweverSplit_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<Trace>("expected");
    const QByteArray binary("\x00\x01\x02\xff\r\n\x01\x01TET", 12);
    QTest::newRow("state, data, data, state")
        << stateMessage('A') + dataMessage("first") + dataMessage(binary) + stateMessage('L')
        << Trace{"A", "A", "Dfirst", "E", 'D' + binary, "E", "L", "L"};
    QTest::newRow("empty data") << dataMessage({}) << Trace{"D", "E"};
    // Almost-delimiters inside the data, one right before the real closing delimiter.
    const QByteArray nearMiss("\x01\x01TETHRA\x02x\x01\x01TETHRA\x02\x01\x01T");
    QTest::newRow("near-miss delimiters in data")
        << dataMessage(nearMiss) + stateMessage('R') << Trace{'D' + nearMiss, "E", "R", "R"};
    QTest::newRow("reflected data, loopback change")
        << reflectedDataMessage("xyz") + loopbackChangeMessage('R') << Trace{"Dxyz", "E", "R"};
    QTest::newRow("garbage ending in delimiter bytes")
        << QByteArray("junk\x01\x01TE\x01") + dataMessage("abc") << Trace{"Dabc", "E"};
    QTest::newRow("delimiter inside data")
        << dataMessage("ab" + kDelim + "Zcd") << Trace{"Dab", "Z", "E"};
    QTest::newRow("unknown flags, then data")
        << kDelim + "Xignored" + kDelim + 'd' + kDelim + '\0' + kDelim + '\xff' + kDelim + '\x02' +
               dataMessage("abc")
        << Trace{"X", "d", QByteArray(1, '\0'), "\xff", "\x02", "Dabc", "E"};
}

void FramingTest::stream_deliversEveryPacketOnceInOrderHoweverSplit()
{
    QFETCH(QByteArray, stream);
    QFETCH(Trace, expected);
    QCOMPARE(reference(stream), expected);
    QList<qsizetype> everyByte;
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        everyByte.append(cut);
        for (const bool perRead : {false, true})
            QVERIFY2(feed(stream, {cut}, perRead) == expected, qPrintable(QString::number(cut)));
    }
    QCOMPARE(feed(stream, everyByte), expected);
    QCOMPARE(feed(stream, everyByte, true), expected);
}

// The station puts back the first state packet after a loopback command, to be handled at the
// next read; the reader puts a data packet back just as well.
void FramingTest::keptPacket_comesOutAgainAfterNextRead()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    QByteArray keep = "DL";
    const auto readEvent = [&](const QByteArray &bytes) {
        reader.append(bytes);
        while (const auto packet = reader.next()) {
            if (keep.startsWith(packet->flag)) {
                keep.remove(0, 1);
                reader.keepCurrent();
                break;
            }
            trace.append(packet->flag + packet->payload);
        }
    };
    readEvent(dataMessage("one") + stateMessage('L') + dataMessage("two"));
    QCOMPARE(trace, Trace{});
    readEvent({});
    readEvent(dataMessage("three"));
    QCOMPARE(trace, (Trace{"Done", "E", "L", "L", "Dtwo", "E", "Dthree", "E"}));
    QCOMPARE(buffer, QByteArray());
}

void FramingTest::bufferClearedOnNewConnection_readerStartsAfresh()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    // A long waiting packet makes the reader remember a search position far into it.
    reader.append(reflectedDataMessage(QByteArray(500, 'p')).left(400));
    QVERIFY(!reader.next());
    buffer.clear();
    reader.append(reflectedDataMessage("fresh"));
    Trace trace;
    drain(reader, trace);
    QCOMPARE(trace, (Trace{"Dfresh", "E"}));
}

void FramingTest::dataPacketAtBound_isDeliveredOnlyIfItFits_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("delivered");
    // From its delimiter to the flag after its end a data packet takes 22 bytes more.
    QTest::newRow("largest") << int(PacketReader::kBufferBound) - 22 << true;
    QTest::newRow("one more") << int(PacketReader::kBufferBound) - 21 << false;
}

void FramingTest::dataPacketAtBound_isDeliveredOnlyIfItFits()
{
    QFETCH(int, length);
    QFETCH(bool, delivered);
    QRandomGenerator random(13);
    const QByteArray stream = dataMessage(noDelimiter(length, random)) + dataMessage("n");
    QList<qsizetype> reads;
    for (qsizetype end = 1021; end < stream.size(); end += 1021)
        reads.append(end);
    QCOMPARE(feed(stream, {}).size(), delivered ? 4 : 3);
    QCOMPARE(feed(stream, reads).size(), delivered ? 4 : 3);
}

// Long runs without a delimiter, some after a data flag to reach the bound, in reads of
// random size.
void FramingTest::randomStream_staysBoundedAndFollowsTheRules()
{
    QRandomGenerator random(2024);
    static constexpr char kFlags[] = {'A', 'L', 'R', 'D', 'D', 'D', 'E', 'X'};
    QByteArray stream;
    while (stream.size() < 6 * 1024 * 1024) {
        const int kind = random.bounded(1000);
        if (kind < 600)
            stream += kDelim + kFlags[random.bounded(int(sizeof kFlags))];
        else if (kind < 630)
            stream += kDelim.left(random.bounded(1, 10));
        else
            stream += noDelimiter(random.bounded(kind < 633 ? 400 * 1024 : 300), random);
    }
    QList<qsizetype> ends{0};
    while (ends.last() < stream.size())
        ends.append(ends.last() +
                    (random.bounded(20) ? random.bounded(1, 1025) : random.bounded(1, 65536)));
    ends.removeLast();
    const Trace expected = reference(stream);
    QVERIFY(expected != reference(stream, stream.size())); // the bound was reached
    QVERIFY(std::count_if(expected.cbegin(), expected.cend(),
                          [](const QByteArray &e) { return e.startsWith('D'); }) > 1000);
    QVERIFY(feed(stream, ends, false, true) == expected);
}

QTEST_GUILESS_MAIN(FramingTest)
#include "framing_test.moc"
