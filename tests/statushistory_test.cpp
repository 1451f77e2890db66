#include "monitor/StatusHistory.h"

#include <QTest>

class StatusHistoryTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void historyLine_formatsDateTimeAndText_data();
    void historyLine_formatsDateTimeAndText();
    void appendHistoryLine_cutsOnlyPastTheLimit_data();
    void appendHistoryLine_cutsOnlyPastTheLimit();
    void appendHistoryLine_19990PlusFortyKeepsLast10031();
};

void StatusHistoryTest::historyLine_formatsDateTimeAndText_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("expected");

    const QDateTime december(QDate(2026, 12, 5), QTime(10, 3, 8));
    const QDateTime march(QDate(2027, 3, 9), QTime(23, 59, 1));
    const QDateTime midnight(QDate(2026, 1, 1), QTime(0, 0, 0));

    QTest::newRow("english december") << december << "en_US"
                                      << "Connected"
                                      << "05-Dec-2026  10:03:08  Connected\r\n";
    QTest::newRow("german december") << december << "de_DE"
                                     << "Connected"
                                     << "05-Dez-2026  10:03:08  Connected\r\n";
    QTest::newRow("german march") << march << "de_DE"
                                  << "Calling ..."
                                  << "09-M\u00e4r-2027  23:59:01  Calling ...\r\n";
    QTest::newRow("english 24-hour evening") << march << "en_US"
                                             << "Timed-Out"
                                             << "09-Mar-2027  23:59:01  Timed-Out\r\n";
    QTest::newRow("midnight") << midnight << "en_US"
                              << ""
                              << "01-Jan-2026  00:00:00  \r\n";
    QTest::newRow("text kept as given") << december << "en_US"
                                        << " a  b "
                                        << "05-Dec-2026  10:03:08   a  b \r\n";
}

void StatusHistoryTest::historyLine_formatsDateTimeAndText()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, locale);
    QFETCH(QString, status);
    QFETCH(QString, expected);
    QCOMPARE(StatusHistory::historyLine(when, status, QLocale(locale)), expected);
}

void StatusHistoryTest::appendHistoryLine_cutsOnlyPastTheLimit_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("after");

    QTest::newRow("empty history") << 0 << 40 << 40;
    QTest::newRow("reaches the limit exactly") << 19960 << 40 << 20000;
    QTest::newRow("one past the limit") << 19961 << 40 << 20001 - 9999;
    QTest::newRow("one huge line") << 0 << 50000 << 50000 - 9999;
}

void StatusHistoryTest::appendHistoryLine_cutsOnlyPastTheLimit()
{
    QFETCH(int, before);
    QFETCH(int, added);
    QFETCH(int, after);
    QString history(before, QLatin1Char('h'));
    const QString line = QString(added - 1, QLatin1Char('l')) + QLatin1Char('\n');

    StatusHistory::appendHistoryLine(history, line);

    QCOMPARE(history.size(), after);
    QVERIFY(history.endsWith(line.right(qMin(after, added))));
}

void StatusHistoryTest::appendHistoryLine_19990PlusFortyKeepsLast10031()
{
    QString history;
    for (int i = 0; i < 19990; ++i)
        history.append(QLatin1Char('a' + i % 26));
    const QString line = QString(38, QLatin1Char('x')) + QStringLiteral("\r\n");
    const QString whole = history + line;

    StatusHistory::appendHistoryLine(history, line);

    QCOMPARE(history.size(), 10031);
    QCOMPARE(history, whole.right(10031));
    // The 10000th character of the whole text is the first one kept.
    QCOMPARE(history.at(0), whole.at(9999));
}

QTEST_GUILESS_MAIN(StatusHistoryTest)
#include "statushistory_test.moc"
