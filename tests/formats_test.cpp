// The formats the station reads and writes: the link stream byte for byte and the reader that
// cuts it into packets however it is split into reads; the settings file; typed numbers,
// addresses and log paths.
#include "app/Routines.h"
#include "app/SettingsRecords.h"
#include "link/LinkProtocol.h"
#include "link/PacketReader.h"
#include "support/FakeServices.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

using namespace LinkProtocol;
using namespace Routines;
using Trace = QList<QByteArray>; // one entry per packet: its flag, then its payload
using Change = std::function<void(SettingsRecords &)>;

namespace
{
// Written out byte by byte so that a wrong delimiter in the code cannot hide in the test.
const QByteArray kDelim("\x01\x01TETHRA\x02\x02", 10);

// The framing rules applied to a whole stream at once, as plainly as they can be written, to
// check the incremental reader against. A data packet longer than the bound is left out.
Trace reference(const QByteArray &stream)
{
    Trace trace;
    qsizetype start = stream.indexOf(kDelim);
    while (start >= 0 && start + 10 < stream.size()) {
        const char flag = stream.at(start + 10);
        const qsizetype end = stream.indexOf(kDelim, start + 11);
        if (flag != 'D')
            trace.append(QByteArray(1, flag));
        else if (end < 0 || end + 10 >= stream.size()) // the flag after the end not yet in
            break;
        else if (end - start + 11 <= PacketReader::kBufferBound)
            trace.append(flag + stream.mid(start + 11, end - start - 11));
        start = end;
    }
    return trace;
}

// Feeds the stream in reads ending at the given offsets, the reader living for the whole stream
// or made anew per read. After every read the buffer holds nothing, a packet from its delimiter
// on, or a tail that may begin a cut delimiter, within its bound; the reader tells whether a
// data packet waits; and what came out is what the rules give for the bytes so far.
Trace feed(const QByteArray &stream, QList<qsizetype> ends, bool readerPerRead = false)
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
        while (const auto packet = reader->next())
            trace.append(packet->flag + packet->payload);
        const bool held =
            buffer.startsWith(kDelim) || (buffer.size() < 10 && kDelim.startsWith(buffer));
        if (trace != reference(stream.left(end)) || !held ||
            buffer.size() > PacketReader::kBufferBound ||
            reader->holdsIncompleteData() != buffer.startsWith(kDelim + 'D')) {
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

SettingsRecords sample(const Change &change = {})
{
    SettingsRecords r;
    r.portNumber = 4001;
    r.remoteHost = QStringLiteral("labpc.example");
    r.serialPort = 3;
    r.serialSettings = QStringLiteral("19200,e,7,2");
    r.handshaking = 2;
    r.rxLogFile = QStringLiteral("/var/log/tethra/rx.log");
    r.txLogFile = QStringLiteral("/var/log/tethra/tx.log");
    r.viewTraffic = r.autoResolveHostName = true;
    if (change)
        change(r);
    return r;
}

QByteArray encoded(const SettingsRecords &records)
{
    FakeRandom random;
    return encode(records, random);
}

// The sample's file with some lines (numbered from 0) replaced, lines ending in lineEnd.
QByteArray edited(const QMap<int, QByteArray> &lines, const QByteArray &lineEnd = "\r\n")
{
    const QList<QByteArray> all = encoded(sample()).split('\n');
    QByteArray file;
    for (int index = 0; index + 1 < all.size(); ++index)
        file += lines.value(index, all.at(index).chopped(1)) + lineEnd;
    return file;
}

} // namespace

class FormatsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void message_hasExactLayout_data();
    void message_hasExactLayout();
    void longChunk_isSplitLosslessly_data();
    void longChunk_isSplitLosslessly();
    void stream_deliversEveryPacketOnceInOrderHoweverSplit_data();
    void stream_deliversEveryPacketOnceInOrderHoweverSplit();
    void reader_keepsPacketsAndStartsAfresh();
    void dataPacketAtBound_isDeliveredOnlyIfItFits_data();
    void dataPacketAtBound_isDeliveredOnlyIfItFits();
    void settings_encodeWritesEveryLineExactly();
    void settings_read_data();
    void settings_read();
    void textRoutines_data();
    void textRoutines();
};

void FormatsTest::message_hasExactLayout_data()
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

void FormatsTest::message_hasExactLayout()
{
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, expected);
    QCOMPARE(message.toHex(' '), expected.toHex(' '));
}

void FormatsTest::longChunk_isSplitLosslessly_data()
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

