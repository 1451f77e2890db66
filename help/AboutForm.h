#pragma once
// The about box: title and version, what the program does, the notice with its credits,
// and a way into the system's own information viewer.
#include <QDialog>
#include <QStringList>

struct StationParts;
class QFrame;
class QLabel;
class QPushButton;

class AboutForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AboutForm)

public:
    explicit AboutForm(StationParts &station);

    // Viewers tried in order; the first one installed is started.
    static QStringList systemInformationViewers();

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    // Starts the system information viewer, or says that there is none; the box stays open
    // either way.
    void StartSysInfo();

    QPushButton *cmdOK = nullptr;
    QPushButton *cmdSysInfo = nullptr;
    QLabel *lblDescription = nullptr;
    QLabel *lblDisclaimer = nullptr;
    QLabel *lblTitle = nullptr;
    QLabel *ImageIcon = nullptr;
    QFrame *Line1 = nullptr;
    QFrame *Line2 = nullptr;

private:
    void buildControls();
    void place(QWidget *widget, int left, int top, int width, int height) const;

    StationParts &m_station;
};
