#pragma once
// The settings file TETHRA.SAV in the settings folder: read once at start, written once at
// exit. The setup dialogs change the settings in memory only.
class MainForm;

namespace DefaultsFileIO {

void LoadDefaults(MainForm &form);
void SaveDefaults(MainForm &form);

} // namespace DefaultsFileIO
