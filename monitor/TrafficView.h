#pragma once
// What the traffic boxes hold: the newest data, kept short so that appending stays cheap at
// serial data rates.
#include <QByteArray>
#include <QString>

namespace TrafficView
{

// Past this length, one append drops kDropped characters from the front; a single huge
// chunk therefore leaves the box above the limit until later appends wear it down.
inline constexpr qsizetype kLimit = 2000;
inline constexpr qsizetype kDropped = 99;

QString appendAndTrim(const QString &text, const QString &chunk);
// Each byte becomes the character of the same code (Latin-1); control characters, CR, LF
// and NUL stay as they are, nothing is translated.
QString bytesAsText(const QByteArray &bytes);

} // namespace TrafficView
