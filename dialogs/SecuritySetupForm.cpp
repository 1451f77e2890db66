#include "dialogs/SecuritySetupForm.h"

#include "app/StationParts.h"
#include "app/TwipsPlacement.h"
#include "dialogs/WrappingCheckBox.h"
#include "help/HelpTexts.h"
#include "platform/MessageBoxes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace
{
constexpr int kClientWidthTwips = 4605;
constexpr int kClientHeightTwips = 2415;
const QString kErrorTitle = QStringLiteral("ERROR - tethra.ini");
} // namespace

SecuritySetupForm::SecuritySetupForm(StationParts &station)
    : QDialog(station.window), m_station(station)
{
    TwipsPlacement::setUpFixedDialog(*m_station.window, this, QStringLiteral(" Setup Security"),
                                     kClientWidthTwips, kClientHeightTwips);
    RemoteHostOnlyCheckbox =
        new WrappingCheckBox(QStringLiteral("Accept calls only from the remote host"), this);
    place(RemoteHostOnlyCheckbox, 120, 120, 2775, 495);
    Frame1 = new QGroupBox(QStringLiteral("Secure Link"), this);
    place(Frame1, 120, 720, 2775, 1575);
    Label1 = new QLabel(QStringLiteral("Passphrase (empty: none):"), Frame1);
    place(Label1, 120, 300, 2535, 255);
    PassphraseBox = new QLineEdit(Frame1);
    PassphraseBox->setEchoMode(QLineEdit::Password);
    place(PassphraseBox, 120, 600, 2535, 285);
    ShowCheckbox = new QCheckBox(QStringLiteral("Show"), Frame1);
    place(ShowCheckbox, 120, 1020, 1095, 255);
    OKbutton = new QPushButton(QStringLiteral("OK"), this);
    OKbutton->setDefault(true);
    place(OKbutton, 3120, 120, 1335, 375);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    place(CancelButton, 3120, 600, 1335, 375);
    HelpButton = new QPushButton(QStringLiteral("Help"), this);
    place(HelpButton, 3120, 1080, 1335, 375);
    setTabOrder(RemoteHostOnlyCheckbox, PassphraseBox);
    setTabOrder(PassphraseBox, ShowCheckbox);
    setTabOrder(ShowCheckbox, OKbutton);
    setTabOrder(OKbutton, CancelButton);
    setTabOrder(CancelButton, HelpButton);

    connect(ShowCheckbox, &QCheckBox::toggled, this, [this](bool shown) {
        PassphraseBox->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
    });
    connect(OKbutton, &QPushButton::clicked, this, &SecuritySetupForm::OKbutton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, &SecuritySetupForm::HelpButton_Click);
    Form_Load();
    TwipsPlacement::fitToText(*m_station.window, this);
}

void SecuritySetupForm::place(QWidget *widget, int left, int top, int width, int height) const
{
    TwipsPlacement::place(*m_station.window, widget, left, top, width, height);
}

void SecuritySetupForm::Form_Load()
{
    const SecuritySettings &settings = m_station.state.security;
    RemoteHostOnlyCheckbox->setChecked(settings.acceptFrom ==
                                       SecuritySettings::AcceptFrom::RemoteHost);
    PassphraseBox->setText(settings.passphrase);
}

void SecuritySetupForm::OKbutton_Click()
{
    SecuritySettings settings;
    settings.acceptFrom = RemoteHostOnlyCheckbox->isChecked()
                              ? SecuritySettings::AcceptFrom::RemoteHost
                              : SecuritySettings::AcceptFrom::Anyone;
    settings.passphrase = PassphraseBox->text();
    // Not applied unless kept: a passphrase that is lost at the next start would leave the
    // two ends unable to meet without anyone knowing why.
    const QString error =
        SecuritySettingsFile::save(m_station.environment.settingsFolder, settings);
    if (!error.isEmpty()) {
        m_station.environment.messageBoxes->inform(this, error, kErrorTitle,
                                                   MessageBoxes::Icon::Warning);
        return;
    }
    m_station.applySecurity(settings);
    accept();
}

void SecuritySetupForm::HelpButton_Click()
{
    m_station.environment.messageBoxes->inform(this, HelpTexts::security(),
                                               QString::fromLatin1(HelpTexts::kSecurityTitle));
}
