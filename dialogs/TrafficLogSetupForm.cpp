#include "dialogs/TrafficLogSetupForm.h"

#include "app/Routines.h"
#include "app/StationParts.h"
#include "app/TwipsPlacement.h"
#include "dialogs/ValueLabel.h"
#include "help/HelpTexts.h"
#include "platform/FilePicker.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace
{

constexpr int kClientWidthTwips = 5520;
constexpr int kClientHeightTwips = 2400;

// The pattern of the first entry keeps its leading blank; the picker reads the patterns
// from the last parentheses of each entry.
constexpr const char *kFilter = "Traffic Log files (LOG) ( *.log);;All files (*.*) (*)";

bool isBlank(const QString &text)
{
    for (QChar character : text) {
        if (character != QLatin1Char(' '))
            return false;
    }
    return true;
}

// Folder and file name joined with exactly one separator, or empty when no file is named.
QString joinedLogPath(const QString &folder, const QString &fileName)
{
    if (isBlank(fileName))
        return QString();
    return Routines::StripTrailingBackslash(folder) + Routines::kFolderSeparator + fileName;
}

} // namespace

TrafficLogSetupForm::TrafficLogSetupForm(StationParts &station, QWidget *owner)
    : QDialog(owner), m_station(station)
{
    m_clearPause.setSingleShot(true);
    m_clearPause.setInterval(kClearPauseMs);
    connect(&m_clearPause, &QTimer::timeout, this, &TrafficLogSetupForm::clearAgain);
    TwipsPlacement::setUpFixedDialog(*m_station.window, this,
                                     QStringLiteral(" Setup RS232 Traffic Logging"),
                                     kClientWidthTwips, kClientHeightTwips);
    buildControls();
    Form_Load();
    TwipsPlacement::fitToText(*m_station.window, this);
}

void TrafficLogSetupForm::place(QWidget *widget, int left, int top, int width, int height) const
{
    TwipsPlacement::place(*m_station.window, widget, left, top, width, height);
}

void TrafficLogSetupForm::buildControls()
{
    Frame1 = new QGroupBox(QStringLiteral("Rx Data Logging"), this);
    place(Frame1, 120, 120, 3735, 975);
    Label1 = TwipsPlacement::rightAlignedLabel(QStringLiteral("Path: "), Frame1);
    place(Label1, 120, 240, 735, 255);
    RxLogFilepath = new ValueLabel(Frame1);
    place(RxLogFilepath, 840, 240, 2775, 255);
    Label2 = TwipsPlacement::rightAlignedLabel(QStringLiteral("Filename: "), Frame1);
    place(Label2, 120, 600, 735, 255);
    RxLogFilename = new ValueLabel(Frame1);
    place(RxLogFilename, 840, 600, 1695, 255);
    SelectRxLogButton = new QPushButton(QStringLiteral("Select"), Frame1);
    place(SelectRxLogButton, 2640, 600, 975, 255);

    Frame2 = new QGroupBox(QStringLiteral("Tx Data Logging"), this);
    place(Frame2, 120, 1320, 3735, 975);
    Label4 = TwipsPlacement::rightAlignedLabel(QStringLiteral("Path: "), Frame2);
    place(Label4, 120, 240, 735, 255);
    TxLogFilepath = new ValueLabel(Frame2);
    place(TxLogFilepath, 840, 240, 2775, 255);
    Label3 = TwipsPlacement::rightAlignedLabel(QStringLiteral("Filename: "), Frame2);
    place(Label3, 120, 600, 735, 255);
    TxLogFilename = new ValueLabel(Frame2);
    place(TxLogFilename, 840, 600, 1695, 255);
    SelectTxLogButton = new QPushButton(QStringLiteral("Select"), Frame2);
    place(SelectTxLogButton, 2640, 600, 975, 255);

    ClearLogFilesButton = new QPushButton(QStringLiteral("Clear Log Files"), this);
    place(ClearLogFilesButton, 4080, 210, 1335, 375);
    OKbutton = new QPushButton(QStringLiteral("OK"), this);
    OKbutton->setDefault(true);
    place(OKbutton, 4080, 960, 1335, 375);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    place(CancelButton, 4080, 1440, 1335, 375);
    HelpButton = new QPushButton(QStringLiteral("Help"), this);
    place(HelpButton, 4080, 1920, 1335, 375);

    QWidget::setTabOrder(SelectRxLogButton, SelectTxLogButton);
    QWidget::setTabOrder(SelectTxLogButton, HelpButton);
    QWidget::setTabOrder(HelpButton, CancelButton);
    QWidget::setTabOrder(CancelButton, OKbutton);
    QWidget::setTabOrder(OKbutton, ClearLogFilesButton);
    SelectRxLogButton->setFocus();

    connect(SelectRxLogButton, &QPushButton::clicked, this,
            &TrafficLogSetupForm::SelectRxLogButton_Click);
    connect(SelectTxLogButton, &QPushButton::clicked, this,
            &TrafficLogSetupForm::SelectTxLogButton_Click);
    connect(RxLogFilepath, &ValueLabel::doubleClicked, this,
            &TrafficLogSetupForm::RxLogFilepath_DblClick);
    connect(RxLogFilename, &ValueLabel::doubleClicked, this,
            &TrafficLogSetupForm::RxLogFilename_DblClick);
    connect(TxLogFilepath, &ValueLabel::doubleClicked, this,
            &TrafficLogSetupForm::TxLogFilepath_DblClick);
    connect(TxLogFilename, &ValueLabel::doubleClicked, this,
            &TrafficLogSetupForm::TxLogFilename_DblClick);
    connect(ClearLogFilesButton, &QPushButton::clicked, this,
            &TrafficLogSetupForm::ClearLogFilesButton_Click);
    connect(OKbutton, &QPushButton::clicked, this, &TrafficLogSetupForm::OKbutton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &TrafficLogSetupForm::CancelButton_Click);
    connect(HelpButton, &QPushButton::clicked, this, &TrafficLogSetupForm::HelpButton_Click);
}

