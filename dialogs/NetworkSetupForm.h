#pragma once
// The network side's setup: local address, remote host, port and the three connection
// options. While the dialog is open the link is down and the connection manager suspended
// (AutoReconnect false, NetworkTimer stopped); every way of closing resumes it, and OK
// first applies the new settings and restarts the connection cycle from its beginning.
#include <QDialog>
#include <QString>
#include <QStringList>

struct StationParts;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class NetworkSetupForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(NetworkSetupForm)

public:
    explicit NetworkSetupForm(StationParts &station);
    ~NetworkSetupForm() override;

    void Form_Load();
    void OKbutton_Click();
    void CancelButton_Click();
    void HelpButton_Click();
    void IPcheckButton_Click();
    void ServerModeCheckbox_Click();
    // Runs once, whichever way the dialog closes.
    void Form_Unload();

    // The task id of the address viewer this dialog started; 0 when none.
    qint64 IPcheckTaskId = 0;

    QGroupBox *Frame1 = nullptr;
    QLineEdit *RemoteHostBox = nullptr;
    QLineEdit *PortNumberBox = nullptr;
    QPushButton *OKbutton = nullptr;
    QPushButton *CancelButton = nullptr;
    QLabel *Label1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QPushButton *IPcheckButton = nullptr;
    QComboBox *LocalIPcombo = nullptr;
    QCheckBox *FastConnectCheckbox = nullptr;
    QPushButton *HelpButton = nullptr;
    QCheckBox *ServerModeCheckbox = nullptr;
    QCheckBox *AutoResolveCheckbox = nullptr;

    void done(int result) override;

private:
    struct Viewer {
        QString program;
        QStringList arguments;
    };

    void buildControls();
    void place(QWidget *widget, int left, int top, int width, int height) const;
    void showHostBoxForServerMode(bool serverMode);
    // The first address viewer installed here, or an empty program.
    Viewer findAddressViewer() const;

    StationParts &m_station;
    bool m_unloaded = false;
};
