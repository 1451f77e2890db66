#include "platform/Clock.h"
#include "platform/FilePicker.h"
#include "platform/MessageBoxes.h"
#include "platform/Printing.h"
#include "platform/Programs.h"
#include "platform/RandomSource.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <memory>

namespace
{

// Closes whatever modal dialog is still up after the test's own action, for a few seconds,
// so that a dialog that refuses the action (and perhaps opens a warning of its own) ends the
// test with a failure instead of hanging it.
void closeStrayDialogs(QObject *scope)
{
    auto *timer = new QTimer(scope);
    timer->setInterval(100);
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, ticks]() mutable {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
        if (++ticks > 30) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Runs the action on the modal dialog of the given type as soon as it is up.
// The timers belong to scope, which the test deletes when it ends, so none of them reaches
// into the next test.
template <typename Dialog> void whenShown(QObject *scope, std::function<void(Dialog *)> action)
{
    auto *timer = new QTimer(scope);
    timer->setInterval(10);
    int tries = 0;
    QObject::connect(timer, &QTimer::timeout, timer, [scope, timer, action, tries]() mutable {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            closeStrayDialogs(scope);
            action(dialog);
        } else if (++tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

QList<QMessageBox *> openMessageBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(widget); box && box->isVisible())
            boxes.append(box);
    }
    return boxes;
}

} // namespace

class DesktopServicesTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { m_scope = std::make_unique<QObject>(); }
    void cleanup() { m_scope.reset(); }
    void inform_showsTextTitleAndIconAndReturnsOnOk();
    void askYesNo_answersTrueOnlyForYes_data();
    void askYesNo_answersTrueOnlyForYes();
    void informLater_returnsAtOnceAndReportsTheClose();
    void pick_acceptsNameOfFileThatDoesNotExist();
    void pick_cancelled_givesEmptyText();
    void printText_cancelledDialog_printsNothing();
    void programs_findStartAndTerminate();
    void programs_terminateFinishedTask_isFalse();
    void programs_startMissingProgram_givesZero();
    void systemRandom_drawsWithinUnitIntervalAndDiffersBetweenInstances();
    void systemClock_monotonicNeverGoesBack();

private:
    std::unique_ptr<QObject> m_scope;
};

