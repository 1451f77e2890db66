// Enter and Escape in every dialog, typed where the user's focus is after Tab moved it:
// Enter presses the focused button, or OK when no button has the focus; Escape cancels.
#include "dialogs/NetworkSetupForm.h"
#include "dialogs/RS232SetupForm.h"
#include "dialogs/TrafficLogSetupForm.h"
#include "help/AboutForm.h"
#include "support/DialogTestSupport.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace
{

std::unique_ptr<QDialog> openDialog(const QString &name, MainForm &form)
{
    if (name == QLatin1String("rs232"))
        return std::make_unique<RS232SetupForm>(form);
    if (name == QLatin1String("network"))
        return std::make_unique<NetworkSetupForm>(form);
    if (name == QLatin1String("traffic log"))
        return std::make_unique<TrafficLogSetupForm>(form, &form);
    return std::make_unique<AboutForm>(form);
}

QString caption(const QPushButton &button)
{
    return button.text().remove(QLatin1Char('&'));
}

} // namespace

class DialogKeysTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void key_pressesFocusedButtonElseOk_data();
    void key_pressesFocusedButtonElseOk();
};

void DialogKeysTest::key_pressesFocusedButtonElseOk_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("focusOn"); // a button's caption; empty: the focus it opens with
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("pressed"); // empty: no button

    const int enter = Qt::Key_Return;
    QTest::newRow("rs232 option") << "rs232"
                                  << "" << enter << "OK";
    QTest::newRow("rs232 Cancel") << "rs232"
                                  << "Cancel" << enter << "Cancel";
    QTest::newRow("rs232 Help") << "rs232"
                                << "Help" << enter << "Help";
    QTest::newRow("rs232 Escape") << "rs232"
                                  << "" << int(Qt::Key_Escape) << "";
    QTest::newRow("network host box") << "network"
                                      << "" << enter << "OK";
    QTest::newRow("network Cancel") << "network"
                                    << "Cancel" << enter << "Cancel";
    QTest::newRow("network Help") << "network"
                                  << "Help" << enter << "Help";
    QTest::newRow("traffic log Select") << "traffic log"
                                        << "" << enter << "Select";
    QTest::newRow("traffic log Clear") << "traffic log"
                                       << "Clear Log Files" << enter << "Clear Log Files";
    QTest::newRow("traffic log Cancel") << "traffic log"
                                        << "Cancel" << enter << "Cancel";
    QTest::newRow("traffic log Help") << "traffic log"
                                      << "Help" << enter << "Help";
    QTest::newRow("about OK") << "about"
                              << "" << enter << "OK";
    QTest::newRow("about Escape") << "about"
                                  << "" << int(Qt::Key_Escape) << "";
    QTest::newRow("about System Info")
        << "about"
        << "System Info..." << int(Qt::Key_Enter) << "System Info...";
}

void DialogKeysTest::key_pressesFocusedButtonElseOk()
{
    QFETCH(QString, dialog);
    QFETCH(QString, focusOn);
    QFETCH(int, key);
    QFETCH(QString, pressed);
    DialogStation station;
    station.form().RxLogFile = station.env().filePath(QStringLiteral("rx.log"));
    const std::unique_ptr<QDialog> window = openDialog(dialog, station.form());
    QStringList clicked;
    QPushButton *target = nullptr;
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        connect(button, &QPushButton::clicked, this,
                [&clicked, button] { clicked.append(caption(*button)); });
        if (!target && caption(*button) == focusOn)
            target = button;
    }
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    for (int presses = 0; target && QApplication::focusWidget() != target && presses < 40;
         ++presses)
        keyClickFocused(*window, Qt::Key_Tab);
    QVERIFY(!target || QApplication::focusWidget() == target);

    keyClickFocused(*window, Qt::Key(key));

    QCOMPARE(clicked, pressed.isEmpty() ? QStringList() : QStringList{pressed});
    if (key == Qt::Key_Escape)
        QCOMPARE(window->result(), int(QDialog::Rejected));
}

QTEST_MAIN(DialogKeysTest)
#include "dialogkeys_test.moc"
