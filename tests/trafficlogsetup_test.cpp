// The traffic log setup dialog on a real station: real files in a temporary folder, real
// widgets on the offscreen platform, a file picker and message boxes that the test answers.
#include "app/MainForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "dialogs/ValueLabel.h"
#include "support/DialogTestSupport.h"
#include "support/FakeServices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace
{

bool writeFile(const QString &path, const QByteArray &bytes = "logged")
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TrafficLogSetupTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captions_fitTheirControls();
    void load_splitsStoredPathIntoFolderAndName_data();
    void load_splitsStoredPathIntoFolderAndName();
    void ok_joinsFolderAndNameWithOneSeparator_data();
    void ok_joinsFolderAndNameWithOneSeparator();
    void select_asksPickerAndShowsTheChoice();
    void select_withEmptyFolder_startsInProgramFolder();
    void cancelledPicker_switchesDirectionOff();
    void clearButton_followsTheFileNames();
    void doubleClickOnAValue_opensItsDirectionsPicker_data();
    void doubleClickOnAValue_opensItsDirectionsPicker();
    void clear_answeredYes_deletesStoredFilesThreeTimes();
    void clear_answeredNo_deletesNothing();
    void cancel_keepsStoredPaths();
    void help_showsTrafficLoggingHelpOverTheDialog();
    void logTrafficButton_opensDialogOwnedByMainWindow();
};

void TrafficLogSetupTest::load_splitsStoredPathIntoFolderAndName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");

    QTest::newRow("full path") << "/var/log/tethra/rx.log"
                               << "/var/log/tethra/"
                               << "rx.log";
    QTest::newRow("file in root") << "/rx.log"
                                  << "/"
                                  << "rx.log";
    QTest::newRow("bare file name shows empty") << "rx.log"
                                                << ""
                                                << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("trailing separator is dropped first") << "/var/log/"
                                                         << "/var/"
                                                         << "log";
}

void TrafficLogSetupTest::load_splitsStoredPathIntoFolderAndName()
{
    QFETCH(QString, stored);
    QFETCH(QString, folder);
    QFETCH(QString, name);

    DialogStation station;
    MainForm &form = station.form();
    form.RxLogFile = stored;
    form.TxLogFile = QStringLiteral("/other/tx.log");
    TrafficLogSetupForm dialog(form, &form);
    QCOMPARE(dialog.windowTitle(), QStringLiteral(" Setup RS232 Traffic Logging"));
    QCOMPARE(dialog.RxLogFilepath->text(), folder);
    QCOMPARE(dialog.RxLogFilename->text(), name);
    QCOMPARE(dialog.RxLogFilepath->isGreyed(), name.isEmpty());
    QCOMPARE(dialog.RxLogFilename->isGreyed(), name.isEmpty());
    QCOMPARE(dialog.TxLogFilepath->text(), QStringLiteral("/other/"));
    QCOMPARE(dialog.TxLogFilename->text(), QStringLiteral("tx.log"));
    QVERIFY(!dialog.TxLogFilename->isGreyed());
    // A greyed field really shows the button face colour.
    const QPalette::ColorRole expected = name.isEmpty() ? QPalette::Button : QPalette::Base;
    QCOMPARE(dialog.RxLogFilename->palette().color(QPalette::Window),
             dialog.palette().color(expected));

    // What the dialog shows is what OK stores: a bare name does not survive.
    dialog.OKbutton->click();
    QCOMPARE(form.RxLogFile, name.isEmpty() ? QString() : folder + name);
    QCOMPARE(form.TxLogFile, QStringLiteral("/other/tx.log"));
}

void TrafficLogSetupTest::ok_joinsFolderAndNameWithOneSeparator_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");

    QTest::newRow("folder ends in separator") << "/logs/"
                                              << "rx.log"
                                              << "/logs/rx.log";
    QTest::newRow("folder without separator") << "/logs"
                                              << "rx.log"
                                              << "/logs/rx.log";
    QTest::newRow("root folder") << "/"
                                 << "rx.log"
                                 << "/rx.log";
    QTest::newRow("only one separator is dropped") << "/logs//"
                                                   << "rx.log"
                                                   << "/logs//rx.log";
    QTest::newRow("blanks only count as empty") << "/logs/"
                                                << "   "
                                                << "";
    QTest::newRow("empty name") << "/logs/"
                                << ""
                                << "";
    QTest::newRow("name kept untrimmed") << "/logs/"
                                         << " rx.log "
                                         << "/logs/ rx.log ";
}

