#include "monitor/StatusLogForm.h"

#include "app/TwipsPlacement.h"
#include "monitor/StatusHistory.h"
#include "platform/Printing.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

StatusLogForm::StatusLogForm(QWidget &owner, Printing &printing)
    : QWidget(&owner, Qt::Window), m_printing(printing)
{
    setWindowTitle(QStringLiteral(" Display Status History"));
    StatusTextBox = new QPlainTextEdit(this);
    StatusTextBox->setReadOnly(true);
    StatusTextBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    ClearButton = new QPushButton(QStringLiteral("Clear History"), this);
    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    PrintButton = new QPushButton(QStringLiteral("Print"), this);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(ClearButton);
    buttons->addStretch();
    buttons->addWidget(PrintButton);
    buttons->addWidget(CloseButton);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(StatusTextBox);
    layout->addLayout(buttons);
    resize(TwipsPlacement::toPixels(owner, 6000), TwipsPlacement::toPixels(owner, 4000));

    connect(ClearButton, &QPushButton::clicked, this, &StatusLogForm::ClearButton_Click);
    connect(CloseButton, &QPushButton::clicked, this, &StatusLogForm::CloseButton_Click);
    connect(PrintButton, &QPushButton::clicked, this, &StatusLogForm::PrintButton_Click);
}

void StatusLogForm::appendLine(const QString &line)
{
    StatusHistory::appendHistoryLine(m_history, line);
    showHistory();
}

void StatusLogForm::showHistory()
{
    // The box shows line breaks for the CR LF pairs; the history itself keeps them.
    QString shown = m_history;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    StatusTextBox->setPlainText(shown);
    StatusTextBox->moveCursor(QTextCursor::End);
    StatusTextBox->verticalScrollBar()->setValue(StatusTextBox->verticalScrollBar()->maximum());
}

void StatusLogForm::ClearButton_Click()
{
    m_history.clear();
    StatusTextBox->clear();
}

void StatusLogForm::CloseButton_Click()
{
    hide();
    Q_EMIT hiddenByUser();
}

void StatusLogForm::PrintButton_Click()
{
    QString text = StatusTextBox->textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
    if (text.isEmpty())
        text = m_history;
    m_printing.printText(this, QStringLiteral("\r\n") + text);
}

void StatusLogForm::closeEvent(QCloseEvent *event)
{
    // The close box hides the window; only the end of the program closes it.
    if (m_closable) {
        event->accept();
        return;
    }
    event->ignore();
    hide();
    Q_EMIT hiddenByUser();
}