void FormatsTest::longChunk_isSplitLosslessly()
{
    QFETCH(bool, reflected);
    QFETCH(int, length);
    QFETCH(int, messages);
    QByteArray chunk(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        chunk[i] = char(i * 7 + i / 251);
    const Trace sent = reflected ? reflectedDataMessagesFor(chunk) : dataMessagesFor(chunk);
    QCOMPARE(sent.size(), messages);
    QVERIFY(std::all_of(sent.cbegin(), sent.cend(), [](auto &m) { return m.size() <= 32767; }));
    QByteArray received;
    for (const QByteArray &packet : feed(sent.join(), {}))
        received += packet.startsWith('D') ? packet.mid(1) : QByteArray();
    QCOMPARE(received, chunk);
}

void FormatsTest::stream_deliversEveryPacketOnceInOrderHoweverSplit_data()
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

void FormatsTest::stream_deliversEveryPacketOnceInOrderHoweverSplit()
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
// next read; the reader puts a data packet back just as well. A buffer cleared for a new link
// starts the reader afresh, though it had a search position far into a long waiting packet.
void FormatsTest::reader_keepsPacketsAndStartsAfresh()
{
    QByteArray buffer;
    PacketReader reader(buffer);
    Trace trace;
    QByteArray keep = "DL";
    for (const QByteArray &bytes :
         {dataMessage("one") + stateMessage('L') + dataMessage("two"), {}, dataMessage("three")}) {
        reader.append(bytes);
        while (const auto packet = reader.next()) {
            if (keep.startsWith(packet->flag)) {
                keep.remove(0, 1);
                reader.keepCurrent();
                break;
            }
            trace.append(packet->flag + packet->payload);
        }
    }
    QCOMPARE(trace, (Trace{"Done", "E", "L", "L", "Dtwo", "E", "Dthree", "E"}));
    QCOMPARE(buffer, QByteArray());
    reader.append(reflectedDataMessage(QByteArray(500, 'p')).left(400));
    QVERIFY(!reader.next());
    buffer.clear();
    reader.append(reflectedDataMessage("fresh"));
    while (const auto packet = reader.next())
        trace.append(packet->flag + packet->payload);
    QCOMPARE(trace.last(2), (Trace{"Dfresh", "E"}));
    QCOMPARE(trace.size(), 10);
}

void FormatsTest::dataPacketAtBound_isDeliveredOnlyIfItFits_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("delivered");
    // From its delimiter to the flag after its end a data packet takes 22 bytes more.
    QTest::newRow("largest") << int(PacketReader::kBufferBound) - 22 << true;
    QTest::newRow("one more") << int(PacketReader::kBufferBound) - 21 << false;
}

void FormatsTest::dataPacketAtBound_isDeliveredOnlyIfItFits()
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

void FormatsTest::settings_encodeWritesEveryLineExactly()
{
    // Draws exact in binary; 0.5 gives 77.5, which rounds to the even 78 ("N").
    FakeRandom random;
    for (const double draw : {0.0, 0.5, 0.25, 0.75, 0.9999, 0.125, 0.375, 0.625, 0.875, 0.0625})
        random.queue(draw);
    QCOMPARE(encode(sample([](SettingsRecords &r) { r.portNumber = -12; }), random),
             QByteArray("\"TETHRA defaults\"\r\n\r\n-12\r\n\"labpc.example\"\r\n3\r\n"
                        "\"19200,e,7,2\"\r\n2\r\n\"\"\r\n\"\"\r\n\"\"\r\n\"ANGTZDJQWC\"\r\n0\r\n"
                        "\"/var/log/tethra/rx.log\"\r\n\"/var/log/tethra/tx.log\"\r\n"
                        "#TRUE#\r\n#FALSE#\r\n#TRUE#\r\n"));
}

// Saved files read back whole, edited files as the rules say; a short file or a number beyond
// 32 bits stops the reading, the log paths kept when reading got past them.
void FormatsTest::settings_read_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    const auto row = [](const QString &name, const QByteArray &file, const Change &change) {
        QTest::newRow(qPrintable(name))
            << file << "17 " + QString::fromLatin1(encoded(sample(change)));
    };
    const Change defaults = [](SettingsRecords &r) { r = {}; };
    const Change extremes = [](SettingsRecords &r) {
        r.portNumber = std::numeric_limits<qint32>::min();
        r.handshaking = std::numeric_limits<qint32>::max();
        r.remoteHost = QStringLiteral(" host, with comma ");
        r.txLogFile = QStringLiteral("/tmp/b\xe4r/tx log,1.log");
    };
    row("saved defaults", encoded(sample(defaults)), defaults);
    row("saved extremes", encoded(sample(extremes)), extremes);
    row("bare line feeds", edited({}, "\n"), {});
    // The rest of a line cut by a quote is skipped, so the later records still line up.
    row("quote inside text", edited({{3, "\"lab\"pc\""}, {12, "\"/logs/a\"b.log\""}}),
        [](SettingsRecords &r) { r.remoteHost = "lab", r.rxLogFile = "/logs/a"; });
    row("blanks before fields", edited({{2, "   9802"}, {3, "  \"quoted\""}, {15, "  #TRUE#"}}),
        [](SettingsRecords &r) {
            r.portNumber = 9802, r.remoteHost = "quoted", r.runInServerMode = true;
        });
    row("blanks inside quotes", edited({{3, "\" 192.168.1.20 \""}}),
        [](SettingsRecords &r) { r.remoteHost = QStringLiteral(" 192.168.1.20 "); });
    for (const char *text : {"#true#", "TRUE", "-1", "#TRUE# ", ""}) // only #TRUE# is true
        row(QStringLiteral("Boolean '%1'").arg(text), edited({{14, text}, {16, text}}),
            [](SettingsRecords &r) { r.viewTraffic = r.autoResolveHostName = false; });
    // Numbers as typed numbers read everywhere: the number at the start, halves to even.
    for (const QString number : {"abc=0", "=0", "9800.5=9800", "12abc=12", "-3=-3", "\"77\"=77"}) {
        const QByteArray text = number.section('=', 0, 0).toLatin1();
        row("number " + number, edited({{2, text}, {4, text}, {6, text}}),
            [value = number.section('=', 1).toInt()](SettingsRecords &r) {
                r.portNumber = r.serialPort = r.handshaking = value;
            });
    }
    const QList<QByteArray> lines = encoded(sample()).split('\n');
    for (const int kept : {0, 1, 12, 13, 14, 16}) {
        QTest::addRow("%d lines", kept)
            << lines.first(kept).join('\n') + (kept ? "\n" : "")
            << QStringLiteral("%1 Input past end of file: the settings file ends after record %1 "
                              "of 17; rx %2; tx %3")
                   .arg(kept)
                   .arg(kept >= 13 ? sample().rxLogFile : "-",
                        kept >= 14 ? sample().txLogFile : "-");
    }
    QTest::newRow("beyond 32 bits") << edited({{4, "2147483648"}})
                                    << "4 Overflow: record 5 of the settings file is beyond the "
                                       "32-bit range; rx -; tx -";
}

