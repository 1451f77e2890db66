#include "dialogs/RS232SetupForm.h"

#include "app/Routines.h"
#include "app/StationParts.h"
#include "app/TwipsPlacement.h"
#include "dialogs/DropDownCombo.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "help/HelpTexts.h"
#include "platform/MessageBoxes.h"
#include "platform/SerialControl.h"
#include "platform/SerialPortMap.h"
#include "platform/SerialProbe.h"

#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <limits>

namespace
{

constexpr std::array<const char *, RS232SetupForm::kBaudOptions> kBaudCaptions{
    "115200", "57600", "38400", "19200", "9600", "4800", "2400", "1200", "600", "300", "110"};
constexpr std::array<const char *, RS232SetupForm::kDataOptions> kDataCaptions{"8", "7"};
constexpr std::array<const char *, RS232SetupForm::kStopOptions> kStopCaptions{"2", "1"};
constexpr std::array<const char *, RS232SetupForm::kParityOptions> kParityCaptions{"Even", "Odd",
                                                                                   "None"};
constexpr std::array<const char *, RS232SetupForm::kParityOptions> kParityTags{"E", "O", "N"};
constexpr std::array<const char *, RS232SetupForm::kFlowOptions> kFlowCaptions{"Xon/Xoff",
                                                                               "Hardware", "None"};
constexpr std::array<int, RS232SetupForm::kFlowOptions> kFlowTags{1, 2, 0};

// What a freshly made dialog shows before the serial component's state is matched.
constexpr int kInitialBaud = 3;   // 19200
constexpr int kInitialData = 0;   // 8
constexpr int kInitialStop = 1;   // 1
constexpr int kInitialParity = 2; // None
constexpr int kInitialFlow = 2;   // None

constexpr int kOptionStepTwips = 240;
constexpr int kClientWidthTwips = 4680;
constexpr int kClientHeightTwips = 3840;
constexpr const char *kPortPrefix = "Com";
constexpr const char *kNoPort = "None";

// The index of the first selected option, or -1.
template <std::size_t N> int selectedIndex(const std::array<QRadioButton *, N> &options)
{
    for (std::size_t index = 0; index < N; ++index) {
        if (options[index]->isChecked())
            return int(index);
    }
    return -1;
}

// Options are tried in index order and the first match wins; with no match the group keeps
// what it shows.
template <std::size_t N, typename Matches>
void selectFirstMatch(const std::array<QRadioButton *, N> &options, Matches matches)
{
    for (std::size_t index = 0; index < N; ++index) {
        if (matches(index)) {
            options[index]->setChecked(true);
            return;
        }
    }
}

} // namespace

