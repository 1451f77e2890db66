#include "app/SettingsRecords.h"
#include "platform/RandomSource.h"

#include <QList>
#include <QRegularExpression>
#include <QTest>

namespace
{

// Hands out the given draws in turn, then starts over.
class FixedRandom final : public RandomSource
{
public:
    explicit FixedRandom(QList<double> draws) : m_draws(std::move(draws)) {}
    double next() override { return m_draws.at(m_index++ % m_draws.size()); }

private:
    QList<double> m_draws;
    int m_index = 0;
};

SettingsRecords sampleRecords()
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
    records.runInServerMode = false;
    records.autoResolveHostName = true;
    return records;
}

QByteArray encodeWithFixedDraws(const SettingsRecords &records)
{
    FixedRandom random({0.0});
    return encode(records, random);
}

// The lines of an encoded file, with their CR LF removed.
QList<QByteArray> recordLines(const QByteArray &file)
{
    QList<QByteArray> lines = file.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

QByteArray joinLines(const QList<QByteArray> &lines, const QByteArray &lineEnd = "\r\n")
{
    QByteArray file;
    for (const QByteArray &line : lines)
        file += line + lineEnd;
    return file;
}

} // namespace

class SettingsRecordsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void encode_writesEveryRecordLineExactly();
    void encode_fillerLettersStayWithinAToZ();
    void saveThenLoad_roundTrip_data();
    void saveThenLoad_roundTrip();
    void load_bareLineFeeds_readLikeCrLf();
    void load_quoteInsideText_cutsTextAtThatQuote();
    void load_blanksBeforeUnquotedField_areSkipped();
    void load_addressWithBlanksInsideQuotes_keepsBlanks();
    void load_booleans_matchOnlyExactUpperCaseTrue_data();
    void load_booleans_matchOnlyExactUpperCaseTrue();
    void load_numberFields_readLeadingNumber_data();
    void load_numberFields_readLeadingNumber();
    void load_numberBeyond32Bits_stopsWithError();
    void load_shortFile_stopsAndKeepsOnlyLogPathsReadSoFar_data();
    void load_shortFile_stopsAndKeepsOnlyLogPathsReadSoFar();
};

void SettingsRecordsTest::encode_writesEveryRecordLineExactly()
{
    // Draws chosen to be exact in binary; 0.5 gives 77.5, which rounds to the even 78 ("N").
    FixedRandom random({0.0, 0.5, 0.25, 0.75, 0.9999, 0.125, 0.375, 0.625, 0.875, 0.0625});
    SettingsRecords records = sampleRecords();
    records.portNumber = -12;

    const QByteArray file = encode(records, random);

    const QByteArray expected = "\"TETHRA defaults\"\r\n"
                                "\r\n"
                                "-12\r\n"
                                "\"labpc.example\"\r\n"
                                "3\r\n"
                                "\"19200,e,7,2\"\r\n"
                                "2\r\n"
                                "\"\"\r\n"
                                "\"\"\r\n"
                                "\"\"\r\n"
                                "\"ANGTZDJQWC\"\r\n"
                                "0\r\n"
                                "\"/var/log/tethra/rx.log\"\r\n"
                                "\"/var/log/tethra/tx.log\"\r\n"
                                "#TRUE#\r\n"
                                "#FALSE#\r\n"
                                "#TRUE#\r\n";
    const QList<QByteArray> lines = recordLines(file);
    const QList<QByteArray> expectedLines = recordLines(expected);
    QCOMPARE(lines.size(), SettingsRecords::kRecordCount);
    for (int i = 0; i < SettingsRecords::kRecordCount; ++i)
        QCOMPARE(lines.at(i), expectedLines.at(i));
    QCOMPARE(file, expected);
}

void SettingsRecordsTest::encode_fillerLettersStayWithinAToZ()
{
    SystemRandom random;
    const QRegularExpression filler(QStringLiteral("^\"([A-Z]{10})\"$"));
    QString seen;
    for (int save = 0; save < 2000; ++save) {
        const QList<QByteArray> lines = recordLines(encode(sampleRecords(), random));
        QCOMPARE(lines.size(), SettingsRecords::kRecordCount);
        const QRegularExpressionMatch match = filler.match(QString::fromLatin1(lines.at(10)));
        QVERIFY2(match.hasMatch(), lines.at(10).constData());
        seen += match.captured(1);
    }
    // 20000 letters: every letter, the rarer "A" and "Z" included, shows up.
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        QVERIFY2(seen.contains(QLatin1Char(letter)), &letter);
}

void SettingsRecordsTest::saveThenLoad_roundTrip_data()
{
    QTest::addColumn<int>("variant");
    QTest::newRow("sample") << 0;
    QTest::newRow("defaults") << 1;
    QTest::newRow("everything flipped") << 2;
    QTest::newRow("extremes") << 3;
}

