#include "support/DialogTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWidget>

DialogStation::DialogStation()
{
    m_form = std::make_unique<MainForm>(m_env.environment());
    m_form->Form_Load();
    m_env.messageBoxes.clear();
}

QStringList cutCaptions(const QWidget &window)
{
    QStringList cut;
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        const auto *label = qobject_cast<const QLabel *>(widget);
        const auto *option = qobject_cast<const QAbstractButton *>(widget);
        const bool caption =
            (label && !label->wordWrap() && label->frameShape() == QFrame::NoFrame) ||
            (option && !qobject_cast<const QPushButton *>(widget));
        if (!caption)
            continue;
        const QString text = label ? label->text() : option->text();
        if (!text.isEmpty() && widget->sizeHint().width() > widget->width())
            cut.append(text);
        if (widget->geometry().right() >= widget->parentWidget()->width())
            cut.append(text + QStringLiteral(" (past its container)"));
    }
    return cut;
}

void keyClickFocused(QWidget &window, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : &window, key, modifiers);
}
