#include "dialogs/NetworkSetupForm.h"

#include "app/Routines.h"
#include "app/StationParts.h"
#include "app/TwipsPlacement.h"
#include "dialogs/WrappingCheckBox.h"
#include "help/HelpTexts.h"
#include "link/NetworkSettings.h"
#include "platform/MessageBoxes.h"
#include "platform/Programs.h"
#include "platform/SocketControl.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace
{

constexpr int kClientWidthTwips = 4605;
constexpr int kClientHeightTwips = 3015;

// A port text as the user typed it: the number at its start, rounded, halves to even.
qint64 portFromText(const QString &text)
{
    return Routines::RoundHalfEven(Routines::ParseLeadingNumber(text));
}

} // namespace

NetworkSetupForm::NetworkSetupForm(StationParts &station)
    : QDialog(station.window), m_station(station)
{
    TwipsPlacement::setUpFixedDialog(*m_station.window, this,
                                     QStringLiteral(" Setup Network Connection"), kClientWidthTwips,
                                     kClientHeightTwips);
    buildControls();
    Form_Load();
    TwipsPlacement::fitToText(*m_station.window, this);
}

NetworkSetupForm::~NetworkSetupForm()
{
    // A dialog destroyed without being closed must not leave the link suspended.
    Form_Unload();
}

void NetworkSetupForm::place(QWidget *widget, int left, int top, int width, int height) const
{
    TwipsPlacement::place(*m_station.window, widget, left, top, width, height);
}

void NetworkSetupForm::buildControls()
{
    Frame1 = new QGroupBox(QStringLiteral("Local Host"), this);
    place(Frame1, 120, 120, 2775, 1095);
    Frame2 = new QGroupBox(QStringLiteral("Remote Host"), this);
    place(Frame2, 120, 1800, 2775, 1095);
    RemoteHostBox = new QLineEdit(Frame2);
    place(RemoteHostBox, 1080, 360, 1455, 285);
    PortNumberBox = new QLineEdit(QStringLiteral("9876"), this);
    place(PortNumberBox, 2040, 1440, 615, 285);
    OKbutton = new QPushButton(QStringLiteral("OK"), this);
    OKbutton->setDefault(true);
    place(OKbutton, 3120, 1560, 1335, 375);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    place(CancelButton, 3120, 2040, 1335, 375);
    Label1 = TwipsPlacement::rightAlignedLabel(QStringLiteral("IP Address:"), Frame1);
    place(Label1, 120, 360, 855, 255);
    Label2 = TwipsPlacement::rightAlignedLabel(QStringLiteral("Name/IP:"), Frame2);
    place(Label2, 120, 360, 855, 255);
    Label3 = TwipsPlacement::rightAlignedLabel(QStringLiteral("Port Number:"), this);
    place(Label3, 840, 1440, 1095, 255);
    IPcheckButton = new QPushButton(QStringLiteral("Check IP"), Frame1);
    place(IPcheckButton, 1080, 720, 975, 255);
    LocalIPcombo = new QComboBox(Frame1);
    LocalIPcombo->setEditable(true);
    LocalIPcombo->setInsertPolicy(QComboBox::NoInsert);
    place(LocalIPcombo, 1080, 320, 1575, 315);
    FastConnectCheckbox = new WrappingCheckBox(QStringLiteral("Fast Reconnect"), this);
    place(FastConnectCheckbox, 3120, 360, 1455, 255);
    HelpButton = new QPushButton(QStringLiteral("Help"), this);
    place(HelpButton, 3120, 2520, 1335, 375);
    ServerModeCheckbox = new WrappingCheckBox(QStringLiteral("Run in Server Mode Only"), this);
    place(ServerModeCheckbox, 3120, 840, 1455, 375);
    AutoResolveCheckbox = new WrappingCheckBox(QStringLiteral("Auto Resolve"), Frame2);
    place(AutoResolveCheckbox, 1080, 720, 1335, 255);

    const QList<QWidget *> order{
        RemoteHostBox, PortNumberBox,       OKbutton,   CancelButton,       IPcheckButton,
        LocalIPcombo,  FastConnectCheckbox, HelpButton, ServerModeCheckbox, AutoResolveCheckbox};
    for (qsizetype index = 1; index < order.size(); ++index)
        QWidget::setTabOrder(order[index - 1], order[index]);

    connect(OKbutton, &QPushButton::clicked, this, &NetworkSetupForm::OKbutton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &NetworkSetupForm::CancelButton_Click);
    connect(HelpButton, &QPushButton::clicked, this, &NetworkSetupForm::HelpButton_Click);
    connect(IPcheckButton, &QPushButton::clicked, this, &NetworkSetupForm::IPcheckButton_Click);
    connect(ServerModeCheckbox, &QCheckBox::clicked, this,
            &NetworkSetupForm::ServerModeCheckbox_Click);
}

