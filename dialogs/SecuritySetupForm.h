#pragma once
// Who may call the station and the secure link's passphrase. Filled from the station's
// security settings; OK writes tethra.ini and applies them: the caller check at once, a new
// passphrase from the next connection (the link that stands is left as it is).
#include <QDialog>

struct StationParts;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class SecuritySetupForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SecuritySetupForm)

public:
    explicit SecuritySetupForm(StationParts &station);

    void Form_Load();
    void OKbutton_Click();
    void HelpButton_Click();

    QCheckBox *RemoteHostOnlyCheckbox = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *PassphraseBox = nullptr;
    QCheckBox *ShowCheckbox = nullptr;
    QPushButton *OKbutton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *HelpButton = nullptr;

private:
    void place(QWidget *widget, int left, int top, int width, int height) const;

    StationParts &m_station;
};