RS232SetupForm::RS232SetupForm(StationParts &station) : QDialog(station.window), m_station(station)
{
    setWindowTitle(QStringLiteral(" Setup RS-232 Port"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    TwipsPlacement::useDesignFont(this);
    buildControls();
    setTabOrder();
    Form_Load();
    TwipsPlacement::fitToText(*m_station.window, this);
}

void RS232SetupForm::place(QWidget *widget, int left, int top, int width, int height) const
{
    TwipsPlacement::place(*m_station.window, widget, left, top, width, height);
}

template <std::size_t N>
void RS232SetupForm::buildOptions(std::array<QRadioButton *, N> &options, QGroupBox *frame,
                                  const std::array<const char *, N> &captions, int left, int top,
                                  int width, int height)
{
    for (std::size_t index = 0; index < N; ++index) {
        options[index] = new QRadioButton(QString::fromLatin1(captions[index]), frame);
        place(options[index], left, top + int(index) * kOptionStepTwips, width, height);
    }
}

void RS232SetupForm::buildControls()
{
    resize(TwipsPlacement::toPixels(*m_station.window, kClientWidthTwips),
           TwipsPlacement::toPixels(*m_station.window, kClientHeightTwips));

    Label1 = new QLabel(QStringLiteral("Selected Comm Port"), this);
    place(Label1, 120, 285, 1575, 255);
    CommPortCombo = new DropDownCombo(this);
    CommPortCombo->setEditable(true);
    CommPortCombo->setInsertPolicy(QComboBox::NoInsert);
    // The combo box takes the focus and hands keys on to its edit part itself, past any
    // filter there, so the keys are caught at the combo box; the edit part's own filter
    // catches what reaches it directly.
    CommPortCombo->installEventFilter(this);
    CommPortCombo->lineEdit()->installEventFilter(this);
    CommPortCombo->lineEdit()->setContextMenuPolicy(Qt::NoContextMenu);
    CommPortCombo->lineEdit()->setAcceptDrops(false);
    CommPortCombo->setEditText(QString::fromLatin1(kNoPort));
    place(CommPortCombo, 1680, 240, 1335, 315);
    connect(CommPortCombo, &DropDownCombo::droppingDown, this,
            &RS232SetupForm::CommPortCombo_DropDown);
    TrafficLoggingButton = new QPushButton(QStringLiteral("Log Traffic"), this);
    place(TrafficLoggingButton, 3240, 240, 1335, 300);
    connect(TrafficLoggingButton, &QPushButton::clicked, this,
            &RS232SetupForm::TrafficLoggingButton_Click);

    Frame1 = new QGroupBox(QStringLiteral("Baud Rate"), this);
    place(Frame1, 1680, 720, 1335, 3015);
    buildOptions(BaudOption, Frame1, kBaudCaptions, 360, 360, 855, 195);
    Frame2 = new QGroupBox(QStringLiteral("Data Bits"), this);
    place(Frame2, 120, 720, 1335, 855);
    buildOptions(DataOption, Frame2, kDataCaptions, 360, 240, 615, 255);
    Frame3 = new QGroupBox(QStringLiteral("Stop Bits"), this);
    place(Frame3, 120, 1680, 1335, 855);
    buildOptions(StopOption, Frame3, kStopCaptions, 360, 240, 495, 255);
    Frame4 = new QGroupBox(QStringLiteral("Parity"), this);
    place(Frame4, 120, 2640, 1335, 1095);
    buildOptions(ParityOption, Frame4, kParityCaptions, 360, 240, 735, 255);
    Frame5 = new QGroupBox(QStringLiteral("Flow Control"), this);
    place(Frame5, 3240, 720, 1335, 1335);
    buildOptions(FlowOption, Frame5, kFlowCaptions, 120, 360, 1095, 255);

    BaudOption[kInitialBaud]->setChecked(true);
    DataOption[kInitialData]->setChecked(true);
    StopOption[kInitialStop]->setChecked(true);
    ParityOption[kInitialParity]->setChecked(true);
    FlowOption[kInitialFlow]->setChecked(true);

    OKbutton = new QPushButton(QStringLiteral("OK"), this);
    OKbutton->setDefault(true);
    place(OKbutton, 3240, 2400, 1335, 375);
    connect(OKbutton, &QPushButton::clicked, this, &RS232SetupForm::OKbutton_Click);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    place(CancelButton, 3240, 2880, 1335, 375);
    connect(CancelButton, &QPushButton::clicked, this, &RS232SetupForm::CancelButton_Click);
    HelpButton = new QPushButton(QStringLiteral("Help"), this);
    place(HelpButton, 3240, 3360, 1335, 375);
    connect(HelpButton, &QPushButton::clicked, this, &RS232SetupForm::HelpButton_Click);
}

void RS232SetupForm::setTabOrder()
{
    QList<QWidget *> order;
    for (QRadioButton *option : BaudOption)
        order.append(option);
    for (QRadioButton *option : DataOption)
        order.append(option);
    for (QRadioButton *option : StopOption)
        order.append(option);
    for (QRadioButton *option : ParityOption)
        order.append(option);
    for (QRadioButton *option : FlowOption)
        order.append(option);
    order << CommPortCombo << OKbutton << CancelButton << HelpButton << TrafficLoggingButton;
    for (qsizetype index = 1; index < order.size(); ++index)
        QWidget::setTabOrder(order[index - 1], order[index]);
}

void RS232SetupForm::Form_Load()
{
    const SerialControl &serial = m_station.RS232comms;
    SelectBaudRate(serial.Settings());
    SelectDataBits(serial.Settings());
    SelectStopBits(serial.Settings());
    SelectParity(serial.Settings());
    SelectFlowControl(serial.Handshaking());
    CommPortCombo->setEditText(serial.PortOpen() ? QString::fromLatin1(kPortPrefix) +
                                                       QString::number(serial.CommPort())
                                                 : QString::fromLatin1(kNoPort));
}

void RS232SetupForm::List_all_CommPorts(QComboBox &PortList)
{
    const QString shown = PortList.currentText();
    PortList.clear();
    const SerialControl &serial = m_station.RS232comms;
    for (int port = SerialPortMap::kFirstPort; port <= SerialPortMap::kLastPort; ++port) {
        // The station's own port cannot be probed while it holds it, but it is still offered.
        const bool ownPort = serial.PortOpen() && serial.CommPort() == port;
        if (ownPort || SerialProbe::canOpenSerialDevice(serial.portMap().devicePath(port)))
            PortList.addItem(QString::fromLatin1(kPortPrefix) + QString::number(port));
    }
    PortList.addItem(QString::fromLatin1(kNoPort));
    PortList.setEditText(shown);
}

QString RS232SetupForm::GetBaudRate() const
{
    const int index = selectedIndex(BaudOption);
    return index < 0 ? QStringLiteral("19200") : BaudOption[index]->text();
}

QString RS232SetupForm::GetDataBits() const
{
    const int index = selectedIndex(DataOption);
    return index < 0 ? QStringLiteral("8") : DataOption[index]->text();
}

QString RS232SetupForm::GetStopBits() const
{
    const int index = selectedIndex(StopOption);
    return index < 0 ? QStringLiteral("1") : StopOption[index]->text();
}

QString RS232SetupForm::GetParity() const
{
    const int index = selectedIndex(ParityOption);
    return QString::fromLatin1(index < 0 ? "N" : kParityTags[index]);
}

int RS232SetupForm::GetFlowControl() const
{
    const int index = selectedIndex(FlowOption);
    return index < 0 ? 0 : kFlowTags[index];
}

void RS232SetupForm::SelectBaudRate(const QString &settings)
{
    // The longer rates come first, so "9600" is found before the "600" inside it.
    selectFirstMatch(BaudOption, [&](std::size_t index) {
        return settings.contains(BaudOption[index]->text());
    });
}

void RS232SetupForm::SelectDataBits(const QString &settings)
{
    const QString tail = settings.right(4);
    selectFirstMatch(DataOption, [&](std::size_t index) {
        return tail.contains(QLatin1Char(',') + DataOption[index]->text());
    });
}

void RS232SetupForm::SelectStopBits(const QString &settings)
{
    const QString tail = settings.right(2);
    selectFirstMatch(StopOption, [&](std::size_t index) {
        return tail.contains(QLatin1Char(',') + StopOption[index]->text());
    });
}

void RS232SetupForm::SelectParity(const QString &settings)
{
    const QString upper = settings.toUpper();
    selectFirstMatch(ParityOption, [&](std::size_t index) {
        return upper.contains(QLatin1Char(',') + QString::fromLatin1(kParityTags[index]));
    });
}

void RS232SetupForm::SelectFlowControl(int handshaking)
{
    selectFirstMatch(FlowOption,
                     [&](std::size_t index) { return kFlowTags[index] == handshaking; });
}

void RS232SetupForm::CommPortCombo_DropDown()
{
    List_all_CommPorts(*CommPortCombo);
}

bool RS232SetupForm::CommPortCombo_KeyPress(const QKeyEvent &event) const
{
    // Keys that move between the dialog's controls, confirm, cancel or open the list pass;
    // every key that would edit the text is dropped.
    switch (event.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_F4:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return false;
    default:
        return true;
    }
}

bool RS232SetupForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != CommPortCombo && watched != CommPortCombo->lineEdit())
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress)
        return CommPortCombo_KeyPress(static_cast<const QKeyEvent &>(*event));
    // Text composed by an input method is typing too.
    if (event->type() == QEvent::InputMethod) {
        const auto &input = static_cast<const QInputMethodEvent &>(*event);
        return !input.commitString().isEmpty() || !input.preeditString().isEmpty();
    }
    return QDialog::eventFilter(watched, event);
}

