#include "app/ProgramIcon.h"

namespace ProgramIcon
{

QIcon icon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/tethra-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace ProgramIcon
