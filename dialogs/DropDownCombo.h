#pragma once
// A combo box that says when its list is about to drop down, so the list can be rebuilt
// from what is there at that moment.
#include <QComboBox>

class DropDownCombo final : public QComboBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DropDownCombo)

public:
    explicit DropDownCombo(QWidget *parent = nullptr) : QComboBox(parent) {}
    void showPopup() override;

Q_SIGNALS:
    void droppingDown();
};
