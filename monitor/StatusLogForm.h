#pragma once
// The status history window. Created hidden with the station and kept until its end: its
// close box only hides it, so the history survives.
#include <QString>
#include <QWidget>

class MainForm;
class QPlainTextEdit;
class QPushButton;

class StatusLogForm final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLogForm)

public:
    explicit StatusLogForm(MainForm &form);

    void appendLine(const QString &line);
    // The history, CR LF line ends included.
    QString history() const { return m_history; }

    void ClearButton_Click();
    void CloseButton_Click();
    void PrintButton_Click();

    QPlainTextEdit *StatusTextBox = nullptr;
    QPushButton *ClearButton = nullptr;
    QPushButton *CloseButton = nullptr;
    QPushButton *PrintButton = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showHistory();

    MainForm &m_form;
    QString m_history;
};
