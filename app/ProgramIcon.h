#pragma once
// The program's icon, built into the binary at the sizes window managers and the about box
// ask for.
#include <QIcon>

namespace ProgramIcon
{

QIcon icon();

} // namespace ProgramIcon
