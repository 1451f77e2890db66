// The real desktop services behind the fakes the other tests use: Qt's own message boxes, file
// and print dialogs answered as a user would, helper programs, the clock and the random draw.
#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/MessageBoxes.h"
#include "platform/Printing.h"
#include "platform/Programs.h"
#include "platform/RandomSource.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>

class DesktopServicesTest final : public QObject
{
    Q_OBJECT

    // Runs the action on the modal dialog of the given type once it is up and has the focus;
    // from then on rejects any dialog still up, so that one refusing the action fails the test
    // instead of hanging it. The timers belong to m_scope, which goes when the test ends.
    template <typename Dialog> void whenShown(std::function<void(Dialog *)> action)
    {
        auto *timer = new QTimer(m_scope.get());
        connect(timer, &QTimer::timeout, timer, [this, timer, action] {
            auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (!dialog || QApplication::activeWindow() != dialog)
                return;
            timer->stop();
            // A timer of its own: a timer does not fire again while its own handler runs.
            auto *strays = new QTimer(m_scope.get());
            connect(strays, &QTimer::timeout, strays, [] {
                if (auto *stray = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                    stray->reject();
            });
            strays->start(100);
            action(dialog);
        });
        timer->start(10);
    }

private Q_SLOTS:
    void init() { m_scope = std::make_unique<QObject>(); }
    void cleanup() { m_scope.reset(); }
    void messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes_data();
    void messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes();
    void informLater_returnsAtOnceAndReportsTheClose();
    void pick_acceptsNewFileNameOrGivesEmptyWhenCancelled_data();
    void pick_acceptsNewFileNameOrGivesEmptyWhenCancelled();
    void printText_offersNoRangeAndPrintsNothingWhenCancelled();
    void programs_findStartAndTerminate();
    void randomAndClock_drawInUnitIntervalAndNeverGoBack();

private:
    std::unique_ptr<QObject> m_scope;
};

void DesktopServicesTest::messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes_data()
{
    QTest::addColumn<bool>("ask");
    QTest::addColumn<int>("button"); // 0: Escape
    QTest::addColumn<bool>("answer");
    QTest::newRow("inform, OK") << false << int(QMessageBox::Ok) << false;
    QTest::newRow("ask, Yes") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("ask, No") << true << int(QMessageBox::No) << false;
    QTest::newRow("ask, Escape") << true << 0 << false;
}

void DesktopServicesTest::messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes()
{
    QFETCH(bool, ask);
    QFETCH(int, button);
    QFETCH(bool, answer);
    QStringList seen;
    whenShown<QMessageBox>([&](QMessageBox *box) {
        seen << box->text() << box->windowTitle() << QString::number(box->icon())
             << QString::number(box->standardButtons().toInt());
        if (button)
            QTest::mouseClick(box->button(QMessageBox::StandardButton(button)), Qt::LeftButton);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    DesktopMessageBoxes boxes;
    const auto icon = ask ? MessageBoxes::Icon::Question : MessageBoxes::Icon::Information;
    bool given = false;
    if (ask)
        given = boxes.askYesNo(nullptr, "Clear RX and TX Log files", "Are you Sure", icon);
    else
        boxes.inform(nullptr, "Clear RX and TX Log files", "Are you Sure", icon);
    QCOMPARE(given, answer);
    const int buttons = ask ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok;
    QCOMPARE(seen,
             QStringList({"Clear RX and TX Log files", "Are you Sure",
                          QString::number(ask ? QMessageBox::Question : QMessageBox::Information),
                          QString::number(buttons)}));
}

void DesktopServicesTest::informLater_returnsAtOnceAndReportsTheClose()
{
    DesktopMessageBoxes boxes;
    int closed = 0;
    boxes.informLater(nullptr, "Unknown packet", "ERROR - Network Rx Packet", [&] { ++closed; });
    QCOMPARE(closed, 0);
    QPointer<QMessageBox> box;
    QTRY_VERIFY_WITH_TIMEOUT((box = qobject_cast<QMessageBox *>(QApplication::activeWindow())) &&
                                 box->isVisible(),
                             5000);
    QCOMPARE((QStringList{box->windowTitle(), box->text()}),
             QStringList({"ERROR - Network Rx Packet", "Unknown packet"}));
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QCOMPARE(closed, 1);
    QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);
}

void DesktopServicesTest::pick_acceptsNewFileNameOrGivesEmptyWhenCancelled_data()
{
    QTest::addColumn<QString>("typed"); // empty: Cancel
    QTest::newRow("new file") << "new-rx.log";
    QTest::newRow("cancelled") << "";
}

void DesktopServicesTest::pick_acceptsNewFileNameOrGivesEmptyWhenCancelled()
{
    QFETCH(QString, typed);
    QTemporaryDir dir;
    QString title;
    whenShown<QFileDialog>([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        if (typed.isEmpty())
            return dialog->reject();
        // Typed where the focus is, as a user would; one insisting on existing files stays up.
        QTest::keyClicks(QApplication::focusWidget(), typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    FilePicker::Request request;
    request.title = QStringLiteral("Select RX Data Traffic Log File");
    request.initialFolder = dir.path();
    request.filter = QStringLiteral("Traffic Log files (LOG) ( *.log);;All files (*.*)");
    request.defaultSuffix = QStringLiteral("*");
    QCOMPARE(DesktopFilePicker().pick(nullptr, request),
             typed.isEmpty() ? QString() : dir.filePath(typed));
    QCOMPARE(title, request.title);
}

void DesktopServicesTest::printText_offersNoRangeAndPrintsNothingWhenCancelled()
{
    QList<bool> offered;
    whenShown<QPrintDialog>([&](QPrintDialog *dialog) {
        for (const auto option :
             {QAbstractPrintDialog::PrintToFile, QAbstractPrintDialog::PrintSelection,
              QAbstractPrintDialog::PrintPageRange})
            offered.append(dialog->testOption(option));
        dialog->reject();
    });
    QVERIFY(!DesktopPrinting().printText(nullptr, QStringLiteral("history")));
    QCOMPARE(offered, QList<bool>({false, false, false}));
}

void DesktopServicesTest::programs_findStartAndTerminate()
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

void DesktopServicesTest::randomAndClock_drawInUnitIntervalAndNeverGoBack()
{
    SystemRandom first;
    SystemRandom second;
    double sum = 0;
    bool differ = false;
    for (int i = 0; i < 10000; ++i) {
        const double a = first.next();
        QVERIFY(a >= 0.0 && a < 1.0);
        differ = differ || a != second.next();
        sum += a;
    }
    QVERIFY(differ);
    QVERIFY(qAbs(sum / 10000 - 0.5) < 0.05); // many standard deviations wide
    SystemClock clock;
    const qint64 start = clock.monotonicMs();
    QTRY_VERIFY_WITH_TIMEOUT(clock.monotonicMs() - start >= 20, 5000);
    QVERIFY(qAbs(clock.now().secsTo(QDateTime::currentDateTime())) <= 1);
}

QTEST_MAIN(DesktopServicesTest)
#include "desktopservices_test.moc"
