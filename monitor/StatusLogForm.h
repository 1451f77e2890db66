#pragma once
// The status history window. Created hidden with the station and kept until its end: its
// close box only hides it, so the history survives.
#include <QString>
#include <QWidget>

class Printing;
class QPlainTextEdit;
class QPushButton;

class StatusLogForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLogForm)

public:
    StatusLogForm(QWidget &owner, Printing &printing);

    void appendLine(const QString &line);
    // The history, CR LF line ends included.
    QString history() const { return m_history; }

    void ClearButton_Click();
    void CloseButton_Click();
    void PrintButton_Click();
    // At the end of the run the window may close for good.
    void allowClose() { m_closable = true; }

    QPlainTextEdit *StatusTextBox = nullptr;
    QPushButton *ClearButton = nullptr;
    QPushButton *CloseButton = nullptr;
    QPushButton *PrintButton = nullptr;

Q_SIGNALS:
    // Close or the close box hid the window.
    void hiddenByUser();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showHistory();

    Printing &m_printing;
    bool m_closable = false;
    QString m_history;
};