void TrafficLogSetupForm::Form_Load()
{
    RxLogFilepath->setText(Routines::LogFilePath(m_station.state.RxLogFile));
    RxLogFilename->setText(Routines::LogFileName(m_station.state.RxLogFile));
    TxLogFilepath->setText(Routines::LogFilePath(m_station.state.TxLogFile));
    TxLogFilename->setText(Routines::LogFileName(m_station.state.TxLogFile));
    for (ValueLabel *label : {RxLogFilepath, RxLogFilename})
        label->setGreyed(RxLogFilename->text().isEmpty());
    for (ValueLabel *label : {TxLogFilepath, TxLogFilename})
        label->setGreyed(TxLogFilename->text().isEmpty());
    ClearLogFilesButton->setEnabled(!m_station.state.RxLogFile.isEmpty() ||
                                    !m_station.state.TxLogFile.isEmpty());
}

void TrafficLogSetupForm::SelectRxLogButton_Click()
{
    selectLogFile(RxLogFilepath, RxLogFilename, QStringLiteral("Select RX Data Traffic Log File"));
}

void TrafficLogSetupForm::SelectTxLogButton_Click()
{
    selectLogFile(TxLogFilepath, TxLogFilename, QStringLiteral("Select Tx Data Traffic Log File"));
}

void TrafficLogSetupForm::selectLogFile(ValueLabel *folder, ValueLabel *fileName,
                                        const QString &title)
{
    FilePicker::Request request;
    // No default suffix: the picker would append it literally to a name typed without one.
    request.initialFolder =
        folder->text().isEmpty() ? QCoreApplication::applicationDirPath() : folder->text();
    request.filter = QString::fromLatin1(kFilter);
    request.presetFileName = fileName->text();
    request.title = title;
    const QString chosen = m_station.environment.filePicker->pick(this, request);
    if (!chosen.isEmpty()) {
        folder->setText(Routines::LogFilePath(chosen));
        fileName->setText(Routines::LogFileName(chosen));
    } else {
        // A cancelled picker is how a direction is switched off.
        fileName->clear();
    }
    folder->setGreyed(fileName->text().isEmpty());
    fileName->setGreyed(fileName->text().isEmpty());
    updateClearButton();
}

void TrafficLogSetupForm::updateClearButton()
{
    ClearLogFilesButton->setEnabled(!RxLogFilename->text().isEmpty() ||
                                    !TxLogFilename->text().isEmpty());
}

void TrafficLogSetupForm::ClearLogFilesButton_Click()
{
    // One clearing at a time.
    if (m_clearPause.isActive())
        return;
    MessageBoxes &boxes = *m_station.environment.messageBoxes;
    if (!boxes.askYesNo(this, QStringLiteral("Are you Sure"),
                        QStringLiteral("Clear RX and TX Log files"), MessageBoxes::Icon::Question))
        return;
    // Another program may hold a log open for a moment while it reads it; a later pass
    // catches a file that the first could not delete. The dialog stays responsive between.
    deleteBothLogs();
    m_clearPassesLeft = kClearPasses - 1;
    m_clearPause.start();
}

void TrafficLogSetupForm::clearAgain()
{
    deleteBothLogs();
    if (--m_clearPassesLeft > 0) {
        m_clearPause.start();
        return;
    }
    m_station.environment.messageBoxes->inform(this, QStringLiteral("Log Files Cleared."),
                                               QString::fromLatin1(HelpTexts::kProgramTitle),
                                               MessageBoxes::Icon::Information);
}

void TrafficLogSetupForm::deleteBothLogs() const
{
    // The stored paths, not the fields: a file chosen but not confirmed is not cleared.
    Files::remove(m_station.state.RxLogFile);
    Files::remove(m_station.state.TxLogFile);
}

void TrafficLogSetupForm::OKbutton_Click()
{
    m_station.state.RxLogFile = joinedLogPath(RxLogFilepath->text(), RxLogFilename->text());
    m_station.state.TxLogFile = joinedLogPath(TxLogFilepath->text(), TxLogFilename->text());
    accept();
}

void TrafficLogSetupForm::CancelButton_Click()
{
    reject();
}

void TrafficLogSetupForm::HelpButton_Click()
{
    m_station.environment.messageBoxes->inform(
        this, HelpTexts::trafficLogging(), QString::fromLatin1(HelpTexts::kTrafficLoggingTitle));
}
