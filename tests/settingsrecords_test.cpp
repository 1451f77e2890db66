// The settings file as bytes: its exact lines, what a save and a load keep, and how edited or
// damaged files read.
#include "app/SettingsRecords.h"
#include "support/FakeServices.h"

#include <QTest>

#include <functional>

Q_DECLARE_METATYPE(SettingsRecords)

namespace
{

SettingsRecords sample(const std::function<void(SettingsRecords &)> &change = {})
{
    SettingsRecords records;
    records.portNumber = 4001;
    records.remoteHost = QStringLiteral("labpc.example");
    records.serialPort = 3;
    records.serialSettings = QStringLiteral("19200,e,7,2");
    records.handshaking = 2;
    records.rxLogFile = QStringLiteral("/var/log/tethra/rx.log");
    records.txLogFile = QStringLiteral("/var/log/tethra/tx.log");
    records.viewTraffic = true;
    records.autoResolveHostName = true;
    if (change)
        change(records);
    return records;
}

QByteArray encoded(const SettingsRecords &records)
{
    FakeRandom random;
    return encode(records, random);
}

// The sample's file with some lines (numbered from 0) replaced, lines ending in lineEnd.
QByteArray edited(const QMap<int, QByteArray> &lines, const QByteArray &lineEnd = "\r\n")
{
    QList<QByteArray> all = encoded(sample()).split('\n');
    all.removeLast();
    QByteArray file;
    for (int index = 0; index < all.size(); ++index)
        file += lines.value(index, all.at(index).chopped(1)) + lineEnd;
    return file;
}

} // namespace

class SettingsRecordsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encode_writesEveryRecordLineExactly();
    void saveThenLoad_roundTrip_data();
    void saveThenLoad_roundTrip();
    void load_readsEditedFile_data();
    void load_readsEditedFile();
    void load_stopsAtShortFileOrHugeNumber_data();
    void load_stopsAtShortFileOrHugeNumber();
};

void SettingsRecordsTest::encode_writesEveryRecordLineExactly()
{
    // Draws exact in binary; 0.5 gives 77.5, which rounds to the even 78 ("N").
    FakeRandom random;
    for (const double draw : {0.0, 0.5, 0.25, 0.75, 0.9999, 0.125, 0.375, 0.625, 0.875, 0.0625})
        random.queue(draw);
    const QByteArray file = encode(sample([](SettingsRecords &r) { r.portNumber = -12; }), random);
    QCOMPARE(file,
             QByteArray("\"TETHRA defaults\"\r\n\r\n-12\r\n\"labpc.example\"\r\n3\r\n"
                        "\"19200,e,7,2\"\r\n2\r\n\"\"\r\n\"\"\r\n\"\"\r\n\"ANGTZDJQWC\"\r\n0\r\n"
                        "\"/var/log/tethra/rx.log\"\r\n\"/var/log/tethra/tx.log\"\r\n"
                        "#TRUE#\r\n#FALSE#\r\n#TRUE#\r\n"));
}

void SettingsRecordsTest::saveThenLoad_roundTrip_data()
{
    QTest::addColumn<SettingsRecords>("records");
    QTest::newRow("sample") << sample();
    QTest::newRow("defaults") << SettingsRecords();
    QTest::newRow("everything flipped") << sample([](SettingsRecords &r) {
        r.viewTraffic = r.autoResolveHostName = false;
        r.runInServerMode = true;
        r.remoteHost = QStringLiteral("10.0.0.7");
        r.serialPort = 0;
        r.rxLogFile.clear();
    });
    QTest::newRow("extremes") << sample([](SettingsRecords &r) {
        r.portNumber = std::numeric_limits<qint32>::min();
        r.handshaking = std::numeric_limits<qint32>::max();
        r.remoteHost = QStringLiteral(" host, with comma ");
        r.txLogFile = QStringLiteral("/tmp/b\xe4r/tx log,1.log");
    });
}

void SettingsRecordsTest::saveThenLoad_roundTrip()
{
    QFETCH(SettingsRecords, records);
    FakeRandom random;
    random.queue(0.3);
    const SettingsReadResult result = decodeSettingsRecords(encode(records, random));
    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(result.recordsRead, 17);
    QCOMPARE(encoded(result.records), encoded(records));
}

