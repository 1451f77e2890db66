#include "dialogs/DropDownCombo.h"

void DropDownCombo::showPopup()
{
    Q_EMIT droppingDown();
    QComboBox::showPopup();
}
