#pragma once
// What the traffic boxes hold and how it looks: the newest data, kept short so that
// appending stays cheap at serial data rates, one visible character per byte.
#include <QByteArray>
#include <QString>
#include <QStringView>

namespace TrafficView
{

// Past kLimit, one append drops kDropped characters from the front, so that a box fed in
// small chunks keeps about kLimit characters with the newest at the end.
inline constexpr qsizetype kLimit = 2000;
inline constexpr qsizetype kDropped = 99;
// Whatever the chunks, a box keeps no more than its newest kCapacity characters: a large
// chunk would otherwise leave the box above kLimit, and a stream of them, each worn down
// by only kDropped, would grow it without bound.
inline constexpr qsizetype kCapacity = 4000;

// How many characters leave the front of a box holding textSize characters when
// chunkSize are appended (counted in text followed by chunk).
qsizetype droppedByAppend(qsizetype textSize, qsizetype chunkSize);
// Appends chunk, each byte the character of the same code (Latin-1), and trims the front
// as above; returns droppedByAppend. Costs at most about kCapacity, whatever the chunk.
qsizetype appendAndTrim(QString &text, const QByteArray &chunk);

// The characters shown for traffic, where afterCr tells whether the character before it
// was a CR. A CR, an LF and the pair CR LF each break the line; a tab stays a tab; every
// other control byte, DEL and 0x80 to 0x9F become one distinct picture character each.
QString shown(QStringView traffic, bool afterCr);
// shown(traffic, afterCr).size(), without building it.
qsizetype shownLength(QStringView traffic, bool afterCr);

} // namespace TrafficView
