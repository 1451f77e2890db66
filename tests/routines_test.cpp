#include "app/Routines.h"

#include <QTest>

#include <limits>

class RoutinesTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isIPAddress_countsDotsAndRejectsOtherCharacters_data();
    void isIPAddress_countsDotsAndRejectsOtherCharacters();
    void stripTrailingBackslash_removesAtMostOneSeparator_data();
    void stripTrailingBackslash_removesAtMostOneSeparator();
    void logFilePathAndName_splitAtLastSeparator_data();
    void logFilePathAndName_splitAtLastSeparator();
    void parseLeadingNumber_readsNumberAtStart_data();
    void parseLeadingNumber_readsNumberAtStart();
    void parseLeadingNumber_hugeNumber_isInfinite();
    void roundHalfEven_sendsHalvesToEvenNeighbour_data();
    void roundHalfEven_sendsHalvesToEvenNeighbour();
    void portText_roundsLikeTheNetworkDialog_data();
    void portText_roundsLikeTheNetworkDialog();
};

void RoutinesTest::isIPAddress_countsDotsAndRejectsOtherCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");

    QTest::newRow("plain address") << "192.168.1.20" << true;
    QTest::newRow("blanks around") << "  192.168.1.20   " << true;
    QTest::newRow("blanks inside") << "192 .168. 1.20" << true;
    QTest::newRow("three dots alone") << "..." << true;
    QTest::newRow("numbers too large") << "999.999.999.999" << true;
    QTest::newRow("long parts") << "1234.5.6.78901" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blanks only") << "    " << false;
    QTest::newRow("two dots") << "192.168.1" << false;
    QTest::newRow("four dots") << "1.2.3.4.5" << false;
    QTest::newRow("host name") << "labpc" << false;
    QTest::newRow("name with three dots") << "a.b.c.d" << false;
    QTest::newRow("address with a letter") << "192.168.1.2x" << false;
    QTest::newRow("tab is not a blank") << "\t192.168.1.20" << false;
    QTest::newRow("minus sign") << "-1.2.3.4" << false;
}

void RoutinesTest::isIPAddress_countsDotsAndRejectsOtherCharacters()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(Routines::IsIPAddress(text), expected);
}

void RoutinesTest::stripTrailingBackslash_removesAtMostOneSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one separator") << "/var/log/"
                                   << "/var/log";
    QTest::newRow("two separators") << "/var/log//"
                                    << "/var/log/";
    QTest::newRow("none") << "/var/log"
                          << "/var/log";
    QTest::newRow("root") << "/"
                          << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("backslash is an ordinary character here") << "C:\\logs\\"
                                                             << "C:\\logs\\";
}

void RoutinesTest::stripTrailingBackslash_removesAtMostOneSeparator()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(Routines::StripTrailingBackslash(path), expected);
}

void RoutinesTest::logFilePathAndName_splitAtLastSeparator_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("full path") << "/home/lab/logs/rx.log"
                               << "/home/lab/logs/"
                               << "rx.log";
    QTest::newRow("file in root") << "/rx.log"
                                  << "/"
                                  << "rx.log";
    QTest::newRow("trailing separator dropped first") << "/home/lab/logs/"
                                                      << "/home/lab/"
                                                      << "logs";
    QTest::newRow("only one trailing separator dropped") << "/home/lab//"
                                                         << "/home/lab/"
                                                         << "";
    QTest::newRow("no separator") << "rx.log"
                                  << ""
                                  << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("root alone") << "/"
                                << ""
                                << "";
    QTest::newRow("blanks kept") << "/logs/ rx .log "
                                 << "/logs/"
                                 << " rx .log ";
}

void RoutinesTest::logFilePathAndName_splitAtLastSeparator()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QCOMPARE(Routines::LogFilePath(path), folder);
    QCOMPARE(Routines::LogFileName(path), name);
}

