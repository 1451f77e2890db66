#pragma once
// The serial port's setup: which port the station binds to and its line settings. The
// dialog keeps nothing of its own: it shows what the serial component holds when it
// opens, and OK writes the choice straight back into the component, reopening the port.
#include <QDialog>
#include <QString>

#include <array>

struct StationParts;
class DropDownCombo;
class QComboBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QRadioButton;

class RS232SetupForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RS232SetupForm)

public:
    static constexpr int kBaudOptions = 11;
    static constexpr int kDataOptions = 2;
    static constexpr int kStopOptions = 2;
    static constexpr int kParityOptions = 3;
    static constexpr int kFlowOptions = 3;

    explicit RS232SetupForm(StationParts &station);

    void Form_Load();
    // Rebuilds the list from the ports that can be opened now; the text shown stays.
    void List_all_CommPorts(QComboBox &PortList);

    QString GetBaudRate() const;
    QString GetDataBits() const;
    QString GetStopBits() const;
    QString GetParity() const;
    int GetFlowControl() const;

    void SelectBaudRate(const QString &settings);
    void SelectDataBits(const QString &settings);
    void SelectStopBits(const QString &settings);
    void SelectParity(const QString &settings);
    void SelectFlowControl(int handshaking);

    void CommPortCombo_DropDown();
    // True when the key is discarded: the port is chosen from the list only.
    bool CommPortCombo_KeyPress(const QKeyEvent &event) const;
    void OKbutton_Click();
    void CancelButton_Click();
    void HelpButton_Click();
    void TrafficLoggingButton_Click();

    QLabel *Label1 = nullptr;
    DropDownCombo *CommPortCombo = nullptr;
    QPushButton *TrafficLoggingButton = nullptr;
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    std::array<QRadioButton *, kBaudOptions> BaudOption{};
    std::array<QRadioButton *, kDataOptions> DataOption{};
    std::array<QRadioButton *, kStopOptions> StopOption{};
    std::array<QRadioButton *, kParityOptions> ParityOption{};
    std::array<QRadioButton *, kFlowOptions> FlowOption{};
    QPushButton *OKbutton = nullptr;
    QPushButton *CancelButton = nullptr;
    QPushButton *HelpButton = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void setTabOrder();
    void place(QWidget *widget, int left, int top, int width, int height) const;
    template <std::size_t N>
    void buildOptions(std::array<QRadioButton *, N> &options, QGroupBox *frame,
                      const std::array<const char *, N> &captions, int left, int top, int width,
                      int height);
    bool openChosenPort();

    StationParts &m_station;
};