void TrafficLogSetupTest::ok_joinsFolderAndNameWithOneSeparator()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, stored);

    DialogStation station;
    MainForm &form = station.form();
    TrafficLogSetupForm dialog(form, &form);
    dialog.RxLogFilepath->setText(folder);
    dialog.RxLogFilename->setText(name);
    dialog.TxLogFilepath->setText(folder);
    dialog.TxLogFilename->setText(name);
    dialog.OKbutton->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(form.RxLogFile, stored);
    QCOMPARE(form.TxLogFile, stored);
}

void TrafficLogSetupTest::select_asksPickerAndShowsTheChoice()
{
    DialogStation station;
    MainForm &form = station.form();
    form.RxLogFile = QStringLiteral("/old/rx.log");
    FakeFilePicker &picker = station.env().filePicker;
    picker.queueAnswer(QStringLiteral("/new/folder/received.log"));
    picker.queueAnswer(QStringLiteral("/new/sent.log"));
    TrafficLogSetupForm dialog(form, &form);

    dialog.SelectRxLogButton->click();
    QCOMPARE(picker.count(), 1);
    const FilePicker::Request rx = picker.lastRequest();
    QCOMPARE(rx.title, QStringLiteral("Select RX Data Traffic Log File"));
    QCOMPARE(rx.initialFolder, QStringLiteral("/old/"));
    QCOMPARE(rx.presetFileName, QStringLiteral("rx.log"));
    QVERIFY(rx.filter.contains(QStringLiteral("Traffic Log files (LOG)")));
    QVERIFY(rx.filter.contains(QStringLiteral(" *.log")));
    QVERIFY(rx.filter.contains(QStringLiteral("All files (*.*)")));
    QVERIFY(rx.filter.indexOf(QStringLiteral("Traffic Log")) <
            rx.filter.indexOf(QStringLiteral("All files")));
    QCOMPARE(picker.calls().last().owner.data(), &dialog);
    QCOMPARE(dialog.RxLogFilepath->text(), QStringLiteral("/new/folder/"));
    QCOMPARE(dialog.RxLogFilename->text(), QStringLiteral("received.log"));

    dialog.SelectTxLogButton->click();
    QCOMPARE(picker.lastRequest().title, QStringLiteral("Select Tx Data Traffic Log File"));
    QCOMPARE(dialog.TxLogFilepath->text(), QStringLiteral("/new/"));
    QCOMPARE(dialog.TxLogFilename->text(), QStringLiteral("sent.log"));
    QVERIFY(!dialog.TxLogFilename->isGreyed());
    QVERIFY(!dialog.TxLogFilepath->isGreyed());

    // Nothing is stored before OK.
    QCOMPARE(form.RxLogFile, QStringLiteral("/old/rx.log"));
    QCOMPARE(form.TxLogFile, QString());
    dialog.OKbutton->click();
    QCOMPARE(form.RxLogFile, QStringLiteral("/new/folder/received.log"));
    QCOMPARE(form.TxLogFile, QStringLiteral("/new/sent.log"));
}

void TrafficLogSetupTest::select_withEmptyFolder_startsInProgramFolder()
{
    DialogStation station;
    TrafficLogSetupForm dialog(station.form(), &station.form());
    dialog.SelectTxLogButton->click();
    const FilePicker::Request request = station.env().filePicker.lastRequest();
    QCOMPARE(request.initialFolder, QCoreApplication::applicationDirPath());
    QCOMPARE(request.presetFileName, QString());
}

void TrafficLogSetupTest::cancelledPicker_switchesDirectionOff()
{
    DialogStation station;
    MainForm &form = station.form();
    form.RxLogFile = QStringLiteral("/logs/rx.log");
    form.TxLogFile = QStringLiteral("/logs/tx.log");
    TrafficLogSetupForm dialog(form, &form);
    dialog.SelectRxLogButton->click();

    QCOMPARE(dialog.RxLogFilename->text(), QString());
    QCOMPARE(dialog.RxLogFilepath->text(), QStringLiteral("/logs/"));
    QVERIFY(dialog.RxLogFilename->isGreyed());
    QVERIFY(dialog.RxLogFilepath->isGreyed());
    QVERIFY(dialog.ClearLogFilesButton->isEnabled());
    dialog.OKbutton->click();
    QCOMPARE(form.RxLogFile, QString());
    QCOMPARE(form.TxLogFile, QStringLiteral("/logs/tx.log"));
}