void SettingsRecordsTest::saveThenLoad_roundTrip()
{
    QFETCH(int, variant);
    SettingsRecords records = sampleRecords();
    if (variant == 1) {
        records = SettingsRecords();
    } else if (variant == 2) {
        records.viewTraffic = false;
        records.runInServerMode = true;
        records.autoResolveHostName = false;
        records.remoteHost = QStringLiteral("10.0.0.7");
        records.serialPort = 0;
        records.rxLogFile.clear();
    } else if (variant == 3) {
        records.portNumber = std::numeric_limits<qint32>::min();
        records.serialPort = 16;
        records.handshaking = std::numeric_limits<qint32>::max();
        records.remoteHost = QStringLiteral(" host, with comma ");
        records.txLogFile = QStringLiteral("/tmp/b\xe4r/tx log,1.log");
    }

    FixedRandom random({0.3, 0.7});
    const SettingsReadResult result = decodeSettingsRecords(encode(records, random));

    QVERIFY2(result.complete, qPrintable(result.error));
    QVERIFY(result.error.isEmpty());
    QCOMPARE(result.recordsRead, SettingsRecords::kRecordCount);
    const SettingsRecords &read = result.records;
    QCOMPARE(read.portNumber, records.portNumber);
    QCOMPARE(read.remoteHost, records.remoteHost);
    QCOMPARE(read.serialPort, records.serialPort);
    QCOMPARE(read.serialSettings, records.serialSettings);
    QCOMPARE(read.handshaking, records.handshaking);
    QCOMPARE(read.rxLogFile, records.rxLogFile);
    QCOMPARE(read.txLogFile, records.txLogFile);
    QCOMPARE(read.viewTraffic, records.viewTraffic);
    QCOMPARE(read.runInServerMode, records.runInServerMode);
    QCOMPARE(read.autoResolveHostName, records.autoResolveHostName);
}

void SettingsRecordsTest::load_bareLineFeeds_readLikeCrLf()
{
    const QList<QByteArray> lines = recordLines(encodeWithFixedDraws(sampleRecords()));

    const SettingsReadResult result = decodeSettingsRecords(joinLines(lines, "\n"));

    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(result.records.portNumber, 4001);
    QCOMPARE(result.records.remoteHost, QStringLiteral("labpc.example"));
    QCOMPARE(result.records.txLogFile, QStringLiteral("/var/log/tethra/tx.log"));
    QCOMPARE(result.records.autoResolveHostName, true);
}

void SettingsRecordsTest::load_quoteInsideText_cutsTextAtThatQuote()
{
    SettingsRecords records = sampleRecords();
    records.remoteHost = QStringLiteral("lab\"pc");
    records.rxLogFile = QStringLiteral("/logs/a\"b.log");

    const SettingsReadResult result = decodeSettingsRecords(encodeWithFixedDraws(records));

    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(result.records.remoteHost, QStringLiteral("lab"));
    QCOMPARE(result.records.rxLogFile, QStringLiteral("/logs/a"));
    // The rest of each cut line is skipped, so the later records still line up.
    QCOMPARE(result.records.serialPort, 3);
    QCOMPARE(result.records.txLogFile, QStringLiteral("/var/log/tethra/tx.log"));
    QCOMPARE(result.records.viewTraffic, true);
}

void SettingsRecordsTest::load_blanksBeforeUnquotedField_areSkipped()
{
    QList<QByteArray> lines = recordLines(encodeWithFixedDraws(sampleRecords()));
    lines[2] = "   9802";
    lines[3] = "  \"quoted after blanks\"";
    lines[14] = "  #TRUE#";
    lines[15] = "unquoted host text";

    const SettingsReadResult result = decodeSettingsRecords(joinLines(lines));

    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(result.records.portNumber, 9802);
    QCOMPARE(result.records.remoteHost, QStringLiteral("quoted after blanks"));
    QCOMPARE(result.records.viewTraffic, true);
    QCOMPARE(result.records.runInServerMode, false);
}

void SettingsRecordsTest::load_addressWithBlanksInsideQuotes_keepsBlanks()
{
    SettingsRecords records = sampleRecords();
    records.remoteHost = QStringLiteral(" 192.168.1.20 ");

    const SettingsReadResult result = decodeSettingsRecords(encodeWithFixedDraws(records));

    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(result.records.remoteHost, QStringLiteral(" 192.168.1.20 "));
}

