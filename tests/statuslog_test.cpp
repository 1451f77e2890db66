// The status history: its line format and length bound, and its window on a real station.
// Every status change becomes a time-stamped line; the window shows and hides in every way
// the user can ask; Print sends the selection or the whole history after one empty line.
#include "app/MainForm.h"
#include "monitor/StatusHistory.h"
#include "monitor/StatusLabel.h"
#include "monitor/StatusLogForm.h"
#include "platform/Printing.h"
#include "support/FakeServices.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class StatusLogTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup() { m_form.reset(); }
    void historyLine_formatsDateTimeAndText_data();
    void historyLine_formatsDateTimeAndText();
    void appendHistoryLine_dropsFrontOnlyPastTheLimit_data();
    void appendHistoryLine_dropsFrontOnlyPastTheLimit();
    void statusChange_writesOneLineAndClearEmpties();
    void menuMark_followsEveryWayOfShowingAndHiding();
    void print_sendsSelectionOrWholeAfterOneEmptyLine();
    void printPlainText_writesPdfWithTheText();
    void minimized_titleShowsStatus();

private:
    TestEnvironment m_env;
    std::unique_ptr<MainForm> m_form;
};

void StatusLogTest::init()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    m_env.clock.setNow(QDateTime(QDate(2026, 12, 5), QTime(10, 3, 8)));
    m_form = std::make_unique<MainForm>(m_env.environment());
}

void StatusLogTest::historyLine_formatsDateTimeAndText_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("expected");
    const QDateTime december(QDate(2026, 12, 5), QTime(10, 3, 8));
    const QDateTime march(QDate(2027, 3, 9), QTime(23, 59, 1));
    QTest::newRow("english") << december << "en_US"
                             << "Connected"
                             << "05-Dec-2026  10:03:08  Connected\r\n";
    QTest::newRow("german, no full stop") << march << "de_DE"
                                          << "Calling ..."
                                          << "09-M\u00e4r-2027  23:59:01  Calling ...\r\n";
    QTest::newRow("24-hour clock") << march << "en_US"
                                   << "Timed-Out"
                                   << "09-Mar-2027  23:59:01  Timed-Out\r\n";
    QTest::newRow("midnight, text as given") << QDateTime(QDate(2026, 1, 1), QTime(0, 0)) << "en_US"
                                             << " a  b "
                                             << "01-Jan-2026  00:00:00   a  b \r\n";
}

void StatusLogTest::historyLine_formatsDateTimeAndText()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, locale);
    QFETCH(QString, status);
    QFETCH(QString, expected);
    QCOMPARE(StatusHistory::historyLine(when, status, QLocale(locale)), expected);
}

void StatusLogTest::appendHistoryLine_dropsFrontOnlyPastTheLimit_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("after");
    QTest::newRow("empty history") << 0 << 40 << 40;
    QTest::newRow("reaches the limit") << 19960 << 40 << 20000;
    QTest::newRow("one past the limit") << 19961 << 40 << 20001 - 9999;
    QTest::newRow("19990 and 40") << 19990 << 40 << 10031;
    QTest::newRow("one huge line") << 0 << 50000 << 50000 - 9999;
}

void StatusLogTest::appendHistoryLine_dropsFrontOnlyPastTheLimit()
{
    QFETCH(int, before);
    QFETCH(int, added);
    QFETCH(int, after);
    QString history;
    for (int i = 0; i < before; ++i)
        history.append(QLatin1Char('a' + i % 26));
    const QString line = QString(added - 2, QLatin1Char('x')) + QStringLiteral("\r\n");
    const QString whole = history + line;
    StatusHistory::appendHistoryLine(history, line);
    QCOMPARE(history, whole.right(after));
}

