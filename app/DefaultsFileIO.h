#pragma once
// The settings file TETHRA.SAV in the settings folder: read at start and written at exit.
// The setup dialogs change the settings in memory only. A station without a window may be
// told to read the file again while it runs.
class Station;

namespace DefaultsFileIO
{

void LoadDefaults(Station &station);
void SaveDefaults(Station &station);
// The network settings and the log files from the file, applied as the network setup
// dialog applies its own; the serial port stays as it is.
void ReloadDefaults(Station &station);

} // namespace DefaultsFileIO