void TrafficLogSetupTest::clearButton_followsTheFileNames()
{
    DialogStation station;
    MainForm &form = station.form();
    FakeFilePicker &picker = station.env().filePicker;
    TrafficLogSetupForm dialog(form, &form);
    QVERIFY(!dialog.ClearLogFilesButton->isEnabled());

    picker.queueAnswer(QStringLiteral("/logs/tx.log"));
    dialog.SelectTxLogButton->click();
    QVERIFY(dialog.ClearLogFilesButton->isEnabled());
    picker.queueAnswer(QStringLiteral("/logs/rx.log"));
    dialog.SelectRxLogButton->click();
    dialog.SelectTxLogButton->click(); // cancelled
    QVERIFY(dialog.ClearLogFilesButton->isEnabled());
    dialog.SelectRxLogButton->click(); // cancelled
    QVERIFY(!dialog.ClearLogFilesButton->isEnabled());

    // Enabled from the start while either stored path is set.
    form.TxLogFile = QStringLiteral("/logs/tx.log");
    TrafficLogSetupForm again(form, &form);
    QVERIFY(again.ClearLogFilesButton->isEnabled());
}

void TrafficLogSetupTest::doubleClickOnAValue_opensItsDirectionsPicker_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("title");
    QTest::newRow("rx folder") << 0 << "Select RX Data Traffic Log File";
    QTest::newRow("rx name") << 1 << "Select RX Data Traffic Log File";
    QTest::newRow("tx folder") << 2 << "Select Tx Data Traffic Log File";
    QTest::newRow("tx name") << 3 << "Select Tx Data Traffic Log File";
}

void TrafficLogSetupTest::doubleClickOnAValue_opensItsDirectionsPicker()
{
    QFETCH(int, field);
    QFETCH(QString, title);

    DialogStation station;
    TrafficLogSetupForm dialog(station.form(), &station.form());
    dialog.show();
    const QList<ValueLabel *> fields{dialog.RxLogFilepath, dialog.RxLogFilename,
                                     dialog.TxLogFilepath, dialog.TxLogFilename};
    QTest::mouseDClick(fields.at(field), Qt::LeftButton);
    QCOMPARE(station.env().filePicker.count(), 1);
    QCOMPARE(station.env().filePicker.lastRequest().title, title);
}

void TrafficLogSetupTest::clear_answeredYes_deletesStoredFilesThreeTimes()
{
    DialogStation station;
    MainForm &form = station.form();
    TestEnvironment &env = station.env();
    const QString rx = env.filePath(QStringLiteral("rx.log"));
    const QString tx = env.filePath(QStringLiteral("tx.log"));
    const QString chosen = env.filePath(QStringLiteral("chosen.log"));
    QVERIFY(writeFile(rx) && writeFile(tx) && writeFile(chosen));
    form.RxLogFile = rx;
    form.TxLogFile = tx;
    TrafficLogSetupForm dialog(form, &form);
    // Chosen in the dialog but not confirmed: not the file that is cleared.
    dialog.RxLogFilename->setText(QStringLiteral("chosen.log"));

    env.messageBoxes.queueAnswer(true);
    QElapsedTimer elapsed;
    elapsed.start();
    dialog.ClearLogFilesButton->click();
    // The first pass deletes at once. Another program writes the RX log again during the
    // pauses; a pass after them removes it for good.
    QVERIFY(!QFile::exists(rx));
    QVERIFY(writeFile(rx));
    QTRY_COMPARE_WITH_TIMEOUT(env.messageBoxes.count(), 2, 5000);
    QVERIFY(elapsed.elapsed() >=
            (TrafficLogSetupForm::kClearPasses - 1) * TrafficLogSetupForm::kClearPauseMs);

    QVERIFY(!QFile::exists(rx));
    QVERIFY(!QFile::exists(tx));
    QVERIFY(QFile::exists(chosen));

    const QList<FakeMessageBoxes::Box> &boxes = env.messageBoxes.boxes();
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].kind, FakeMessageBoxes::Kind::AskYesNo);
    QCOMPARE(boxes[0].text, QStringLiteral("Are you Sure"));
    QCOMPARE(boxes[0].title, QStringLiteral("Clear RX and TX Log files"));
    QCOMPARE(boxes[0].icon, MessageBoxes::Icon::Question);
    QCOMPARE(boxes[1].kind, FakeMessageBoxes::Kind::Inform);
    QCOMPARE(boxes[1].text, QStringLiteral("Log Files Cleared."));
    QCOMPARE(boxes[1].title, QStringLiteral("Tethra"));
    QCOMPARE(boxes[1].icon, MessageBoxes::Icon::Information);
    QCOMPARE(boxes[1].owner.data(), &dialog);
    // The stored paths stay; the writer creates the files again on its next append.
    QCOMPARE(form.RxLogFile, rx);
    QCOMPARE(dialog.result(), 0);
}

