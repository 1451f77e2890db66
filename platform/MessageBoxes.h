#pragma once
// Modal message boxes. A test answers them through its own implementation.
#include <QString>

#include <functional>

class QWidget;

class MessageBoxes
{
public:
    enum class Icon { None, Information, Question, Warning, Critical };
    virtual ~MessageBoxes() = default;
    // OK button only; returns when the user closes the box.
    virtual void inform(QWidget *owner, const QString &text, const QString &title,
                        Icon icon = Icon::None) = 0;
    // Yes and No buttons; true for Yes.
    virtual bool askYesNo(QWidget *owner, const QString &text, const QString &title,
                          Icon icon = Icon::Question) = 0;
    // OK button only, without waiting: the caller goes on at once and onClosed runs when
    // the user has closed the box. Used where a box must not stop the data path.
    virtual void informLater(QWidget *owner, const QString &text, const QString &title,
                             std::function<void()> onClosed) = 0;
};

// The desktop's own QMessageBox.
class DesktopMessageBoxes final : public MessageBoxes
{
public:
    void inform(QWidget *owner, const QString &text, const QString &title, Icon icon) override;
    bool askYesNo(QWidget *owner, const QString &text, const QString &title, Icon icon) override;
    void informLater(QWidget *owner, const QString &text, const QString &title,
                     std::function<void()> onClosed) override;
};
