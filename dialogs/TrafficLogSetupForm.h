#pragma once
// Chooses the two traffic log files, one per direction, and can delete both. The four value
// fields are the dialog's working state; RxLogFile and TxLogFile change only on OK.
#include <QDialog>
#include <QString>
#include <QTimer>

struct StationParts;
class QGroupBox;
class QLabel;
class QPushButton;
class ValueLabel;

class TrafficLogSetupForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrafficLogSetupForm)

public:
    static constexpr int kClearPauseMs = 100;
    static constexpr int kClearPasses = 3;

    // The owner is the window that opened the dialog: the main window or the RS-232 setup.
    TrafficLogSetupForm(StationParts &station, QWidget *owner);

    void Form_Load();
    void SelectRxLogButton_Click();
    void SelectTxLogButton_Click();
    void RxLogFilepath_DblClick() { SelectRxLogButton_Click(); }
    void RxLogFilename_DblClick() { SelectRxLogButton_Click(); }
    void TxLogFilepath_DblClick() { SelectTxLogButton_Click(); }
    void TxLogFilename_DblClick() { SelectTxLogButton_Click(); }
    void ClearLogFilesButton_Click();
    void OKbutton_Click();
    void CancelButton_Click();
    void HelpButton_Click();

    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    ValueLabel *RxLogFilepath = nullptr;
    QLabel *Label2 = nullptr;
    ValueLabel *RxLogFilename = nullptr;
    QPushButton *SelectRxLogButton = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *Label4 = nullptr;
    ValueLabel *TxLogFilepath = nullptr;
    QLabel *Label3 = nullptr;
    ValueLabel *TxLogFilename = nullptr;
    QPushButton *SelectTxLogButton = nullptr;
    QPushButton *ClearLogFilesButton = nullptr;
    QPushButton *OKbutton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *HelpButton = nullptr;

private:
    void buildControls();
    void place(QWidget *widget, int left, int top, int width, int height) const;
    void selectLogFile(ValueLabel *folder, ValueLabel *fileName, const QString &title);
    void updateClearButton();
    void deleteBothLogs() const;
    void clearAgain();

    StationParts &m_station;
    QTimer m_clearPause;
    int m_clearPassesLeft = 0;
};
