#include "help/AboutForm.h"

#include "app/StationParts.h"
#include "app/TwipsPlacement.h"
#include "help/HelpTexts.h"
#include "platform/MessageBoxes.h"
#include "platform/Programs.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

namespace
{

constexpr int kClientWidthTwips = 6285;
constexpr int kClientHeightTwips = 3510;
constexpr int kIconPixels = 32;
constexpr int kTitlePointSize = 12;

} // namespace

AboutForm::AboutForm(StationParts &station) : QDialog(station.window), m_station(station)
{
    TwipsPlacement::setUpFixedDialog(*m_station.window, this, QStringLiteral(" About Tethra"),
                                     kClientWidthTwips, kClientHeightTwips);
    buildControls();
    Form_Load();
    TwipsPlacement::fitToText(*m_station.window, this);
}

QStringList AboutForm::systemInformationViewers()
{
    return {QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"), QStringLiteral("kinfocenter")};
}

void AboutForm::place(QWidget *widget, int left, int top, int width, int height) const
{
    TwipsPlacement::place(*m_station.window, widget, left, top, width, height);
}

void AboutForm::buildControls()
{
    const auto blackLabel = [this](const QString &text) {
        auto *label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPalette colours = label->palette();
        colours.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(colours);
        return label;
    };

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setDefault(true);
    place(cmdOK, 4920, 2640, 1260, 345);
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    place(cmdSysInfo, 4920, 3075, 1245, 345);
    lblDescription = blackLabel(HelpTexts::aboutDescription());
    lblDescription->setWordWrap(true);
    place(lblDescription, 840, 720, 4725, 1650);
    lblDisclaimer = blackLabel(QString());
    lblDisclaimer->setWordWrap(true);
    place(lblDisclaimer, 255, 2625, 4590, 825);
    lblTitle = blackLabel(QString());
    QFont titleFont(QStringLiteral("MS Sans Serif"), kTitlePointSize, QFont::Bold);
    lblTitle->setFont(titleFont);
    place(lblTitle, 840, 240, 3885, 480);
    ImageIcon = new QLabel(this);
    ImageIcon->setPixmap(m_station.window->windowIcon().pixmap(kIconPixels, kIconPixels));
    place(ImageIcon, 240, 120, 480, 480);
    ImageIcon->setFocusPolicy(Qt::NoFocus);

    // Two one-pixel lines, dark over light, read as one etched groove.
    const auto separatorLine = [this](QPalette::ColorRole colour) {
        auto *line = new QFrame(this);
        line->setAutoFillBackground(true);
        line->setBackgroundRole(colour);
        return line;
    };
    Line1 = separatorLine(QPalette::Dark);
    place(Line1, 120, 2499, 6000, 15);
    Line2 = separatorLine(QPalette::Light);
    place(Line2, 120, 2520, 6000, 15);

    QWidget::setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();

    connect(cmdOK, &QPushButton::clicked, this, &AboutForm::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &AboutForm::cmdSysInfo_Click);
}

void AboutForm::Form_Load()
{
    lblTitle->setText(
        HelpTexts::titleLine(TETHRA_VERSION_MAJOR, TETHRA_VERSION_MINOR, TETHRA_VERSION_PATCH));
    // The notice separates its lines with CR; a label breaks lines at LF.
    lblDisclaimer->setText(HelpTexts::aboutNotice().replace(QLatin1Char('\r'), QLatin1Char('\n')));
}

void AboutForm::cmdOK_Click()
{
    accept();
}

void AboutForm::cmdSysInfo_Click()
{
    StartSysInfo();
}

void AboutForm::StartSysInfo()
{
    Programs &programs = *m_station.environment.programs;
    const QString viewer = programs.findProgram(systemInformationViewers());
    if (!viewer.isEmpty() && programs.start(viewer, {}) != 0)
        return;
    m_station.environment.messageBoxes->inform(
        this, QStringLiteral("System Information Is Unavailable At This Time"),
        QString::fromLatin1(HelpTexts::kProgramTitle));
}
