#pragma once
// Asks whether a serial device is free for this station to open, without touching it: the
// device is opened and closed again, nothing is read, written or configured.
//
// A device counts as held when another program has it in exclusive use (TIOCEXCL, as the
// serial layer sets on every port it opens), holds an flock on it, or has a live uucp-style
// lock file (LCK..name) for it in one of the usual lock folders, as the serial layer and
// terminal programs create them. Root may open an exclusive tty anyway, so exclusivity is
// asked for, not relied on to make the open fail.
#include <QString>

namespace SerialProbe
{

bool canOpenSerialDevice(const QString &path);

} // namespace SerialProbe
