// The small text routines behind the dialogs and the settings file.
#include "app/Routines.h"

#include <QTest>

#include <limits>

using namespace Routines;

class RoutinesTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isIPAddress_countsDotsAndRejectsOtherCharacters_data();
    void isIPAddress_countsDotsAndRejectsOtherCharacters();
    void paths_splitAtLastSeparatorAfterDroppingOne_data();
    void paths_splitAtLastSeparatorAfterDroppingOne();
    void typedNumber_readsNumberAtStartAndRoundsHalfToEven_data();
    void typedNumber_readsNumberAtStartAndRoundsHalfToEven();
};

void RoutinesTest::isIPAddress_countsDotsAndRejectsOtherCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    const auto row = [](const char *text, bool expected) {
        QTest::newRow(text) << text << expected;
    };
    row("192.168.1.20", true);
    row("  192 .168. 1.20   ", true);
    row("...", true);
    row("1234.5.6.78901", true); // the numbers themselves are not checked
    row("", false);
    row("    ", false);
    row("192.168.1", false);
    row("1.2.3.4.5", false);
    row("a.b.c.d", false);
    row("192.168.1.2x", false);
    row("\t192.168.1.20", false);
    row("-1.2.3.4", false);
}

void RoutinesTest::isIPAddress_countsDotsAndRejectsOtherCharacters()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(IsIPAddress(text), expected);
}

void RoutinesTest::paths_splitAtLastSeparatorAfterDroppingOne_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("stripped");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    const auto row = [](const char *path, const char *stripped, const char *folder,
                        const char *name) {
        QTest::newRow(path) << path << stripped << folder << name;
    };
    row("/home/lab/logs/rx.log", "/home/lab/logs/rx.log", "/home/lab/logs/", "rx.log");
    row("/rx.log", "/rx.log", "/", "rx.log");
    row("/home/lab/logs/", "/home/lab/logs", "/home/lab/", "logs");
    row("/home/lab//", "/home/lab/", "/home/lab/", "");
    row("rx.log", "rx.log", "", "");
    row("", "", "", "");
    row("/", "", "", "");
    row("/logs/ rx .log ", "/logs/ rx .log ", "/logs/", " rx .log ");
    row("C:\\logs\\", "C:\\logs\\", "", ""); // a backslash is an ordinary character here
}

void RoutinesTest::paths_splitAtLastSeparatorAfterDroppingOne()
{
    QFETCH(QString, path);
    QFETCH(QString, stripped);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QCOMPARE(StripTrailingBackslash(path), stripped);
    QCOMPARE(LogFilePath(path), folder);
    QCOMPARE(LogFileName(path), name);
}

void RoutinesTest::typedNumber_readsNumberAtStartAndRoundsHalfToEven_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");
    QTest::addColumn<qint64>("rounded");
    const auto row = [](const char *text, double number, qint64 rounded) {
        QTest::newRow(text) << text << number << rounded;
    };
    const qint64 max = std::numeric_limits<qint64>::max();
    row("abc", 0, 0);
    row("", 0, 0);
    row("\t 8080", 8080, 8080);
    row("98 01", 9801, 9801);
    row("0.5", 0.5, 0);
    row("9801.5", 9801.5, 9802);
    row("9800.5", 9800.5, 9800);
    row("2.4999", 2.4999, 2);
    row("2.5001", 2.5001, 3);
    row("-2.5", -2.5, -2);
    row("-1.5", -1.5, -2);
    row("- 2.6", -2.6, -3);
    row("+42", 42, 42);
    row("-.25", -0.25, 0);
    row("80ab90", 80, 80);
    row("1.2.3", 1.2, 1);
    row("5-3", 5, 5);
    row("-", 0, 0);
    row(".", 0, 0);
    row("--5", 0, 0);
    row("1e3", 1, 1);
    row("40000.", 40000, 40000);
    // Callers decide that such a number does not fit; it must not read as 0.
    QTest::newRow("400 nines") << QString(400, QLatin1Char('9'))
                               << std::numeric_limits<double>::infinity() << max;
    QTest::newRow("-1e30") << QStringLiteral("-1") + QString(30, QLatin1Char('0')) << -1e30
                           << std::numeric_limits<qint64>::min();
}

void RoutinesTest::typedNumber_readsNumberAtStartAndRoundsHalfToEven()
{
    QFETCH(QString, text);
    QFETCH(double, number);
    QFETCH(qint64, rounded);
    QCOMPARE(ParseLeadingNumber(text), number);
    QCOMPARE(RoundHalfEven(ParseLeadingNumber(text)), rounded);
    QCOMPARE(RoundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
}

QTEST_GUILESS_MAIN(RoutinesTest)
#include "routines_test.moc"
