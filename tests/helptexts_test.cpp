#include "help/HelpTexts.h"

#include <QRegularExpression>
#include <QTest>

namespace
{

QString helpText(const QString &name)
{
    if (name == QLatin1String("tips"))
        return HelpTexts::tips();
    if (name == QLatin1String("rs232"))
        return HelpTexts::rs232Port();
    if (name == QLatin1String("network"))
        return HelpTexts::network();
    return HelpTexts::trafficLogging();
}

QStringList linesOf(const QString &text)
{
    return text.split(QStringLiteral("\r\n"));
}

int leadingBlanks(const QString &line)
{
    int count = 0;
    while (count < line.size() && line.at(count) == QLatin1Char(' '))
        ++count;
    return count;
}

int trailingBlanks(const QString &line)
{
    int count = 0;
    while (count < line.size() && line.at(line.size() - 1 - count) == QLatin1Char(' '))
        ++count;
    return count;
}

} // namespace

class HelpTextsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void helpText_hasLineCountAndNoTrailingBreak_data();
    void helpText_hasLineCountAndNoTrailingBreak();
    void helpText_keepsLeadingBlanksOfContinuationLines_data();
    void helpText_keepsLeadingBlanksOfContinuationLines();
    void rs232Help_keepsInnerAndTrailingBlanks();
    void networkHelp_keepsElevenBlanksInServerModeLine();
    void helpText_namesProductInGivenCase_data();
    void helpText_namesProductInGivenCase();
    void titles_areTheMessageBoxCaptions();
    void titleLine_joinsMinorAndRevisionWithoutSeparator_data();
    void titleLine_joinsMinorAndRevisionWithoutSeparator();
    void aboutDescription_keepsDoubleBlanksAfterFirstSecondAndSixthSentence();
    void aboutNotice_hasFourLinesSeparatedByCarriageReturns();
};

void HelpTextsTest::helpText_hasLineCountAndNoTrailingBreak_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<QList<int>>("emptyLines");

    QTest::newRow("tips") << "tips" << 17 << QList<int>{3, 6, 9, 13};
    QTest::newRow("rs232") << "rs232" << 17 << QList<int>{3, 5, 10, 14};
    QTest::newRow("network") << "network" << 25 << QList<int>{3, 6, 9, 15, 19, 23};
    QTest::newRow("traffic logging") << "logging" << 17 << QList<int>{3, 6, 13};
}

void HelpTextsTest::helpText_hasLineCountAndNoTrailingBreak()
{
    QFETCH(QString, name);
    QFETCH(int, lineCount);
    QFETCH(QList<int>, emptyLines);
    const QString text = helpText(name);

    QVERIFY(!text.endsWith(QLatin1Char('\n')));
    QVERIFY(!text.endsWith(QLatin1Char('\r')));
    // Every break is a full CR LF pair.
    QCOMPARE(text.count(QLatin1Char('\r')), lineCount - 1);
    QCOMPARE(text.count(QLatin1Char('\n')), lineCount - 1);
    const QStringList lines = linesOf(text);
    QCOMPARE(lines.size(), lineCount);
    for (int number = 1; number <= lineCount; ++number) {
        const bool empty = emptyLines.contains(number);
        QVERIFY2(lines.at(number - 1).isEmpty() == empty,
                 qPrintable(QStringLiteral("line %1: '%2'").arg(number).arg(lines.at(number - 1))));
    }
}

void HelpTextsTest::helpText_keepsLeadingBlanksOfContinuationLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("blanksPerLine");

    // One entry per line, in order.
    QTest::newRow("tips") << "tips" << QList<int>(17, 0);
    QTest::newRow("rs232") << "rs232"
                           << QList<int>{0, 44, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 32, 0, 0, 0, 0};
    QTest::newRow("network") << "network" << QList<int>{0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 2, 2,
                                                        2, 0, 0, 2, 2, 0, 0, 2, 2, 0, 0, 2};
    QTest::newRow("traffic logging")
        << "logging" << QList<int>{0, 32, 0, 0, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 36, 36, 36};
}

void HelpTextsTest::helpText_keepsLeadingBlanksOfContinuationLines()
{
    QFETCH(QString, name);
    QFETCH(QList<int>, blanksPerLine);
    const QStringList lines = linesOf(helpText(name));
    QCOMPARE(lines.size(), blanksPerLine.size());
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(leadingBlanks(lines.at(i)) == blanksPerLine.at(i),
                 qPrintable(QStringLiteral("line %1 has %2 leading blanks: '%3'")
                                .arg(i + 1)
                                .arg(leadingBlanks(lines.at(i)))
                                .arg(lines.at(i))));
    }
}

void HelpTextsTest::rs232Help_keepsInnerAndTrailingBlanks()
{
    const QStringList lines = linesOf(HelpTexts::rs232Port());
    QCOMPARE(lines.size(), 17);

    QCOMPARE(trailingBlanks(lines.at(14)), 1);
    QVERIFY(lines.at(14).startsWith(QStringLiteral("The RS232 communications port")));
    QVERIFY(lines.at(14).endsWith(QStringLiteral("together with ")));
    for (int i = 0; i < lines.size(); ++i) {
        if (i != 14)
            QCOMPARE(trailingBlanks(lines.at(i)), 0);
    }
    QVERIFY(lines.at(7).contains(QStringLiteral("PARITY ........   Set the type")));
    QVERIFY(lines.at(15).contains(QStringLiteral("buffers.  The network")));
    QCOMPARE(lines.at(11).mid(32), QStringLiteral("Hardware - use RTS/CTS handshaking"));
    QCOMPARE(lines.at(12).mid(32), QStringLiteral("None - No handshaking"));
}

