#pragma once
// What the dialog tests share: a started station, a check that captions fit, a key press where
// the user's focus is.
#include "app/MainForm.h"
#include "support/FakeServices.h"
#include "support/Pty.h"

#include <QApplication>
#include <QTest>

#include <list>
#include <memory>

// A station after its start, the boxes the start showed forgotten. Its serial ports name
// nothing until a test maps a pseudo-terminal to one: the machine's devices never show.
class DialogStation
{
public:
    DialogStation();
    MainForm &form() { return *m_form; }
    TestEnvironment &env() { return m_env; }
    Pty &mapPty(int port)
    {
        m_env.mapSerialPort(port, m_ptys.emplace_back().slavePath());
        return m_ptys.back();
    }

private:
    TestEnvironment m_env;
    std::list<Pty> m_ptys;
    std::unique_ptr<MainForm> m_form;
};

// Captions that do not fit their control (across their lines where they wrap), and controls
// past their container's edge or, inside a frame, over its border or caption.
QStringList cutCaptions(const QWidget &window);

// Sends the key to the widget that has the focus, or to the window when none has it.
inline void keyClickFocused(QWidget &window, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QWidget *focused = QApplication::focusWidget();
    QTest::keyClick(focused ? focused : &window, key, modifiers);
}
