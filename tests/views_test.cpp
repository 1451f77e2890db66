// What the window shows (help texts, Help menu, status history, traffic boxes) on a station
// with fake desktop services; then the real services behind those fakes, answered as a user would.
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "help/AboutForm.h"
#include "help/HelpTexts.h"
#include "monitor/StatusHistory.h"
#include "monitor/StatusLabel.h"
#include "monitor/StatusLogForm.h"
#include "monitor/TrafficBox.h"
#include "monitor/TrafficView.h"
#include "support/DialogTestSupport.h"

#include <QCryptographicHash>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>

#include <csignal>

namespace
{
QByteArray numbered(qsizetype count)
{
    QByteArray bytes;
    for (qsizetype index = 0; index < count; ++index)
        bytes.append(char('0' + index % 10));
    return bytes;
}

// What the user saw of the boxes: how many, and the last one's title and text, marked when it
// had an icon or was not over the given window.
QString boxesSeen(const FakeMessageBoxes &boxes, const QWidget *owner)
{
    if (!boxes.count())
        return QStringLiteral("no box");
    const FakeMessageBoxes::Box &box = boxes.last();
    return QStringLiteral("%1 box '%2': %3%4%5")
        .arg(QString::number(boxes.count()), box.title, box.text,
             box.icon == MessageBoxes::Icon::None ? "" : " (icon)",
             box.owner == owner ? "" : " (not over it)");
}

} // namespace

class ViewsTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_env = std::make_unique<TestEnvironment>();
        m_env->clock.setNow(QDateTime(QDate(2026, 12, 5), QTime(10, 3, 8)));
        m_form = std::make_unique<MainForm>(m_env->environment());
    }
    void cleanup() { m_form.reset(), m_env.reset(); }
    void helpText_isTheFixedTextUnderItsTitle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        // The title, then the first 16 hex digits of the SHA-1 of the text as written down for it,
        // its lines joined with CR LF: every blank and every line break counts.
        QTest::addColumn<QString>("expected");
        QTest::newRow("tips") << HelpTexts::tips() << HelpTexts::kTipsTitle
                              << "HELP - Tips e6301e9b63471aa2";
        QTest::newRow("rs232") << HelpTexts::rs232Port() << HelpTexts::kRs232PortTitle
                               << "HELP - Setup RS232 Port 4b8c2e0f3397e42e";
        QTest::newRow("network") << HelpTexts::network() << HelpTexts::kNetworkTitle
                                 << "HELP - Setup Network Connection a42886786ffdd7db";
        QTest::newRow("traffic logging")
            << HelpTexts::trafficLogging() << HelpTexts::kTrafficLoggingTitle
            << "Help - Setup Traffic Logging 1e21cd2e28a8621a";
        QTest::newRow("about") << HelpTexts::aboutDescription() << HelpTexts::kProgramTitle
                               << "Tethra c362e6ae68a006c5";
    }
    void helpText_isTheFixedTextUnderItsTitle()
    {
        QFETCH(QString, text);
        QFETCH(QString, title);
        const QByteArray sha1 = QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Sha1);
        QTEST(title + ' ' + QString::fromLatin1(sha1.toHex().left(16)), "expected");
    }
    // The title line shows the build's version, minor and revision joined without a separator.
    void aboutBox_showsVersionAndDescription()
    {
        const AboutForm about(*m_form);
        QCOMPARE((QStringList{about.windowTitle(), about.lblTitle->text(),
                              about.lblDescription->text()}),
                 (QStringList{" About Tethra", "Tethra v1.04", HelpTexts::aboutDescription()}));
        QCOMPARE(HelpTexts::titleLine(2, 1, 15), "Tethra v2.115");
    }
    void systemInfo_startsFirstInstalledViewerElseSaysUnavailable_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("broken");
        QTest::addColumn<QString>("expected");
        QTest::newRow("first of two") << QStringList{"kinfocenter", "hardinfo2"} << ""
                                      << "ran hardinfo2; no box";
        QTest::newRow("fails to start")
            << QStringList{"hardinfo"} << "hardinfo"
            << "failed hardinfo; 1 box 'Tethra': System Information Is Unavailable At This Time";
    }
    void systemInfo_startsFirstInstalledViewerElseSaysUnavailable()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, broken);
        QFETCH(QString, expected);
        for (const QString &viewer : installed)
            m_env->programs.install(viewer);
        m_env->programs.breakProgram(broken);
        AboutForm about(*m_form);
        about.show();
        QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);
        QVERIFY(about.isVisible());
        QStringList seen;
        for (const FakePrograms::Started &started : m_env->programs.started())
            seen << (started.taskId ? "ran " : "failed ") + started.program;
        QCOMPARE((seen << boxesSeen(m_env->messageBoxes, &about)).join("; "), expected);
    }
    // Tips shows its text in a box; a failure to open the site is silent.
    void tipsAndVisitMenuItems_showTipsAndOpenTheSite()
    {
        m_form->TipsMenuItem->trigger();
        m_form->VisitMenuItem->trigger();
        m_env->programs.openUrlResult = false;
        m_form->VisitMenuItem->trigger();
        QCOMPARE(boxesSeen(m_env->messageBoxes, m_form.get()),
                 "1 box 'HELP - Tips': " + HelpTexts::tips());
        QCOMPARE(m_env->programs.openedUrls(), QStringList(2, "https://www.orrindale.example/"));
    }
    // The setup dialogs, the about box, the main window and the status history window.
    void everyWindow_showsTheProgramIcon()
    {
        RS232SetupForm rs232(*m_form);
        NetworkSetupForm network(*m_form);
        TrafficLogSetupForm trafficLog(*m_form, &rs232);
        AboutForm about(*m_form);
        QVERIFY(!about.ImageIcon->pixmap().isNull());
        QWidgetList windows = QApplication::topLevelWidgets();
        windows.removeIf([](QWidget *window) { return window->windowType() == Qt::Popup; });
        QVERIFY(windows.size() >= 6);
        for (const QWidget *window : windows)
            QVERIFY2(!window->windowIcon().pixmap(32, 32).isNull(),
                     qPrintable(window->windowTitle()));
    }
    // Two lines drawn alike read as one heavy bar.
    void aboutSeparator_isEtchedDarkOverLight()
    {
        AboutForm about(*m_form);
        about.show();
        const QImage image = about.grab().toImage();
        const int x = about.Line1->geometry().center().x();
        const auto lightness = [&](int y) { return image.pixelColor(x, y).lightness(); };
        const int background = lightness(about.Line1->y() - 2), dark = lightness(about.Line1->y());
        QCOMPARE(about.Line2->y(), about.Line1->y() + 1);
        QVERIFY(dark < background && lightness(about.Line2->y()) > dark + 32);
    }
    void historyLine_formatsDateTimeAndText_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("expected");
        QTest::newRow("german, 24-hour clock, no full stop")
            << QDateTime(QDate(2027, 3, 9), QTime(23, 59, 1)) << "de_DE"
            << "Calling ..."
            << "09-M\u00e4r-2027  23:59:01  Calling ...\r\n";
        QTest::newRow("midnight, text as given")
            << QDateTime(QDate(2026, 1, 1), QTime(0, 0)) << "en_US"
            << " a  b "
            << "01-Jan-2026  00:00:00   a  b \r\n";
    }
    void historyLine_formatsDateTimeAndText()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, locale);
        QFETCH(QString, status);
        QTEST(StatusHistory::historyLine(when, status, QLocale(locale)), "expected");
    }
    // The status history and a traffic box drop their oldest characters once past their limit.
    void append_dropsFrontOnlyPastTheLimit_data()
    {
        QTest::addColumn<bool>("history");
        QTest::addColumn<int>("held");
        QTest::addColumn<int>("appended");
        QTest::addColumn<int>("kept");
        QTest::newRow("history, empty") << true << 0 << 40 << 40;
        QTest::newRow("history, reaches the limit") << true << 19960 << 40 << 20000;
        QTest::newRow("history, one past the limit") << true << 19961 << 40 << 20001 - 9999;
        QTest::newRow("history, 19990 and 40") << true << 19990 << 40 << 10031;
        QTest::newRow("history, one huge line") << true << 0 << 50000 << 50000 - 9999;
        QTest::newRow("traffic, 150 on 1900 drops 99") << false << 1900 << 150 << 1951;
        QTest::newRow("traffic, up to the limit") << false << 1990 << 10 << 2000;
        QTest::newRow("traffic, one past the limit") << false << 2000 << 1 << 1902;
        QTest::newRow("traffic, large chunk into empty box") << false << 0 << 5000 << 4000;
        QTest::newRow("traffic, small chunk on a full box") << false << 4000 << 1 << 3902;
        QTest::newRow("traffic, megabyte chunk") << false << 3000 << 1000000 << 4000;
    }
    void append_dropsFrontOnlyPastTheLimit()
    {
        QFETCH(int, held);
        QFETCH(int, appended);
        QFETCH(int, kept);
        QString text = QString::fromLatin1(numbered(held));
        const QByteArray chunk = numbered(appended + 3).mid(3);
        const QString whole = text + QString::fromLatin1(chunk);
        QFETCH(bool, history);
        if (history)
            StatusHistory::appendHistoryLine(text, QString::fromLatin1(chunk));
        else
            TrafficView::appendAndTrim(text, chunk);
        QCOMPARE(text, whole.right(kept));
    }
    void statusChange_writesOneLineAndClearEmpties()
    {
        StatusLogForm *window = m_form->statusLogForm();
        const auto shown = [window] { return window->history().remove('\r'); };
        for (const char *status : {"Connected", "Disconnected", "Disconnected", "Connected"})
            m_form->setNetStatus(QString::fromLatin1(status));
        const QString lines = QStringLiteral("05-Dec-2026  10:03:08  Connected\r\n"
                                             "05-Dec-2026  10:03:08  Disconnected\r\n"
                                             "05-Dec-2026  10:03:08  Connected\r\n");
        QCOMPARE(window->history(), lines);
        QCOMPARE(window->StatusTextBox->toPlainText(), shown());
        m_form->setNetStatus(QString(20000, QLatin1Char('s')));
        QCOMPARE(window->history().size(), lines.size() + 20025 - 9999);
        QCOMPARE(window->StatusTextBox->toPlainText(), shown());
        QTest::mouseClick(window->ClearButton, Qt::LeftButton);
        QCOMPARE(window->StatusTextBox->toPlainText(), QString());
        m_form->setNetStatus(QStringLiteral("Not Connected"));
        QCOMPARE(window->history(), QStringLiteral("05-Dec-2026  10:03:08  Not Connected\r\n"));
    }
    void historyMenuMark_followsEveryWayOfShowingAndHiding()
    {
        m_form->show();
        StatusLogForm *window = m_form->statusLogForm();
        QAction *item = m_form->DisplayStatusHistoryMenuItem;
        m_form->setNetStatus(QStringLiteral("Timed-Out"));
        const QString history = window->history();
        const std::function<void()> steps[] = {
            [] {},
            [&] { item->trigger(); },
            [&] { item->trigger(); },
            [&] { QTest::mouseDClick(m_form->NetStatus, Qt::LeftButton); },
            [&] { QTest::mouseClick(window->CloseButton, Qt::LeftButton); },
            [&] {
                item->trigger();
                QVERIFY(!window->close()); // the close box only hides it
            }};
        QString marks; // after each step: shown and checked, or neither
        for (const auto &step : steps) {
            step();
            marks += window->isVisible() != item->isChecked() ? '?'
                     : window->isVisible()                    ? 'S'
                                                              : '-';
        }
        QCOMPARE(marks, "-S-S--");
        item->trigger();
        QCOMPARE(window->history(), history);
    }
    void print_sendsSelectionOrWholeAfterOneEmptyLine()
    {
        m_form->setNetStatus(QStringLiteral("Connected"));
        m_form->setNetStatus(QStringLiteral("Timed-Out"));
        StatusLogForm *window = m_form->statusLogForm();
        QTest::mouseClick(window->PrintButton, Qt::LeftButton);
        QTextCursor cursor = window->StatusTextBox->textCursor();
        cursor.setPosition(0);
        cursor.movePosition(QTextCursor::EndOfLine, QTextCursor::KeepAnchor);
        window->StatusTextBox->setTextCursor(cursor);
        QTest::mouseClick(window->PrintButton, Qt::LeftButton);
        m_env->printing.answer = false; // the print dialog is cancelled
        QTest::mouseClick(window->PrintButton, Qt::LeftButton);
        QCOMPARE(m_env->printing.dialogsShown(), 3);
        QCOMPARE(m_env->printing.printed(),
                 QStringList({"\r\n" + window->history(), "\r\n05-Dec-2026  10:03:08  Connected"}));
    }
    void minimized_titleShowsStatus()
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
    void trafficRefresh_showsWhatTheBoxHolds_data()
    {
        QTest::addColumn<int>("maxChunk");
        QTest::addColumn<int>("refreshEvery");
        QTest::newRow("small chunks, refreshed each") << 40 << 1;
        QTest::newRow("small chunks, refreshed now and then") << 40 << 7;
        QTest::newRow("chunks near the capacity") << 5000 << 2;
    }
    // Line ends split across chunks and refreshes, the front trimmed between refreshes: the box
    // shows what it holds, as it would if drawn anew.
    void trafficRefresh_showsWhatTheBoxHolds()
    {
        QFETCH(int, maxChunk);
        QFETCH(int, refreshEvery);
        QRandomGenerator random(7);
        TrafficBox box;
        QByteArray stream;
        for (int append = 1; append <= 400; ++append) {
            QByteArray chunk;
            for (int index = random.bounded(1, maxChunk + 1); index > 0; --index)
                chunk.append("\r\nab\x01\x85"[random.bounded(6)]);
            box.appendChunk(chunk);
            stream += chunk;
            if (append % refreshEvery != 0)
                continue;
            // As many refreshes as a flooded box may wait for its next full redraw.
            for (int refresh = 0; refresh < 4; ++refresh)
                box.refresh();
            const QString held = box.traffic();
            QCOMPARE(held, QString::fromLatin1(stream.right(held.size())));
            const bool afterCr =
                stream.size() > held.size() && stream.at(stream.size() - held.size() - 1) == '\r';
            QCOMPARE(box.toPlainText(), TrafficView::shown(held, afterCr));
        }
    }
    // Each byte that is not text is drawn in the box's font (others filling in for characters it
    // lacks) unlike every other such byte.
    void controlBytes_drawnDistinctly()
    {
        const TrafficBox box;
        QList<int> codes;
        QList<QImage> images;
        for (int code = 0; code < 0xa0; ++code) {
            if ((code >= 0x20 || code == '\t' || code == '\n' || code == '\r') && code < 0x7f)
                continue;
            const QString shown = TrafficView::shown(QString(QChar(code)), false);
            QCOMPARE(shown.size(), 1);
            QImage image(48, 32, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setFont(box.font());
            painter.drawText(image.rect(), Qt::AlignCenter, shown);
            painter.end();
            for (qsizetype other = 0; other < images.size(); ++other)
                QVERIFY2(images[other] != image,
                         qPrintable(
                             QString::asprintf("bytes %x and %x look alike", codes[other], code)));
            codes.append(code);
            images.append(image);
        }
    }
    void messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes_data()
    {
        QTest::addColumn<bool>("ask");
        QTest::addColumn<int>("button"); // 0: Escape
        QTest::addColumn<bool>("answer");
        QTest::newRow("inform, OK") << false << int(QMessageBox::Ok) << false;
        QTest::newRow("ask, Yes") << true << int(QMessageBox::Yes) << true;
        QTest::newRow("ask, No") << true << int(QMessageBox::No) << false;
        QTest::newRow("ask, Escape") << true << 0 << false;
    }
    void messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes()
    {
        QFETCH(bool, ask);
        QFETCH(int, button);
        QFETCH(bool, answer);
        QStringList seen;
        QTimer::singleShot(0, this, [&] { // runs in the box's own loop, once it is up
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box && QTest::qWaitForWindowActive(box));
            seen << box->text() << box->windowTitle() << QString::number(box->icon())
                 << QString::number(box->standardButtons().toInt());
            if (button)
                QTest::mouseClick(box->button(QMessageBox::StandardButton(button)), Qt::LeftButton);
            else
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        });
        DesktopMessageBoxes boxes;
        const auto icon = ask ? MessageBoxes::Icon::Question : MessageBoxes::Icon::Information;
        const QString text = "Clear RX and TX Log files", title = "Are you Sure";
        QCOMPARE(ask ? boxes.askYesNo(nullptr, text, title, icon)
                     : (boxes.inform(nullptr, text, title, icon), false),
                 answer);
        const int buttons = ask ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
        QCOMPARE(seen, QStringList(
                           {text, title,
                            QString::number(ask ? QMessageBox::Question : QMessageBox::Information),
                            QString::number(buttons)}));
    }
    void programs_findStartAndTerminate()
    {
        DesktopPrograms programs;
        const QString missing = QStringLiteral("no-such-program-here-x9");
        QCOMPARE(programs.findProgram({missing}), QString());
        const QString sleep = programs.findProgram({missing, QStringLiteral("sleep")});
        QVERIFY2(sleep.endsWith(QStringLiteral("/sleep")), qPrintable(sleep));
        const qint64 task = programs.start(sleep, {QStringLiteral("30")});
        QVERIFY(task > 0);
        QCOMPARE(::kill(pid_t(task), 0), 0);
        QVERIFY(programs.terminate(task));
        QTRY_VERIFY_WITH_TIMEOUT(!programs.terminate(task), 5000);
        QVERIFY(!programs.terminate(0));
        QCOMPARE(programs.start(QStringLiteral("/nonexistent/viewer"), {}), qint64(0));
    }

private:
    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<MainForm> m_form;
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
