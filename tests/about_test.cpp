// The about box and the Help menu on a real station, with helper programs and the browser
// replaced by a recording fake.
#include "app/MainForm.h"
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "help/AboutForm.h"
#include "help/HelpMenu.h"
#include "support/DialogTestSupport.h"
#include "support/FakeServices.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

class AboutTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void captions_fitTheirControls();
    void everyWindow_showsTheProgramIcon();
    void separator_isEtchedDarkOverLight();
    void load_showsTitleLineCaptionAndTexts();
    void systemInfo_withoutViewer_saysUnavailableAndStaysOpen();
    void systemInfo_startsInstalledViewer_data();
    void systemInfo_startsInstalledViewer();
    void systemInfo_viewerThatFailsToStart_saysUnavailable();
    void aboutMenuItem_showsBoxOwnedByMainWindow();
    void tipsMenuItem_showsTipsWithoutIcon();
    void visitMenuItem_opensMakersSite_andIgnoresFailure();
};

void AboutTest::load_showsTitleLineCaptionAndTexts()
{
    DialogStation station;
    AboutForm about(station.form());
    QCOMPARE(about.windowTitle(), QStringLiteral(" About Tethra"));
    // The build's version is 1.0.4.
    QCOMPARE(about.lblTitle->text(), QStringLiteral("Tethra v1.04"));
    QVERIFY(about.lblTitle->font().bold());
    QCOMPARE(about.lblTitle->font().pointSize(), 12);
    QVERIFY(about.lblDescription->text().startsWith(
        QStringLiteral("Use the TCP/IP network (Local or Internet) to transport RS232")));
    QVERIFY(about.lblDescription->wordWrap());
    const QStringList notice = about.lblDisclaimer->text().split(QLatin1Char('\n'));
    QCOMPARE(notice.size(), 4);
    QCOMPARE(notice.at(1), QString());
    QCOMPARE(notice.at(2), QStringLiteral("    - SocketWrench 2.5"));
    QVERIFY(notice.at(3).startsWith(QStringLiteral("    - ")));
    QVERIFY(notice.at(3).contains(QStringLiteral("Catalyst Development Corporation")));
    QCOMPARE(about.cmdOK->text(), QStringLiteral("OK"));
    QCOMPARE(about.cmdSysInfo->text(), QStringLiteral("&System Info..."));
    QVERIFY(about.cmdOK->isDefault());
}

void AboutTest::systemInfo_withoutViewer_saysUnavailableAndStaysOpen()
{
    DialogStation station;
    AboutForm about(station.form());
    about.show();
    QSignalSpy finished(&about, &QDialog::finished);
    QTest::mouseClick(about.cmdSysInfo, Qt::LeftButton);

    const FakeMessageBoxes &boxes = station.env().messageBoxes;
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().kind, FakeMessageBoxes::Kind::Inform);
    QCOMPARE(boxes.last().text, QStringLiteral("System Information Is Unavailable At This Time"));
    QCOMPARE(boxes.last().title, QStringLiteral("Tethra"));
    QCOMPARE(boxes.last().icon, MessageBoxes::Icon::None);
    QCOMPARE(boxes.last().owner.data(), &about);
    QCOMPARE(finished.count(), 0);
    QVERIFY(about.isVisible());
    QVERIFY(station.env().programs.started().isEmpty());
}

void AboutTest::systemInfo_startsInstalledViewer_data()
{
    QTest::addColumn<QString>("viewer");
    for (const QString &viewer : AboutForm::systemInformationViewers())
        QTest::newRow(qPrintable(viewer)) << viewer;
}

void AboutTest::systemInfo_startsInstalledViewer()
{
    QFETCH(QString, viewer);
    DialogStation station;
    station.env().programs.install(viewer);
    AboutForm about(station.form());
    about.show();
    about.cmdSysInfo->click();
    QCOMPARE(station.env().programs.started().size(), 1);
    QCOMPARE(station.env().programs.started().first().program, viewer);
    QCOMPARE(station.env().messageBoxes.count(), 0);
    QVERIFY(about.isVisible());
}

void AboutTest::systemInfo_viewerThatFailsToStart_saysUnavailable()
{
    DialogStation station;
    station.env().programs.install(QStringLiteral("hardinfo"));
    station.env().programs.breakProgram(QStringLiteral("hardinfo"));
    AboutForm about(station.form());
    about.cmdSysInfo->click();
    QCOMPARE(station.env().messageBoxes.count(), 1);
    QCOMPARE(station.env().messageBoxes.last().text,
             QStringLiteral("System Information Is Unavailable At This Time"));
}

void AboutTest::aboutMenuItem_showsBoxOwnedByMainWindow()
{
    DialogStation station;
    MainForm &form = station.form();
    QWidget *owner = nullptr;
    QString title;
    QTimer::singleShot(0, &form, [&] {
        auto *about = qobject_cast<AboutForm *>(QApplication::activeModalWidget());
        QVERIFY(about);
        owner = about->parentWidget();
        title = about->lblTitle->text();
        about->cmdOK->click();
    });
    form.AboutMenuItem->trigger();
    QCOMPARE(owner, &form);
    QCOMPARE(title, QStringLiteral("Tethra v1.04"));
    QVERIFY(!QApplication::activeModalWidget());
}

void AboutTest::tipsMenuItem_showsTipsWithoutIcon()
{
    DialogStation station;
    MainForm &form = station.form();
    form.TipsMenuItem->trigger();
    const FakeMessageBoxes &boxes = station.env().messageBoxes;
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.last().title, QStringLiteral("HELP - Tips"));
    QVERIFY(boxes.last().text.startsWith(
        QStringLiteral("If you're using a local/fast network select\r\n")));
    QCOMPARE(boxes.last().text.count(QStringLiteral("\r\n")), 16);
    QCOMPARE(boxes.last().icon, MessageBoxes::Icon::None);
    QCOMPARE(boxes.last().owner.data(), &form);
}

void AboutTest::visitMenuItem_opensMakersSite_andIgnoresFailure()
{
    DialogStation station;
    MainForm &form = station.form();
    form.VisitMenuItem->trigger();
    station.env().programs.openUrlResult = false;
    form.VisitMenuItem->trigger();
    QCOMPARE(station.env().programs.openedUrls(),
             QStringList({QStringLiteral("https://www.orrindale.example/"),
                          QStringLiteral("https://www.orrindale.example/")}));
    QCOMPARE(station.env().messageBoxes.count(), 0);
}

void AboutTest::captions_fitTheirControls()
{
    DialogStation station;
    AboutForm dialog(station.form());
    dialog.show();
    QCOMPARE(cutCaptions(dialog), QStringList());
}

void AboutTest::everyWindow_showsTheProgramIcon()
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

void AboutTest::separator_isEtchedDarkOverLight()
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

QTEST_MAIN(AboutTest)
#include "about_test.moc"
