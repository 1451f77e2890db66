// The help texts character for character, and the Help menu and the about box on a real
// station, with helper programs and the browser replaced by a recording fake.
#include "app/MainForm.h"
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "help/AboutForm.h"
#include "help/HelpTexts.h"
#include "support/DialogTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCryptographicHash>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

class HelpTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void text_isTheFixedTextUnderItsTitle_data();
    void text_isTheFixedTextUnderItsTitle();
    void titleLine_joinsMinorAndRevisionWithoutSeparator_data();
    void titleLine_joinsMinorAndRevisionWithoutSeparator();
    void aboutMenuItem_showsFilledBoxOwnedByMainWindow();
    void systemInfo_startsFirstInstalledViewerElseSaysUnavailable_data();
    void systemInfo_startsFirstInstalledViewerElseSaysUnavailable();
    void tipsAndVisitMenuItems_showTipsAndOpenTheSite();
    void everyWindow_showsTheProgramIcon();
    void separator_isEtchedDarkOverLight();
};

void HelpTest::text_isTheFixedTextUnderItsTitle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expectedTitle");
    QTest::addColumn<QByteArray>("digest");
    // The first 16 hex digits of the SHA-1 of each text as written down for it, its lines joined
    // with CR LF: every blank and every line break counts.
    QTest::newRow("tips") << HelpTexts::tips() << HelpTexts::kTipsTitle << "HELP - Tips"
                          << QByteArray("e6301e9b63471aa2");
    QTest::newRow("rs232") << HelpTexts::rs232Port() << HelpTexts::kRs232PortTitle
                           << "HELP - Setup RS232 Port" << QByteArray("4b8c2e0f3397e42e");
    QTest::newRow("network") << HelpTexts::network() << HelpTexts::kNetworkTitle
                             << "HELP - Setup Network Connection" << QByteArray("a42886786ffdd7db");
    QTest::newRow("traffic logging")
        << HelpTexts::trafficLogging() << HelpTexts::kTrafficLoggingTitle
        << "Help - Setup Traffic Logging" << QByteArray("1e21cd2e28a8621a");
    QTest::newRow("about") << HelpTexts::aboutDescription() << HelpTexts::kProgramTitle << "Tethra"
                           << QByteArray("c362e6ae68a006c5");
}

void HelpTest::text_isTheFixedTextUnderItsTitle()
{
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QString, expectedTitle);
    QFETCH(QByteArray, digest);
    QCOMPARE(title, expectedTitle);
    const QByteArray sha1 = QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Sha1);
    QVERIFY2(sha1.toHex().left(16) == digest, qPrintable(text));
}

void HelpTest::titleLine_joinsMinorAndRevisionWithoutSeparator_data()
{
    QTest::addColumn<QList<int>>("version");
    QTest::addColumn<QString>("expected");
    QTest::newRow("1.0.4") << QList<int>{1, 0, 4} << "Tethra v1.04";
    QTest::newRow("2.1.15") << QList<int>{2, 1, 15} << "Tethra v2.115";
    QTest::newRow("10.20.0") << QList<int>{10, 20, 0} << "Tethra v10.200";
}

void HelpTest::titleLine_joinsMinorAndRevisionWithoutSeparator()
{
    QFETCH(QList<int>, version);
    QFETCH(QString, expected);
    QCOMPARE(HelpTexts::titleLine(version[0], version[1], version[2]), expected);
}

void HelpTest::aboutMenuItem_showsFilledBoxOwnedByMainWindow()
{
    DialogStation station;
    MainForm &form = station.form();
    QWidget *owner = nullptr;
    QStringList shown; // caption, title line, description, notice, captions cut short
    QTimer::singleShot(0, &form, [&] {
        if (auto *about = qobject_cast<AboutForm *>(QApplication::activeModalWidget())) {
            owner = about->parentWidget();
            shown << about->windowTitle() << about->lblTitle->text()
                  << about->lblDescription->text() << about->lblDisclaimer->text()
                  << cutCaptions(*about);
            QTest::mouseClick(about->cmdOK, Qt::LeftButton);
        }
    });
    form.AboutMenuItem->trigger();
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(owner, &form);
    QCOMPARE(shown.size(), 4);
    // The title line shows the build's version.
    QCOMPARE(shown.first(3),
             QStringList({QStringLiteral(" About Tethra"), QStringLiteral("Tethra v1.04"),
                          HelpTexts::aboutDescription()}));
    const QRegularExpression notice(QStringLiteral(
        "^[^\n]+\n\n    - SocketWrench 2\\.5\n    - [^\n]*Catalyst Development Corporation"));
    QVERIFY2(notice.match(shown.at(3)).hasMatch(), qPrintable(shown.at(3)));
}