void RoutinesTest::parseLeadingNumber_readsNumberAtStart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("not a number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("leading blanks") << "  8080" << 8080.0;
    QTest::newRow("blanks inside") << "98 01" << 9801.0;
    QTest::newRow("tab and blanks") << "\t 12" << 12.0;
    QTest::newRow("decimal") << "9801.5" << 9801.5;
    QTest::newRow("negative") << "-3" << -3.0;
    QTest::newRow("plus sign") << "+42" << 42.0;
    QTest::newRow("sign then blank") << "- 7" << -7.0;
    QTest::newRow("point first") << ".5" << 0.5;
    QTest::newRow("negative point first") << "-.25" << -0.25;
    QTest::newRow("stops at letter") << "80ab90" << 80.0;
    QTest::newRow("stops at second point") << "1.2.3" << 1.2;
    QTest::newRow("stops at second sign") << "5-3" << 5.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("double sign") << "--5" << 0.0;
    QTest::newRow("no exponent") << "1e3" << 1.0;
    QTest::newRow("trailing point") << "40000." << 40000.0;
}

void RoutinesTest::parseLeadingNumber_readsNumberAtStart()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(Routines::ParseLeadingNumber(text), expected);
}

void RoutinesTest::parseLeadingNumber_hugeNumber_isInfinite()
{
    // Callers decide that such a port does not fit; it must not read as 0.
    const double value = Routines::ParseLeadingNumber(QString(400, QLatin1Char('9')));
    QVERIFY(value > 1e300);
    QCOMPARE(Routines::RoundHalfEven(value), std::numeric_limits<qint64>::max());
}

void RoutinesTest::roundHalfEven_sendsHalvesToEvenNeighbour_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("0.5") << 0.5 << qint64(0);
    QTest::newRow("1.5") << 1.5 << qint64(2);
    QTest::newRow("2.5") << 2.5 << qint64(2);
    QTest::newRow("2.4999") << 2.4999 << qint64(2);
    QTest::newRow("2.5001") << 2.5001 << qint64(3);
    QTest::newRow("-0.5") << -0.5 << qint64(0);
    QTest::newRow("-1.5") << -1.5 << qint64(-2);
    QTest::newRow("-2.5") << -2.5 << qint64(-2);
    QTest::newRow("-2.6") << -2.6 << qint64(-3);
    QTest::newRow("whole") << 7.0 << qint64(7);
    QTest::newRow("letter code low") << 65.0 << qint64(65);
    QTest::newRow("letter code high") << 0.9999999 * 25 + 65 << qint64(90);
    QTest::newRow("beyond range") << 1e30 << std::numeric_limits<qint64>::max();
    QTest::newRow("beyond negative range") << -1e30 << std::numeric_limits<qint64>::min();
    QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << qint64(0);
}

void RoutinesTest::roundHalfEven_sendsHalvesToEvenNeighbour()
{
    QFETCH(double, value);
    QFETCH(qint64, expected);
    QCOMPARE(Routines::RoundHalfEven(value), expected);
}

void RoutinesTest::portText_roundsLikeTheNetworkDialog_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("port");

    QTest::newRow("abc") << "abc" << qint64(0);
    QTest::newRow("two blanks then 8080") << "  8080" << qint64(8080);
    QTest::newRow("9801.5 goes up to even") << "9801.5" << qint64(9802);
    QTest::newRow("9800.5 goes down to even") << "9800.5" << qint64(9800);
    QTest::newRow("-3") << "-3" << qint64(-3);
    QTest::newRow("40000") << "40000" << qint64(40000);
}

void RoutinesTest::portText_roundsLikeTheNetworkDialog()
{
    QFETCH(QString, text);
    QFETCH(qint64, port);
    QCOMPARE(Routines::RoundHalfEven(Routines::ParseLeadingNumber(text)), port);
}

QTEST_GUILESS_MAIN(RoutinesTest)
#include "routines_test.moc"
