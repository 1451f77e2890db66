#pragma once
// The fixed texts of the help message boxes and of the about box.
//
// A help text is a list of lines joined with CR LF, with no line break after the last one.
// Every blank belongs to the text: the leading blanks align continuation lines under their
// entry, and a message box shows them as they are.
#include <QString>

namespace HelpTexts
{

inline constexpr char kTipsTitle[] = "HELP - Tips";
inline constexpr char kRs232PortTitle[] = "HELP - Setup RS232 Port";
inline constexpr char kNetworkTitle[] = "HELP - Setup Network Connection";
inline constexpr char kTrafficLoggingTitle[] = "Help - Setup Traffic Logging";
inline constexpr char kSecurityTitle[] = "HELP - Setup Security";

QString tips();
QString rs232Port();
QString network();
QString trafficLogging();
QString security();

inline constexpr char kProgramTitle[] = "Tethra";

// The about box: the description, word-wrapped by its label; the title with the version,
// "Tethra v1.04" for 1.0.4 (no separator between minor version and revision); and the
// notice with its credits, four lines separated by single CR characters.
QString aboutDescription();
QString titleLine(int major, int minor, int revision);
QString aboutNotice();

} // namespace HelpTexts
