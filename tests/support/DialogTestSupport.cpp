#include "support/DialogTestSupport.h"

#include "platform/SerialPortMap.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

DialogStation::DialogStation()
{
    for (int port = SerialPortMap::kFirstPort; port <= SerialPortMap::kLastPort; ++port)
        m_env.mapSerialPort(port, m_env.filePath(QStringLiteral("absent%1").arg(port)));
    m_form = std::make_unique<MainForm>(m_env.environment());
    m_form->Form_Load();
    m_env.messageBoxes.clear();
}

QStringList cutCaptions(const QWidget &window)
{
    QStringList cut;
    for (const QWidget *widget : window.findChildren<QWidget *>()) {
        if (widget->isWindow() || !widget->isVisibleTo(&window))
            continue;
        const auto *label = qobject_cast<const QLabel *>(widget);
        const auto *option = qobject_cast<const QAbstractButton *>(widget);
        const auto *frame = qobject_cast<const QGroupBox *>(widget->parentWidget());
        const QString text = label ? label->text() : option ? option->text() : QString();
        // Inside a frame, a control must stay clear of the border and the caption.
        if (!(frame ? frame->contentsRect() : widget->parentWidget()->rect())
                 .contains(widget->geometry()))
            cut.append(widget->metaObject()->className() + (' ' + text) + " (past its container)");
        const bool caption = (label && label->frameShape() == QFrame::NoFrame) ||
                             (option && !qobject_cast<const QPushButton *>(widget));
        if (caption && !text.isEmpty() &&
            (widget->hasHeightForWidth()
                 ? widget->heightForWidth(widget->width()) > widget->height()
                 : widget->sizeHint().width() > widget->width()))
            cut.append(text);
    }
    return cut;
}