void SettingsRecordsTest::load_booleans_matchOnlyExactUpperCaseTrue_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("expected");

    QTest::newRow("upper case") << QByteArray("#TRUE#") << true;
    QTest::newRow("lower case") << QByteArray("#true#") << false;
    QTest::newRow("mixed case") << QByteArray("#True#") << false;
    QTest::newRow("without hashes") << QByteArray("TRUE") << false;
    QTest::newRow("number") << QByteArray("-1") << false;
    QTest::newRow("false") << QByteArray("#FALSE#") << false;
    QTest::newRow("empty") << QByteArray("") << false;
    QTest::newRow("trailing blank") << QByteArray("#TRUE# ") << false;
}

void SettingsRecordsTest::load_booleans_matchOnlyExactUpperCaseTrue()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, expected);
    for (int index = 14; index <= 16; ++index) {
        QList<QByteArray> lines = recordLines(encodeWithFixedDraws(SettingsRecords()));
        lines[index] = field;

        const SettingsReadResult result = decodeSettingsRecords(joinLines(lines));

        QVERIFY2(result.complete, qPrintable(result.error));
        const bool values[] = {result.records.viewTraffic, result.records.runInServerMode,
                               result.records.autoResolveHostName};
        for (int other = 14; other <= 16; ++other)
            QCOMPARE(values[other - 14], other == index ? expected : false);
    }
}

void SettingsRecordsTest::load_numberFields_readLeadingNumber_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<int>("expected");

    QTest::newRow("plain") << QByteArray("8080") << 8080;
    QTest::newRow("not a number") << QByteArray("abc") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("fraction rounds to even") << QByteArray("9800.5") << 9800;
    QTest::newRow("number then text") << QByteArray("12abc") << 12;
    QTest::newRow("negative") << QByteArray("-3") << -3;
    QTest::newRow("quoted number") << QByteArray("\"77\"") << 77;
}

void SettingsRecordsTest::load_numberFields_readLeadingNumber()
{
    QFETCH(QByteArray, field);
    QFETCH(int, expected);
    QList<QByteArray> lines = recordLines(encodeWithFixedDraws(sampleRecords()));
    lines[2] = field;
    lines[4] = field;
    lines[6] = field;

    const SettingsReadResult result = decodeSettingsRecords(joinLines(lines));

    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(result.records.portNumber, expected);
    QCOMPARE(result.records.serialPort, expected);
    QCOMPARE(result.records.handshaking, expected);
}

void SettingsRecordsTest::load_numberBeyond32Bits_stopsWithError()
{
    QList<QByteArray> lines = recordLines(encodeWithFixedDraws(sampleRecords()));
    lines[4] = "2147483648";

    const SettingsReadResult result = decodeSettingsRecords(joinLines(lines));

    QVERIFY(!result.complete);
    QVERIFY2(result.error.contains(QStringLiteral("record 5")), qPrintable(result.error));
    QCOMPARE(result.recordsRead, 4);
    QVERIFY(!result.rxLogFile.has_value());
    QVERIFY(!result.txLogFile.has_value());
}

void SettingsRecordsTest::load_shortFile_stopsAndKeepsOnlyLogPathsReadSoFar_data()
{
    QTest::addColumn<int>("linesKept");
    QTest::addColumn<bool>("rxRead");
    QTest::addColumn<bool>("txRead");

    QTest::newRow("empty file") << 0 << false << false;
    QTest::newRow("header only") << 1 << false << false;
    QTest::newRow("after record 9") << 9 << false << false;
    QTest::newRow("after record 12") << 12 << false << false;
    QTest::newRow("after record 13") << 13 << true << false;
    QTest::newRow("after record 14") << 14 << true << true;
    QTest::newRow("after record 16") << 16 << true << true;
}

void SettingsRecordsTest::load_shortFile_stopsAndKeepsOnlyLogPathsReadSoFar()
{
    QFETCH(int, linesKept);
    QFETCH(bool, rxRead);
    QFETCH(bool, txRead);
    const QList<QByteArray> lines = recordLines(encodeWithFixedDraws(sampleRecords()));

    const SettingsReadResult result = decodeSettingsRecords(joinLines(lines.first(linesKept)));

    QVERIFY(!result.complete);
    QCOMPARE(result.recordsRead, linesKept);
    QVERIFY2(result.error.contains(QStringLiteral("Input past end of file")),
             qPrintable(result.error));
    QVERIFY2(result.error.contains(QStringLiteral("after record %1 of 17").arg(linesKept)),
             qPrintable(result.error));
    QCOMPARE(result.rxLogFile.has_value(), rxRead);
    QCOMPARE(result.txLogFile.has_value(), txRead);
    if (rxRead)
        QCOMPARE(*result.rxLogFile, QStringLiteral("/var/log/tethra/rx.log"));
    if (txRead)
        QCOMPARE(*result.txLogFile, QStringLiteral("/var/log/tethra/tx.log"));
}

QTEST_GUILESS_MAIN(SettingsRecordsTest)
#include "settingsrecords_test.moc"