void SettingsRecordsTest::load_readsEditedFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<SettingsRecords>("expected");
    const auto row = [](const char *name, const QByteArray &file,
                        const std::function<void(SettingsRecords &)> &change) {
        QTest::newRow(name) << file << sample(change);
    };
    row("bare line feeds", edited({}, "\n"), {});
    // The rest of a line cut by a quote is skipped, so the later records still line up.
    row("quote inside text", edited({{3, "\"lab\"pc\""}, {12, "\"/logs/a\"b.log\""}}),
        [](SettingsRecords &r) {
            r.remoteHost = QStringLiteral("lab");
            r.rxLogFile = QStringLiteral("/logs/a");
        });
    row("blanks before fields", edited({{2, "   9802"}, {3, "  \"quoted\""}, {15, "  #TRUE#"}}),
        [](SettingsRecords &r) {
            r.portNumber = 9802;
            r.remoteHost = QStringLiteral("quoted");
            r.runInServerMode = true;
        });
    row("blanks inside quotes", edited({{3, "\" 192.168.1.20 \""}}),
        [](SettingsRecords &r) { r.remoteHost = QStringLiteral(" 192.168.1.20 "); });
    // Only #TRUE# is true.
    for (const char *text : {"#true#", "#True#", "TRUE", "-1", "#TRUE# ", ""}) {
        QTest::addRow("Boolean '%s'", text)
            << edited({{14, text}, {16, text}})
            << sample([](SettingsRecords &r) { r.viewTraffic = r.autoResolveHostName = false; });
    }
    // Numbers as typed numbers read everywhere: the number at the start, halves to even.
    static const struct {
        const char *text;
        int value;
    } kNumbers[] = {{"8080", 8080}, {"abc", 0}, {"", 0},       {"9800.5", 9800},
                    {"12abc", 12},  {"-3", -3}, {"\"77\"", 77}};
    for (const auto &[text, value] : kNumbers) {
        QTest::addRow("number '%s'", text)
            << edited({{2, text}, {4, text}, {6, text}})
            << sample([value = value](SettingsRecords &r) {
                   r.portNumber = r.serialPort = r.handshaking = value;
               });
    }
}

void SettingsRecordsTest::load_readsEditedFile()
{
    QFETCH(QByteArray, file);
    QFETCH(SettingsRecords, expected);
    const SettingsReadResult result = decodeSettingsRecords(file);
    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(encoded(result.records), encoded(expected));
}

void SettingsRecordsTest::load_stopsAtShortFileOrHugeNumber_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("recordsRead");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("rxLogFile"); // empty: not read
    QTest::addColumn<QString>("txLogFile");
    const QList<QByteArray> lines = encoded(sample()).split('\n');
    for (const int kept : {0, 1, 12, 13, 14, 16}) {
        QTest::addRow("%d lines", kept)
            << lines.first(kept).join('\n') + (kept ? "\n" : "") << kept
            << QStringLiteral(
                   "Input past end of file: the settings file ends after record %1 of 17")
                   .arg(kept)
            << (kept >= 13 ? "/var/log/tethra/rx.log" : "")
            << (kept >= 14 ? "/var/log/tethra/tx.log" : "");
    }
    QTest::newRow("beyond 32 bits")
        << edited({{4, "2147483648"}}) << 4 << QStringLiteral("Overflow: record 5") << ""
        << "";
}

void SettingsRecordsTest::load_stopsAtShortFileOrHugeNumber()
{
    QFETCH(QByteArray, file);
    QFETCH(int, recordsRead);
    QFETCH(QString, error);
    QFETCH(QString, rxLogFile);
    QFETCH(QString, txLogFile);
    const SettingsReadResult result = decodeSettingsRecords(file);
    QVERIFY(!result.complete);
    QCOMPARE(result.recordsRead, recordsRead);
    QVERIFY2(result.error.startsWith(error), qPrintable(result.error));
    QCOMPARE(result.rxLogFile.value_or(QString()), rxLogFile);
    QCOMPARE(result.rxLogFile.has_value(), !rxLogFile.isEmpty());
    QCOMPARE(result.txLogFile.value_or(QString()), txLogFile);
    QCOMPARE(result.txLogFile.has_value(), !txLogFile.isEmpty());
}

QTEST_GUILESS_MAIN(SettingsRecordsTest)
#include "settingsrecords_test.moc"