void HelpTextsTest::networkHelp_keepsElevenBlanksInServerModeLine()
{
    const QStringList lines = linesOf(HelpTexts::network());
    QCOMPARE(lines.size(), 25);
    const QRegularExpression serverMode(QStringLiteral("^MODE-ONLY( +)and Client modes"));
    const QRegularExpressionMatch match = serverMode.match(lines.at(10));
    QVERIFY2(match.hasMatch(), qPrintable(lines.at(10)));
    QCOMPARE(match.capturedLength(1), 11);
}

void HelpTextsTest::helpText_namesProductInGivenCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("spelling");

    QTest::newRow("tips") << "tips" << 11 << "TETHRA will try";
    QTest::newRow("rs232") << "rs232" << 1 << "port that TETHRA will";
    QTest::newRow("logging upper") << "logging" << 10 << "TETHRA is share tolerant";
    QTest::newRow("network mixed") << "network" << 10 << "normally Tethra alternates";
    QTest::newRow("logging mixed") << "logging" << 17 << "when Tethra starts.";
}

void HelpTextsTest::helpText_namesProductInGivenCase()
{
    QFETCH(QString, name);
    QFETCH(int, line);
    QFETCH(QString, spelling);
    const QStringList lines = linesOf(helpText(name));
    QVERIFY2(lines.at(line - 1).contains(spelling), qPrintable(lines.at(line - 1)));
}

void HelpTextsTest::titles_areTheMessageBoxCaptions()
{
    QCOMPARE(QString::fromLatin1(HelpTexts::kTipsTitle), QStringLiteral("HELP - Tips"));
    QCOMPARE(QString::fromLatin1(HelpTexts::kRs232PortTitle),
             QStringLiteral("HELP - Setup RS232 Port"));
    QCOMPARE(QString::fromLatin1(HelpTexts::kNetworkTitle),
             QStringLiteral("HELP - Setup Network Connection"));
    QCOMPARE(QString::fromLatin1(HelpTexts::kTrafficLoggingTitle),
             QStringLiteral("Help - Setup Traffic Logging"));
}

void HelpTextsTest::titleLine_joinsMinorAndRevisionWithoutSeparator_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1.0.4") << 1 << 0 << 4 << "Tethra v1.04";
    QTest::newRow("2.1.15") << 2 << 1 << 15 << "Tethra v2.115";
    QTest::newRow("10.20.0") << 10 << 20 << 0 << "Tethra v10.200";
}

void HelpTextsTest::titleLine_joinsMinorAndRevisionWithoutSeparator()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, expected);
    QCOMPARE(HelpTexts::titleLine(major, minor, revision), expected);
}

void HelpTextsTest::aboutDescription_keepsDoubleBlanksAfterFirstSecondAndSixthSentence()
{
    const QString description = HelpTexts::aboutDescription();
    QVERIFY(description.startsWith(QStringLiteral("Use the TCP/IP network (Local or Internet)")));
    QVERIFY(description.endsWith(QStringLiteral("testing all from one end.")));
    QVERIFY(!description.contains(QLatin1Char('\n')));
    QVERIFY(!description.contains(QStringLiteral("   ")));

    // What follows each full stop that ends a sentence, in order.
    QStringList gaps;
    const QRegularExpression stop(QStringLiteral("\\.( *)(?=[A-Z]|$)"));
    QRegularExpressionMatchIterator it = stop.globalMatch(description);
    while (it.hasNext())
        gaps.append(it.next().captured(1));
    const QStringList expected = {QStringLiteral("  "),
                                  QStringLiteral("  "),
                                  QStringLiteral(" "),
                                  QStringLiteral(" "),
                                  QStringLiteral(" "),
                                  QStringLiteral("  "),
                                  QString()};
    QCOMPARE(gaps, expected);
    QVERIFY(
        description.contains(QStringLiteral("two Win95/98 computers.  The nominated COM port")));
    QVERIFY(description.contains(QStringLiteral("(dial-up and local IPs). Auto-Connect")));
    QVERIFY(description.contains(QStringLiteral("Auto Client/Server Management.  Control")));
}

void HelpTextsTest::aboutNotice_hasFourLinesSeparatedByCarriageReturns()
{
    const QString notice = HelpTexts::aboutNotice();
    QVERIFY(!notice.contains(QLatin1Char('\n')));
    const QStringList lines = notice.split(QLatin1Char('\r'));
    QCOMPARE(lines.size(), 4);
    QVERIFY(!lines.at(0).trimmed().isEmpty());
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), QStringLiteral("    - SocketWrench 2.5"));
    QCOMPARE(lines.at(3), QStringLiteral("    - Catalyst Development Corporation"));
}

QTEST_GUILESS_MAIN(HelpTextsTest)
#include "helptexts_test.moc"
