#pragma once
// Small text routines shared by the settings file and the setup dialogs.
#include <QString>
#include <QtGlobal>

namespace Routines
{

// Folders in paths are separated by this character on this platform.
inline constexpr QChar kFolderSeparator = QLatin1Char('/');

// True for a text that looks like a dotted IPv4 address: three full stops and nothing else
// but digits and blanks. The numbers themselves are not checked ("...", "999.1.1.1" pass).
bool IsIPAddress(const QString &text);
// Drops one trailing folder separator, so folder and file name can be joined with one.
QString StripTrailingBackslash(const QString &path);
// The folder part of a path, ending in the separator; empty when there is none.
QString LogFilePath(const QString &path);
// The part after the last separator; empty when there is no separator.
QString LogFileName(const QString &path);

// The decimal number at the start of a text, as typed into a dialog field: blanks are
// skipped wherever they are, one sign at the start and one decimal point are allowed, and
// reading stops at the first character that cannot continue the number. A text that does
// not start with a number gives 0. There is no exponent notation.
double ParseLeadingNumber(const QString &text);
// Rounds to the nearest whole number, halves going to the even neighbour (2.5 -> 2,
// 3.5 -> 4). Values beyond the 64-bit range, and NaN, saturate (NaN gives 0).
qint64 RoundHalfEven(double value);

} // namespace Routines
