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

namespace
{

// Runs the action on the modal dialog of the given type once it is up and has the focus; from
// then on rejects
// any dialog still up, so that one refusing the action fails the test instead of hanging it.
// The timers belong to scope, which the test deletes when it ends.
template <typename Dialog> void whenShown(QObject *scope, std::function<void(Dialog *)> action)
{
    auto *timer = new QTimer(scope);
    QObject::connect(timer, &QTimer::timeout, timer, [scope, timer, action] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        if (!dialog || QApplication::activeWindow() != dialog)
            return;
        timer->stop();
        // A timer of its own: a timer does not fire again while its own handler runs.
        auto *strays = new QTimer(scope);
        QObject::connect(strays, &QTimer::timeout, strays, [] {
            if (auto *stray = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                stray->reject();
        });
        strays->start(100);
        action(dialog);
    });
    timer->start(10);
}

} // namespace

class DesktopServicesTest final : public QObject
{
    Q_OBJECT

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
    QTest::addColumn<int>("buttons");
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("inform, OK") << false << int(QMessageBox::Ok) << false << int(QMessageBox::Ok);
    QTest::newRow("ask, Yes") << true << int(QMessageBox::Yes) << true << yesNo;
    QTest::newRow("ask, No") << true << int(QMessageBox::No) << false << yesNo;
    QTest::newRow("ask, Escape") << true << 0 << false << yesNo;
}

void DesktopServicesTest::messageBox_showsTextTitleAndIconAndAnswersYesOnlyForYes()
{
    QFETCH(bool, ask);
    QFETCH(int, button);
    QFETCH(bool, answer);
    QFETCH(int, buttons);
    QStringList seen;
    whenShown<QMessageBox>(m_scope.get(), [&](QMessageBox *box) {
        seen << box->text() << box->windowTitle() << QString::number(box->icon())
             << QString::number(box->standardButtons().toInt());
        if (button)
            QTest::mouseClick(box->button(QMessageBox::StandardButton(button)), Qt::LeftButton);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    DesktopMessageBoxes boxes;
    const QString text = QStringLiteral("Clear RX and TX Log files");
    const QString title = QStringLiteral("Are you Sure");
    const auto icon = ask ? MessageBoxes::Icon::Question : MessageBoxes::Icon::Information;
    bool given = false;
    if (ask)
        given = boxes.askYesNo(nullptr, text, title, icon);
    else
        boxes.inform(nullptr, text, title, icon);
    QCOMPARE(given, answer);
    QCOMPARE(seen,
             QStringList({text, title,
                          QString::number(ask ? QMessageBox::Question : QMessageBox::Information),
                          QString::number(buttons)}));
}

void DesktopServicesTest::informLater_returnsAtOnceAndReportsTheClose()
{
    DesktopMessageBoxes boxes;
    int closed = 0;
    boxes.informLater(nullptr, QStringLiteral("Unknown packet"),
                      QStringLiteral("ERROR - Network Rx Packet"), [&closed] { ++closed; });
    QCOMPARE(closed, 0);
    const auto shownBox = []() -> QMessageBox * {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
                return box;
        }
        return nullptr;
    };
    QTRY_VERIFY_WITH_TIMEOUT(shownBox(), 5000);
    QPointer<QMessageBox> box = shownBox();
    QCOMPARE(box->windowTitle(), QStringLiteral("ERROR - Network Rx Packet"));
    QCOMPARE(box->text(), QStringLiteral("Unknown packet"));
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
    const QString path = typed.isEmpty() ? QString() : dir.filePath(typed);
    QString title;
    whenShown<QFileDialog>(m_scope.get(), [&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        if (path.isEmpty()) {
            dialog->reject();
            return;
        }
        // Typed where the focus is, as a user would; one insisting on existing files stays up.
        QTest::keyClicks(QApplication::focusWidget(), typed);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    FilePicker::Request request;
    request.title = QStringLiteral("Select RX Data Traffic Log File");
    request.initialFolder = dir.path();
    request.filter = QStringLiteral("Traffic Log files (LOG) ( *.log);;All files (*.*)");
    request.defaultSuffix = QStringLiteral("*");
    DesktopFilePicker picker;
    QCOMPARE(picker.pick(nullptr, request), path);
    QCOMPARE(title, request.title);
}

void DesktopServicesTest::printText_offersNoRangeAndPrintsNothingWhenCancelled()
{
    QList<bool> offered;
    whenShown<QPrintDialog>(m_scope.get(), [&](QPrintDialog *dialog) {
        for (const auto option :
             {QAbstractPrintDialog::PrintToFile, QAbstractPrintDialog::PrintSelection,
              QAbstractPrintDialog::PrintPageRange})
            offered.append(dialog->testOption(option));
        dialog->reject();
    });
    DesktopPrinting printing;
    QVERIFY(!printing.printText(nullptr, QStringLiteral("history")));
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
