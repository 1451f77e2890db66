#include "app/TwipsPlacement.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace
{

constexpr int kMarginTwips = 120;
constexpr int kTwipsPerInch = 1440;
constexpr double kFontStep = 0.5;

void widenToCaption(QWidget *widget)
{
    const int missing = widget->sizeHint().width() - widget->width();
    if (missing <= 0)
        return;
    QRect area = widget->geometry();
    const auto *label = qobject_cast<QLabel *>(widget);
    if (label && (label->alignment() & Qt::AlignRight)) {
        const int leftward = qMin(missing, area.left());
        area.setLeft(area.left() - leftward);
        area.setRight(area.right() + missing - leftward);
    } else {
        area.setRight(area.right() + missing);
    }
    widget->setGeometry(area);
}

// A caption that wraps gets the height its lines need, centred on the height it had.
void heightenToCaption(QWidget *widget)
{
    const int missing = widget->heightForWidth(widget->width()) - widget->height();
    if (missing <= 0)
        return;
    widget->setGeometry(widget->x(), widget->y() - missing / 2, widget->width(),
                        widget->height() + missing);
}

// The design puts a frame's caption on its top border, with the controls just below. A style
// that draws the caption above the border needs more room at the top: the controls move
// down together, by as much as the topmost one would otherwise overlap the border, and the
// frame grows at the bottom by what the lowest one then lacks.
void keepInsideFrame(QGroupBox *frame)
{
    const QList<QWidget *> controls = frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    const QRect room = frame->contentsRect();
    int top = room.top();
    for (const QWidget *control : controls)
        top = qMin(top, control->y());
    int bottom = room.bottom();
    for (QWidget *control : controls) {
        control->move(control->x(), control->y() + room.top() - top);
        bottom = qMax(bottom, control->geometry().bottom());
    }
    frame->resize(frame->width(), frame->height() + bottom - room.bottom());
}

// Where the rightmost control of the window ends.
int rightEdge(const QWidget &window)
{
    int right = 0;
    for (const QWidget *child : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        right = qMax(right, child->geometry().right() + 1);
    return right;
}

void shrinkUntilItFits(QLabel *label)
{
    QFont font = label->font();
    while (label->heightForWidth(label->width()) > label->height() &&
           font.pointSizeF() - kFontStep >= TwipsPlacement::kSmallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - kFontStep);
        label->setFont(font);
    }
}

} // namespace

namespace TwipsPlacement
{

int toPixels(const QWidget &onScreen, int twips)
{
    const QScreen *screen = onScreen.screen();
    const qreal dpi = screen ? screen->logicalDotsPerInch() : 96.0;
    return qRound(twips * dpi / kTwipsPerInch);
}

void place(const QWidget &onScreen, QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(onScreen, left), toPixels(onScreen, top),
                        toPixels(onScreen, width), toPixels(onScreen, height));
}

void setUpFixedDialog(const QWidget &onScreen, QDialog *dialog, const QString &title,
                      int widthTwips, int heightTwips)
{
    dialog->setWindowTitle(title);
    dialog->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setModal(true);
    useDesignFont(dialog);
    dialog->setFixedSize(toPixels(onScreen, widthTwips), toPixels(onScreen, heightTwips));
}

QLabel *rightAlignedLabel(const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

void useDesignFont(QWidget *window)
{
    QFont font = window->font();
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Helvetica"),
                      QStringLiteral("Nimbus Sans"), font.family()});
    font.setPointSize(kDesignPointSize);
    window->setFont(font);
}

void fitToText(const QWidget &onScreen, QWidget *window)
{
    const int designRight = rightEdge(*window);
    for (QGroupBox *frame : window->findChildren<QGroupBox *>())
        keepInsideFrame(frame);
    for (QLabel *label : window->findChildren<QLabel *>()) {
        // Value fields show paths of any length; they are allowed to cut them.
        if (label->property(kCutsTextProperty).toBool() || !label->pixmap().isNull())
            continue;
        if (label->wordWrap())
            shrinkUntilItFits(label);
        else
            widenToCaption(label);
    }
    // Push buttons are left alone: their size hint asks for a style minimum, not for room
    // their caption needs, and their captions are short.
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        if (qobject_cast<QPushButton *>(button))
            continue;
        if (button->hasHeightForWidth())
            heightenToCaption(button);
        else
            widenToCaption(button);
    }

    // Only a caption that now reaches further right than the design's controls did widens
    // the window; a design that runs close to its edge keeps its size.
    const int right = rightEdge(*window);
    if (right <= designRight)
        return;
    const int wanted = right + toPixels(onScreen, kMarginTwips);
    if (wanted <= window->width())
        return;
    if (window->minimumWidth() == window->maximumWidth())
        window->setFixedWidth(wanted);
    else
        window->resize(wanted, window->height());
}

} // namespace TwipsPlacement
