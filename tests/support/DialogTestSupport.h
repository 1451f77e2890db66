#pragma once
// Pieces that the dialog tests share: a station as the user finds it when opening a dialog,
// a check that every caption fits its control, and a key press where the user's focus is.
#include "app/MainForm.h"
#include "support/FakeServices.h"
#include "support/Pty.h"

#include <QStringList>

#include <memory>
#include <vector>

class QWidget;

// A station after its start, with the boxes the start showed already forgotten, so a test
// sees only what its own dialog shows. Its sixteen serial ports name nothing until a test
// maps a pseudo-terminal to one: the machine's own devices never show up.
class DialogStation
{
public:
    DialogStation();
    Q_DISABLE_COPY_MOVE(DialogStation)

    MainForm &form() { return *m_form; }
    TestEnvironment &env() { return m_env; }
    Pty &mapPty(int port);

private:
    TestEnvironment m_env;
    std::vector<std::unique_ptr<Pty>> m_ptys;
    std::unique_ptr<MainForm> m_form;
};

// Captions that the dialog's font does not fit into their control (across their lines where
// they wrap), and controls that stand past their container's edge or, inside a frame, over its
// border or caption.
QStringList cutCaptions(const QWidget &window);

// Sends the key where the user's keystroke would land: to the widget that has the focus, or
// to the window itself when nothing has it.
void keyClickFocused(QWidget &window, Qt::Key key,
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier);