void RS232SetupForm::OKbutton_Click()
{
    SerialControl &serial = m_station.RS232comms;
    if (serial.PortOpen())
        serial.setPortOpen(false);
    m_station.view.showLamp(StationView::Lamp::Receive, StationView::Colour::Grey);
    m_station.view.showLamp(StationView::Lamp::Transmit, StationView::Colour::Grey);
    serial.setSettings(GetBaudRate() + QLatin1Char(',') + GetParity() + QLatin1Char(',') +
                       GetDataBits() + QLatin1Char(',') + GetStopBits());
    serial.setHandshaking(GetFlowControl());
    if (CommPortCombo->currentText().left(3).toUpper() ==
        QString::fromLatin1(kPortPrefix).toUpper()) {
        if (!openChosenPort())
            return;
        m_station.view.showLamp(StationView::Lamp::Receive, StationView::Colour::Green);
        m_station.view.showLamp(StationView::Lamp::Transmit, StationView::Colour::Green);
    }
    m_station.state.RxLEDtimeout = 0;
    m_station.state.TxLEDtimeout = 0;
    accept();
}

bool RS232SetupForm::openChosenPort()
{
    SerialControl &serial = m_station.RS232comms;
    const qint64 number =
        Routines::RoundHalfEven(Routines::ParseLeadingNumber(CommPortCombo->currentText().mid(3)));
    QString error;
    if (number < std::numeric_limits<qint16>::min() ||
        number > std::numeric_limits<qint16>::max()) {
        error = QStringLiteral("Port number %1 is out of range.").arg(number);
    } else {
        serial.setCommPort(int(number));
        if (!serial.setPortOpen(true))
            error = serial.errorString();
    }
    if (error.isEmpty())
        return true;
    // The dialog stays open so another port or "None" can be chosen.
    m_station.environment.messageBoxes->inform(this, error,
                                               QString::fromLatin1(HelpTexts::kProgramTitle));
    return false;
}

void RS232SetupForm::CancelButton_Click()
{
    reject();
}

void RS232SetupForm::HelpButton_Click()
{
    m_station.environment.messageBoxes->inform(this, HelpTexts::rs232Port(),
                                               QString::fromLatin1(HelpTexts::kRs232PortTitle));
}

void RS232SetupForm::TrafficLoggingButton_Click()
{
    TrafficLogSetupForm dialog(m_station, this);
    dialog.exec();
}