void HelpTest::systemInfo_startsFirstInstalledViewerElseSaysUnavailable_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QString>("started"); // empty: none, the box says so
    QTest::newRow("none") << QStringList() << ""
                          << "";
    for (const QString &viewer : AboutForm::systemInformationViewers())
        QTest::newRow(qPrintable(viewer)) << QStringList{viewer} << "" << viewer;
    QTest::newRow("first of two") << AboutForm::systemInformationViewers().mid(1).first(2) << ""
                                  << AboutForm::systemInformationViewers().at(1);
    QTest::newRow("fails to start") << QStringList{QStringLiteral("hardinfo")} << "hardinfo"
                                    << "";
}

void HelpTest::systemInfo_startsFirstInstalledViewerElseSaysUnavailable()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, broken);
    QFETCH(QString, started);
    DialogStation station;
    for (const QString &viewer : installed)
        station.env().programs.install(viewer);
    station.env().programs.breakProgram(broken);
    AboutForm about(station.form());
    about.show();
    QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);

    QVERIFY(about.isVisible());
    const auto &boxes = station.env().messageBoxes;
    if (!started.isEmpty()) {
        QCOMPARE(station.env().programs.started().size(), 1);
        QCOMPARE(station.env().programs.started().first().program, started);
        QCOMPARE(boxes.count(), 0);
        return;
    }
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().text, QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(boxes.last().title, QStringLiteral("Tethra"));
    QCOMPARE(boxes.last().icon, MessageBoxes::Icon::None);
    QCOMPARE(boxes.last().owner.data(), &about);
}

void HelpTest::tipsAndVisitMenuItems_showTipsAndOpenTheSite()
{
    DialogStation station;
    MainForm &form = station.form();
    form.TipsMenuItem->trigger();
    const auto &boxes = station.env().messageBoxes;
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QString::fromLatin1(HelpTexts::kTipsTitle));
    QCOMPARE(boxes.last().text, HelpTexts::tips());
    QCOMPARE(boxes.last().icon, MessageBoxes::Icon::None);
    QCOMPARE(boxes.last().owner.data(), &form);

    // A failure to open the site is silent.
    form.VisitMenuItem->trigger();
    station.env().programs.openUrlResult = false;
    form.VisitMenuItem->trigger();
    QCOMPARE(station.env().programs.openedUrls(),
             QStringList(2, QStringLiteral("https://www.orrindale.example/")));
    QCOMPARE(boxes.count(), 1);
}

void HelpTest::everyWindow_showsTheProgramIcon()
{
    DialogStation station;
    MainForm &form = station.form();
    RS232SetupForm rs232(form);
    NetworkSetupForm network(form);
    TrafficLogSetupForm trafficLog(form, &rs232);
    AboutForm about(form);
    QVERIFY(!about.ImageIcon->pixmap().isNull());
    // The windows above, the main window and the status history window.
    int windows = 0;
    for (const QWidget *window : QApplication::topLevelWidgets()) {
        if (window->windowType() == Qt::Popup)
            continue;
        ++windows;
        QVERIFY2(!window->windowIcon().pixmap(32, 32).isNull(), qPrintable(window->windowTitle()));
    }
    QVERIFY(windows >= 6);
}

void HelpTest::separator_isEtchedDarkOverLight()
{
    DialogStation station;
    AboutForm about(station.form());
    about.show();
    const QImage image = about.grab().toImage();
    const int x = about.Line1->geometry().center().x();
    const int background = image.pixelColor(x, about.Line1->y() - 2).lightness();
    const int dark = image.pixelColor(x, about.Line1->y()).lightness();
    const int light = image.pixelColor(x, about.Line2->y()).lightness();
    QCOMPARE(about.Line2->y(), about.Line1->y() + 1);
    QVERIFY2(dark < background && light > dark + 32,
             qPrintable(QStringLiteral("%1 %2 %3").arg(background).arg(dark).arg(light)));
}

QTEST_MAIN(HelpTest)
#include "help_test.moc"