void NetworkSetupForm::Form_Load()
{
    SocketControl &socket = m_station.Socket1;
    AutoResolveCheckbox->setChecked(m_station.state.AutoResolveHostName);
    m_station.state.AutoReconnect = false;
    FastConnectCheckbox->setChecked(m_station.state.NetworkTimerTag ==
                                    QLatin1String(StationState::kFastTag));
    m_station.NetworkTimer.stop();
    // The connection manager switches resolving on again when it calls.
    socket.setAutoResolve(false);
    socket.Close();

    LocalIPcombo->clear();
    const int addresses = socket.LocalAddressCount();
    for (int index = 0; index < addresses; ++index)
        LocalIPcombo->addItem(socket.LocalAddressAt(index));
    LocalIPcombo->setEditText(socket.LocalAddress());
    RemoteHostBox->setText(socket.RemoteHostName().isEmpty() ? socket.RemoteHostAddress()
                                                             : socket.RemoteHostName());
    PortNumberBox->setText(QString::number(m_station.state.Port_Number));
    ServerModeCheckbox->setChecked(m_station.state.RunInServerMode);
    showHostBoxForServerMode(m_station.state.RunInServerMode);
    IPcheckButton->setEnabled(!findAddressViewer().program.isEmpty());
    IPcheckTaskId = 0;
}

void NetworkSetupForm::showHostBoxForServerMode(bool serverMode)
{
    // A server only waits for calls: the host is kept, but shown as not in use.
    RemoteHostBox->setEnabled(!serverMode);
    QPalette colours = RemoteHostBox->palette();
    const QColor background = palette().color(serverMode ? QPalette::Button : QPalette::Base);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        colours.setColor(group, QPalette::Base, background);
    RemoteHostBox->setPalette(colours);
}

void NetworkSetupForm::ServerModeCheckbox_Click()
{
    showHostBoxForServerMode(ServerModeCheckbox->isChecked());
}

NetworkSetupForm::Viewer NetworkSetupForm::findAddressViewer() const
{
    const QStringList listAddresses{QStringLiteral("-e"), QStringLiteral("sh"),
                                    QStringLiteral("-c"),
                                    QStringLiteral("ip address; echo; read x")};
    const QList<Viewer> viewers{
        {QStringLiteral("nm-connection-editor"), {}},
        {QStringLiteral("x-terminal-emulator"), listAddresses},
        {QStringLiteral("xterm"), listAddresses},
    };
    const Programs &programs = *m_station.environment.programs;
    for (const Viewer &viewer : viewers) {
        const QString found = programs.findProgram({viewer.program});
        if (!found.isEmpty())
            return {found, viewer.arguments};
    }
    return {};
}

void NetworkSetupForm::IPcheckButton_Click()
{
    const Viewer viewer = findAddressViewer();
    const qint64 taskId =
        viewer.program.isEmpty()
            ? 0
            : m_station.environment.programs->start(viewer.program, viewer.arguments);
    // Only the copy started last is closed with the dialog.
    IPcheckTaskId = taskId;
    if (taskId == 0) {
        m_station.environment.messageBoxes->inform(
            this, QStringLiteral("The address viewer could not be started."),
            QString::fromLatin1(HelpTexts::kProgramTitle), MessageBoxes::Icon::Warning);
    }
}

void NetworkSetupForm::OKbutton_Click()
{
    NetworkSettings settings;
    settings.remoteHost = RemoteHostBox->text();
    settings.port = portFromText(PortNumberBox->text());
    settings.localAddress = LocalIPcombo->currentText();
    settings.serverMode = ServerModeCheckbox->isChecked();
    settings.autoResolve = AutoResolveCheckbox->isChecked();
    settings.fastConnect = FastConnectCheckbox->isChecked();
    settings.applyTo(m_station);
    accept();
}

void NetworkSetupForm::CancelButton_Click()
{
    reject();
}

void NetworkSetupForm::HelpButton_Click()
{
    m_station.environment.messageBoxes->inform(this, HelpTexts::network(),
                                               QString::fromLatin1(HelpTexts::kNetworkTitle));
}

void NetworkSetupForm::done(int result)
{
    Form_Unload();
    QDialog::done(result);
}

void NetworkSetupForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Nothing is sent to a viewer that the user has already closed.
    if (IPcheckTaskId != 0)
        m_station.environment.programs->terminate(IPcheckTaskId);
    IPcheckTaskId = 0;
    m_station.state.AutoReconnect = true;
    m_station.NetworkTimer.start();
}