void DesktopServicesTest::inform_showsTextTitleAndIconAndReturnsOnOk()
{
    QString seenText;
    QString seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons seenButtons;
    whenShown<QMessageBox>(m_scope.get(), [&](QMessageBox *box) {
        seenText = box->text();
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        seenButtons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });

    DesktopMessageBoxes boxes;
    boxes.inform(nullptr, QStringLiteral("Log Files Cleared."), QStringLiteral("Tethra"),
                 MessageBoxes::Icon::Information);

    QCOMPARE(seenText, QStringLiteral("Log Files Cleared."));
    QCOMPARE(seenTitle, QStringLiteral("Tethra"));
    QCOMPARE(seenIcon, QMessageBox::Information);
    QCOMPARE(seenButtons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void DesktopServicesTest::askYesNo_answersTrueOnlyForYes_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("expected");
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
    QTest::newRow("escape") << -1 << false;
}

void DesktopServicesTest::askYesNo_answersTrueOnlyForYes()
{
    QFETCH(int, button);
    QFETCH(bool, expected);
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    whenShown<QMessageBox>(m_scope.get(), [&](QMessageBox *box) {
        seenIcon = box->icon();
        if (button < 0)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(static_cast<QMessageBox::StandardButton>(button))->click();
    });

    DesktopMessageBoxes boxes;
    const bool answer =
        boxes.askYesNo(nullptr, QStringLiteral("Are you Sure"),
                       QStringLiteral("Clear RX and TX Log files"), MessageBoxes::Icon::Question);

    QCOMPARE(answer, expected);
    QCOMPARE(seenIcon, QMessageBox::Question);
}

void DesktopServicesTest::informLater_returnsAtOnceAndReportsTheClose()
{
    DesktopMessageBoxes boxes;
    int closed = 0;
    boxes.informLater(nullptr, QStringLiteral("Unknown packet"),
                      QStringLiteral("ERROR - Network Rx Packet"), [&closed] { ++closed; });

    QCOMPARE(closed, 0);
    QTRY_COMPARE_WITH_TIMEOUT(openMessageBoxes().size(), 1, 5000);
    QPointer<QMessageBox> box = openMessageBoxes().first();
    QCOMPARE(box->windowTitle(), QStringLiteral("ERROR - Network Rx Packet"));
    QCOMPARE(box->text(), QStringLiteral("Unknown packet"));

    box->button(QMessageBox::Ok)->click();

    QCOMPARE(closed, 1);
    QTRY_VERIFY_WITH_TIMEOUT(box.isNull(), 5000);
}

void DesktopServicesTest::pick_acceptsNameOfFileThatDoesNotExist()
{
    QTemporaryDir dir;
    QString seenTitle;
    whenShown<QFileDialog>(m_scope.get(), [&](QFileDialog *dialog) {
        seenTitle = dialog->windowTitle();
        dialog->selectFile(dir.filePath(QStringLiteral("new-rx.log")));
        static_cast<QDialog *>(dialog)->accept();
        // A picker that insists on existing files stays open; end it so the test fails.
        if (dialog->isVisible())
            dialog->reject();
    });

    DesktopFilePicker picker;
    FilePicker::Request request;
    request.title = QStringLiteral("Select RX Data Traffic Log File");
    request.initialFolder = dir.path();
    request.filter = QStringLiteral("Traffic Log files (LOG) ( *.log);;All files (*.*)");
    request.defaultSuffix = QStringLiteral("*");
    const QString chosen = picker.pick(nullptr, request);

    QCOMPARE(chosen, dir.filePath(QStringLiteral("new-rx.log")));
    QCOMPARE(seenTitle, QStringLiteral("Select RX Data Traffic Log File"));
    QVERIFY(!QFile::exists(chosen));
}

void DesktopServicesTest::pick_cancelled_givesEmptyText()
{
    QTemporaryDir dir;
    whenShown<QFileDialog>(m_scope.get(), [](QFileDialog *dialog) { dialog->reject(); });

    DesktopFilePicker picker;
    FilePicker::Request request;
    request.initialFolder = dir.path();
    request.presetFileName = QStringLiteral("rx.log");

    QCOMPARE(picker.pick(nullptr, request), QString());
}

void DesktopServicesTest::printText_cancelledDialog_printsNothing()
{
    bool offeredPrintToFile = true;
    bool offeredSelection = true;
    bool offeredPageRange = true;
    whenShown<QPrintDialog>(m_scope.get(), [&](QPrintDialog *dialog) {
        offeredPrintToFile = dialog->testOption(QAbstractPrintDialog::PrintToFile);
        offeredSelection = dialog->testOption(QAbstractPrintDialog::PrintSelection);
        offeredPageRange = dialog->testOption(QAbstractPrintDialog::PrintPageRange);
        dialog->reject();
    });

    DesktopPrinting printing;
    QVERIFY(!printing.printText(nullptr, QStringLiteral("history")));
    QVERIFY(!offeredPrintToFile);
    QVERIFY(!offeredSelection);
    QVERIFY(!offeredPageRange);
}

void DesktopServicesTest::programs_findStartAndTerminate()
{
    DesktopPrograms programs;
    QCOMPARE(programs.findProgram({QStringLiteral("no-such-program-here-x9")}), QString());
    const QString sleep =
        programs.findProgram({QStringLiteral("no-such-program-here-x9"), QStringLiteral("sleep")});
    QVERIFY2(sleep.endsWith(QStringLiteral("/sleep")), qPrintable(sleep));

    const qint64 task = programs.start(sleep, {QStringLiteral("30")});
    QVERIFY(task > 0);
    QVERIFY(::kill(static_cast<pid_t>(task), 0) == 0);

    QVERIFY(programs.terminate(task));
    QTRY_VERIFY_WITH_TIMEOUT(!programs.terminate(task), 5000);
}

void DesktopServicesTest::programs_terminateFinishedTask_isFalse()
{
    DesktopPrograms programs;
    const QString truePath = programs.findProgram({QStringLiteral("true")});
    QVERIFY(!truePath.isEmpty());
    const qint64 task = programs.start(truePath, {});
    QVERIFY(task > 0);

    QTRY_VERIFY_WITH_TIMEOUT(!programs.terminate(task), 5000);
    QVERIFY(!programs.terminate(0));
    QVERIFY(!programs.terminate(-5));
}

void DesktopServicesTest::programs_startMissingProgram_givesZero()
{
    DesktopPrograms programs;
    QCOMPARE(programs.start(QStringLiteral("/nonexistent/viewer"), {}), qint64(0));
}

void DesktopServicesTest::systemRandom_drawsWithinUnitIntervalAndDiffersBetweenInstances()
{
    SystemRandom first;
    SystemRandom second;
    double sum = 0;
    bool differs = false;
    constexpr int kDraws = 10000;
    for (int i = 0; i < kDraws; ++i) {
        const double a = first.next();
        const double b = second.next();
        QVERIFY(a >= 0.0 && a < 1.0);
        QVERIFY(b >= 0.0 && b < 1.0);
        differs = differs || a != b;
        sum += a;
    }
    QVERIFY(differs);
    // A fair draw averages close to one half (the bound is many standard deviations wide).
    QVERIFY(qAbs(sum / kDraws - 0.5) < 0.05);
}

void DesktopServicesTest::systemClock_monotonicNeverGoesBack()
{
    SystemClock clock;
    const qint64 start = clock.monotonicMs();
    qint64 last = start;
    for (int i = 0; i < 1000; ++i) {
        const qint64 now = clock.monotonicMs();
        QVERIFY(now >= last);
        last = now;
    }
    QTRY_VERIFY_WITH_TIMEOUT(clock.monotonicMs() - start >= 20, 5000);
    QVERIFY(qAbs(clock.now().secsTo(QDateTime::currentDateTime())) <= 1);
}

QTEST_MAIN(DesktopServicesTest)
#include "desktopservices_test.moc"
