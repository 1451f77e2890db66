#pragma once
// The main window, the dialogs and the about box are laid out in twips; they are converted
// for the screen the window is on. The twips sizes were drawn for an 8 point sans serif of the
// Helvetica kind; where the font at hand is wider, fitToText gives a caption the room it
// needs rather than cutting it off.
#include <QWidget>

class QDialog;
class QLabel;

namespace TwipsPlacement
{

inline constexpr int kDesignPointSize = 8;
inline constexpr double kSmallestPointSize = 6.0;
// Labels with this property set show values of any length and may cut them: fitToText
// leaves them as they are.
inline constexpr const char *kCutsTextProperty = "cutsText";

int toPixels(const QWidget &onScreen, int twips);

void place(const QWidget &onScreen, QWidget *widget, int left, int top, int width, int height);
// A modal dialog of a size fixed in twips, with a title bar that offers only its close box,
// in the design font. Its controls come after, and fitToText last.
void setUpFixedDialog(const QWidget &onScreen, QDialog *dialog, const QString &title,
                      int widthTwips, int heightTwips);
// A caption that sits left of its field: fitToText grows it to the left, towards the edge.
QLabel *rightAlignedLabel(const QString &caption, QWidget *parent);
// The design font: the first of the usual dialog families that is installed.
void useDesignFont(QWidget *window);
// Moves the controls of a frame below its caption where the style draws the caption above the
// border (growing the frame where they then reach past its bottom), widens the captions of labels,
// check boxes and option buttons that do not fit (right-aligned labels grow to the left; a check
// box that wraps its caption grows in height instead), shrinks the font of word-wrapped labels
// until their text fits their box, and widens the window when a caption now reaches past its right
// edge.
void fitToText(const QWidget &onScreen, QWidget *window);

} // namespace TwipsPlacement