void StatusLogTest::statusChange_writesOneLineAndClearEmpties()
{
    StatusLogForm *window = m_form->statusLogForm();
    for (const char *status : {"Connected", "Disconnected", "Disconnected", "Connected"})
        m_form->setNetStatus(QString::fromLatin1(status));
    const QString lines = QStringLiteral("05-Dec-2026  10:03:08  Connected\r\n"
                                         "05-Dec-2026  10:03:08  Disconnected\r\n"
                                         "05-Dec-2026  10:03:08  Connected\r\n");
    QCOMPARE(window->history(), lines);
    QCOMPARE(window->StatusTextBox->toPlainText(), QString(lines).remove(QLatin1Char('\r')));

    m_form->setNetStatus(QString(20000, QLatin1Char('s')));
    QCOMPARE(window->history().size(), lines.size() + 20025 - 9999);
    QCOMPARE(window->StatusTextBox->toPlainText(), window->history().remove(QLatin1Char('\r')));

    QTest::mouseClick(window->ClearButton, Qt::LeftButton);
    QCOMPARE(window->history(), QString());
    QCOMPARE(window->StatusTextBox->toPlainText(), QString());
    m_form->setNetStatus(QStringLiteral("Not Connected"));
    QCOMPARE(window->history(), QStringLiteral("05-Dec-2026  10:03:08  Not Connected\r\n"));
}

void StatusLogTest::menuMark_followsEveryWayOfShowingAndHiding()
{
    m_form->show();
    StatusLogForm *window = m_form->statusLogForm();
    QAction *item = m_form->DisplayStatusHistoryMenuItem;
    m_form->setNetStatus(QStringLiteral("Timed-Out"));
    const QString history = window->history();
    const auto shown = [&](bool visible) {
        return window->isVisible() == visible && item->isChecked() == visible;
    };
    QVERIFY(shown(false));
    item->trigger();
    QVERIFY(shown(true));
    item->trigger();
    QVERIFY(shown(false));
    QTest::mouseDClick(m_form->NetStatus, Qt::LeftButton);
    QVERIFY(shown(true));
    QTest::mouseClick(window->CloseButton, Qt::LeftButton);
    QVERIFY(shown(false));
    item->trigger();
    QVERIFY(!window->close()); // the close box only hides it
    QVERIFY(shown(false));
    item->trigger();
    QCOMPARE(window->history(), history);
}

void StatusLogTest::print_sendsSelectionOrWholeAfterOneEmptyLine()
{
    m_form->setNetStatus(QStringLiteral("Connected"));
    m_form->setNetStatus(QStringLiteral("Timed-Out"));
    StatusLogForm *window = m_form->statusLogForm();
    QTest::mouseClick(window->PrintButton, Qt::LeftButton);
    QCOMPARE(m_env.printing.printed(), QStringList{QStringLiteral("\r\n") + window->history()});

    QTextCursor cursor = window->StatusTextBox->textCursor();
    cursor.setPosition(0);
    cursor.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    window->StatusTextBox->setTextCursor(cursor);
    QTest::mouseClick(window->PrintButton, Qt::LeftButton);
    QCOMPARE(m_env.printing.printed().last(),
             QStringLiteral("\r\n05-Dec-2026  10:03:08  Connected"));

    m_env.printing.answer = false; // the print dialog is cancelled
    QTest::mouseClick(window->PrintButton, Qt::LeftButton);
    QCOMPARE(m_env.printing.dialogsShown(), 3);
    QCOMPARE(m_env.printing.printed().size(), 2);
}

void StatusLogTest::printPlainText_writesPdfWithTheText()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir folder;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(folder.filePath(QStringLiteral("history.pdf")));
    QVERIFY(printPlainText(printer, QStringLiteral("\r\n05-Dec-2026  10:03:08  Connected")));
    QProcess process;
    process.start(pdftotext, {printer.outputFileName(), QStringLiteral("-")});
    QVERIFY(process.waitForFinished(10000));
    // pdftotext folds runs of blanks; the exact text is checked through the fake above.
    const QString text = QString::fromUtf8(process.readAllStandardOutput()).simplified();
    QVERIFY2(text.contains(QStringLiteral("05-Dec-2026 10:03:08 Connected")), qPrintable(text));
}

void StatusLogTest::minimized_titleShowsStatus()
{
    m_form->setWindowTitle(m_form->title()); // as start-up leaves it
    m_form->show();
    m_form->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY_WITH_TIMEOUT(m_form->isMinimized(), 2000);
    QCOMPARE(m_form->windowTitle(), m_form->title());
    m_form->setNetStatus(QStringLiteral("Connected"));
    QCOMPARE(m_form->windowTitle(), QStringLiteral(" Connected"));
    m_form->setWindowState(Qt::WindowNoState);
    QTRY_COMPARE_WITH_TIMEOUT(m_form->windowTitle(), m_form->title(), 2000);
}

QTEST_MAIN(StatusLogTest)
#include "statuslog_test.moc"