void TrafficLogSetupTest::clear_answeredNo_deletesNothing()
{
    DialogStation station;
    MainForm &form = station.form();
    TestEnvironment &env = station.env();
    const QString rx = env.filePath(QStringLiteral("rx.log"));
    QVERIFY(writeFile(rx));
    form.RxLogFile = rx;
    TrafficLogSetupForm dialog(form, &form);
    env.messageBoxes.queueAnswer(false);
    dialog.ClearLogFilesButton->click();
    QVERIFY(QFile::exists(rx));
    QCOMPARE(env.messageBoxes.count(), 1);
    QCOMPARE(env.messageBoxes.last().kind, FakeMessageBoxes::Kind::AskYesNo);
}

void TrafficLogSetupTest::cancel_keepsStoredPaths()
{
    DialogStation station;
    MainForm &form = station.form();
    form.RxLogFile = QStringLiteral("/logs/rx.log");
    station.env().filePicker.queueAnswer(QStringLiteral("/elsewhere/tx.log"));
    TrafficLogSetupForm dialog(form, &form);
    dialog.show();
    dialog.SelectRxLogButton->click(); // cancelled
    dialog.SelectTxLogButton->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(form.RxLogFile, QStringLiteral("/logs/rx.log"));
    QCOMPARE(form.TxLogFile, QString());
}

void TrafficLogSetupTest::help_showsTrafficLoggingHelpOverTheDialog()
{
    DialogStation station;
    MainForm &form = station.form();
    station.env().filePicker.queueAnswer(QStringLiteral("/logs/rx.log"));
    TrafficLogSetupForm dialog(form, &form);
    dialog.SelectRxLogButton->click();
    dialog.HelpButton->click();
    const FakeMessageBoxes::Box &box = station.env().messageBoxes.last();
    QCOMPARE(box.title, QStringLiteral("Help - Setup Traffic Logging"));
    QVERIFY(box.text.startsWith(QStringLiteral("Rx Data Logging ... ")));
    QCOMPARE(box.icon, MessageBoxes::Icon::None);
    QCOMPARE(box.owner.data(), &dialog);
    QCOMPARE(dialog.RxLogFilename->text(), QStringLiteral("rx.log"));
}

void TrafficLogSetupTest::logTrafficButton_opensDialogOwnedByMainWindow()
{
    DialogStation station;
    MainForm &form = station.form();
    station.env().filePicker.queueAnswer(QStringLiteral("/logs/main.log"));
    QWidget *owner = nullptr;
    QTimer::singleShot(0, &form, [&owner] {
        auto *dialog = qobject_cast<TrafficLogSetupForm *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        owner = dialog->parentWidget();
        QTest::mouseClick(dialog->SelectRxLogButton, Qt::LeftButton);
        QTest::mouseClick(dialog->OKbutton, Qt::LeftButton);
    });
    form.TrafficLogButton->click();
    QCOMPARE(owner, &form);
    QCOMPARE(form.RxLogFile, QStringLiteral("/logs/main.log"));
}

void TrafficLogSetupTest::captions_fitTheirControls()
{
    DialogStation station;
    TrafficLogSetupForm dialog(station.form(), &station.form());
    dialog.show();
    QCOMPARE(cutCaptions(dialog), QStringList());
}

QTEST_MAIN(TrafficLogSetupTest)
#include "trafficlogsetup_test.moc"
