// The status history window of a real station: every status change becomes a time-stamped
// line, the window shows and hides in every way the user can ask, and Print sends the
// selection or the whole history after one empty line.
#include "app/MainForm.h"
#include "monitor/StatusLine.h"
#include "monitor/StatusLogForm.h"
#include "platform/Printing.h"
#include "support/FakeServices.h"

#include <QAction>
#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class StatusLogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void statusChange_writesTimeStampedLine();
    void sameStatusTwice_writesOneLine();
    void longHistory_isCutAtTheLimit();
    void menuMark_followsEveryWayOfShowingAndHiding();
    void closeBox_hidesAndKeepsHistory();
    void clear_emptiesHistory();
    void print_sendsSelectionOrWholeAfterOneEmptyLine();
    void print_cancelledPrintsNothing();
    void printPlainText_writesPdfWithTheText();
    void minimized_titleShowsStatus();

private:
    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<MainForm> m_form;
};

void StatusLogTest::init()
{
    m_environment = std::make_unique<TestEnvironment>();
    m_environment->clock.setNow(QDateTime(QDate(2026, 12, 5), QTime(10, 3, 8)));
    m_form = std::make_unique<MainForm>(m_environment->environment());
}

void StatusLogTest::cleanup()
{
    m_form.reset();
    m_environment.reset();
}

void StatusLogTest::statusChange_writesTimeStampedLine()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    m_form->setNetStatus(QStringLiteral("Connected"));
    QCOMPARE(m_form->statusLogForm()->history(),
             QStringLiteral("05-Dec-2026  10:03:08  Connected\r\n"));
    QCOMPARE(m_form->statusLogForm()->StatusTextBox->toPlainText(),
             QStringLiteral("05-Dec-2026  10:03:08  Connected\n"));
}

void StatusLogTest::sameStatusTwice_writesOneLine()
{
    for (int tick = 0; tick < 5; ++tick)
        m_form->setNetStatus(QStringLiteral("Disconnected"));
    m_form->setNetStatus(QStringLiteral("Calling ..."));
    m_form->setNetStatus(QStringLiteral("Disconnected"));
    QCOMPARE(m_form->statusLogForm()->history().count(QStringLiteral("\r\n")), 3);
}

void StatusLogTest::longHistory_isCutAtTheLimit()
{
    // Lines of 40 characters: "05-Dec-2026  10:03:08  " is 23, the text 15, CR LF 2.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    int lines = 0;
    while (m_form->statusLogForm()->history().size() <= 20000 - 40) {
        m_form->setNetStatus(QStringLiteral("Status %1").arg(lines++, 8, 10, QLatin1Char('0')));
    }
    const QString before = m_form->statusLogForm()->history();
    QVERIFY(before.size() <= 20000);
    m_form->setNetStatus(QStringLiteral("The last status"));
    const QString after = m_form->statusLogForm()->history();
    const QString joined = before + QStringLiteral("05-Dec-2026  10:03:08  The last status\r\n");
    QVERIFY(joined.size() > 20000);
    QCOMPARE(after, joined.mid(9999));
}

void StatusLogTest::menuMark_followsEveryWayOfShowingAndHiding()
{
    StatusLogForm *window = m_form->statusLogForm();
    QAction *item = m_form->DisplayStatusHistoryMenuItem;
    QVERIFY(!window->isVisible());

    item->trigger();
    QVERIFY(window->isVisible());
    QVERIFY(item->isChecked());
    item->trigger();
    QVERIFY(!window->isVisible());
    QVERIFY(!item->isChecked());

    m_form->statusLine().NetStatus_DblClick();
    QVERIFY(window->isVisible());
    QVERIFY(item->isChecked());
    QTest::mouseClick(window->CloseButton, Qt::LeftButton);
    QVERIFY(!window->isVisible());
    QVERIFY(!item->isChecked());

    item->trigger();
    window->close();
    QVERIFY(!window->isVisible());
    QVERIFY(!item->isChecked());
}

void StatusLogTest::closeBox_hidesAndKeepsHistory()
{
    m_form->setNetStatus(QStringLiteral("Timed-Out"));
    m_form->DisplayStatusHistoryMenuItem->trigger();
    const QString history = m_form->statusLogForm()->history();
    QVERIFY(!m_form->statusLogForm()->close());
    m_form->DisplayStatusHistoryMenuItem->trigger();
    QVERIFY(m_form->statusLogForm()->isVisible());
    QCOMPARE(m_form->statusLogForm()->history(), history);
}

void StatusLogTest::clear_emptiesHistory()
{
    m_form->setNetStatus(QStringLiteral("Connected"));
    QTest::mouseClick(m_form->statusLogForm()->ClearButton, Qt::LeftButton);
    QVERIFY(m_form->statusLogForm()->history().isEmpty());
    QVERIFY(m_form->statusLogForm()->StatusTextBox->toPlainText().isEmpty());
    m_form->setNetStatus(QStringLiteral("Not Connected"));
    QVERIFY(m_form->statusLogForm()->history().endsWith(QStringLiteral("Not Connected\r\n")));
}

void StatusLogTest::print_sendsSelectionOrWholeAfterOneEmptyLine()
{
    m_form->setNetStatus(QStringLiteral("Connected"));
    m_form->setNetStatus(QStringLiteral("Timed-Out"));
    StatusLogForm *window = m_form->statusLogForm();

    window->PrintButton_Click();
    QCOMPARE(m_environment->printing.printed().last(), QStringLiteral("\r\n") + window->history());

    QTextCursor cursor = window->StatusTextBox->textCursor();
    cursor.setPosition(0);
    cursor.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
    window->StatusTextBox->setTextCursor(cursor);
    window->PrintButton_Click();
    QCOMPARE(m_environment->printing.printed().last(),
             QStringLiteral("\r\n05-Dec-2026  10:03:08  Connected"));
}

void StatusLogTest::print_cancelledPrintsNothing()
{
    m_form->setNetStatus(QStringLiteral("Connected"));
    m_environment->printing.answer = false;
    m_form->statusLogForm()->PrintButton_Click();
    QCOMPARE(m_environment->printing.dialogsShown(), 1);
    QVERIFY(m_environment->printing.printed().isEmpty());
}

void StatusLogTest::printPlainText_writesPdfWithTheText()
{
    const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (pdftotext.isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("history.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    QVERIFY(printPlainText(printer, QStringLiteral("\r\n05-Dec-2026  10:03:08  Connected")));

    QProcess process;
    process.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(process.waitForFinished(10000));
    const QString text = QString::fromUtf8(process.readAllStandardOutput());
    // pdftotext folds runs of blanks; the exact text is checked through the fake above.
    QVERIFY2(text.simplified().contains(QStringLiteral("05-Dec-2026 10:03:08 Connected")),
             qPrintable(text));
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