void FormatsTest::settings_read()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    const SettingsReadResult r = decodeSettingsRecords(file);
    QCOMPARE(r.complete ? "17 " + QString::fromLatin1(encoded(r.records))
                        : QStringLiteral("%1 %2; rx %3; tx %4")
                              .arg(QString::number(r.recordsRead), r.error,
                                   r.rxLogFile.value_or("-"), r.txLogFile.value_or("-")),
             expected);
    QCOMPARE(r.recordsRead, r.complete ? 17 : expected.section(' ', 0, 0).toInt());
}

// Addresses as typed: dots counted, only the blank trimmed, the numbers themselves not checked.
// Log paths: one trailing separator dropped, then folder and name split at the last one, a
// backslash being an ordinary character.
// Typed numbers: the number at the start, rounded half to even; one beyond every range must not
// read as 0, so that callers see it does not fit.
void FormatsTest::textRoutines_data()
{
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    // Each row is the text, '=', and what the routine gives for it.
    const auto add = [](const char *routine, std::initializer_list<const char *> rows) {
        for (const QString row : rows)
            QTest::addRow("%s '%s'", routine, qPrintable(row.section('=', 0, 0)))
                << routine << row.section('=', 0, 0) << row.section('=', 1);
    };
    add("address", {"192.168.1.20=yes", "  192 .168. 1.20   =yes", "...=yes", "1234.5.6.78901=yes",
                    "=no", "    =no", "192.168.1=no", "1.2.3.4.5=no", "a.b.c.d=no",
                    "192.168.1.2x=no", "\t192.168.1.20=no", "-1.2.3.4=no"});
    add("path", {"/home/lab/logs/rx.log=/home/lab/logs/rx.log|/home/lab/logs/|rx.log",
                 "/rx.log=/rx.log|/|rx.log", "/home/lab/logs/=/home/lab/logs|/home/lab/|logs",
                 "/home/lab//=/home/lab/|/home/lab/|", "rx.log=rx.log||", "/=||",
                 "/logs/ rx .log =/logs/ rx .log |/logs/| rx .log ", "C:\\logs\\=C:\\logs\\||"});
    add("number", {"abc=0 0", "\t 8080=8080 8080", "98 01=9801 9801", "0.5=0.5 0",
                   "9801.5=9801.5 9802", "9800.5=9800.5 9800"});
    add("number", {"2.4999=2.4999 2", "2.5001=2.5001 3", "-2.5=-2.5 -2", "-1.5=-1.5 -2",
                   "- 2.6=-2.6 -3", "+42=42 42"});
    add("number", {"-.25=-0.25 0", "80ab90=80 80", "1.2.3=1.2 1", "5-3=5 5", "-=0 0", ".=0 0"});
    add("number", {"--5=0 0", "1e3=1 1", "40000.=40000 40000"});
    add("number", {"-1000000000000000000000000000000=-1e+30 -9223372036854775808"});
    QTest::newRow("400 nines") << "number" << QString(400, QLatin1Char('9'))
                               << "inf 9223372036854775807";
}

void FormatsTest::textRoutines()
{
    QFETCH(QString, routine);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const double number = ParseLeadingNumber(text);
    const QString got =
        routine == "address" ? QString(IsIPAddress(text) ? "yes" : "no")
        : routine == "path"
            ? QStringList{StripTrailingBackslash(text), LogFilePath(text), LogFileName(text)}.join(
                  '|')
            : QString::number(number, 'g', 12) + ' ' + QString::number(RoundHalfEven(number));
    QCOMPARE(got, expected);
    QCOMPARE(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
}

QTEST_GUILESS_MAIN(FormatsTest)
#include "formats_test.moc"
