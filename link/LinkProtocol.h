#pragma once
// The byte layouts of every message one station sends to the other.
//
// A stream is cut into packets by a fixed 10-byte delimiter: delimiter, one flag byte, then
// a payload that runs up to the next delimiter. There is no length field, checksum or escape;
// data that contains the delimiter is sent as it is. Every message goes to the socket in one
// write whose length the design counts as a signed 16-bit number, hence kMaxMessageLength.
#include <QByteArray>
#include <QList>

namespace LinkProtocol
{

inline constexpr char kFlagNormal = 'A';
inline constexpr char kFlagLocalLoop = 'L';
inline constexpr char kFlagRemoteLoop = 'R';
inline constexpr char kFlagData = 'D';
inline constexpr char kFlagEnd = 'E';

inline constexpr int kDelimLength = 10;
inline constexpr int kMaxMessageLength = 32767;
// Two blanks, delimiter and "D" before the data, delimiter and "E" after it.
inline constexpr int kDataFraming = 2 + kDelimLength + 1 + kDelimLength + 1;
inline constexpr int kMaxDataPerMessage = kMaxMessageLength - kDataFraming;
// A reflected message lacks the two leading blanks.
inline constexpr int kMaxReflectedDataPerMessage = kMaxDataPerMessage + 2;

inline constexpr char kTestTextFirst[] = "This is a TETHRA test message";
inline constexpr char kTestTextSecond[] = "Another test message for TETHRA";

QByteArray PacketDelim();

QByteArray dataMessage(const QByteArray &data);
QByteArray reflectedDataMessage(const QByteArray &data);
QByteArray testMessage(const QByteArray &text);
QByteArray stateMessage(char flag);
QByteArray loopbackChangeMessage(char flag);

// One serial chunk, one message, unless the chunk would make a message too long to write:
// then consecutive slices go out in order so no byte is lost. An empty chunk still yields one
// (empty) data message, which the peer takes as a sign of life.
QList<QByteArray> dataMessagesFor(const QByteArray &chunk);
// The same for data sent back in local loopback: a peer may send a longer data packet than
// this station would, and the reflection must still fit the write limit.
QList<QByteArray> reflectedDataMessagesFor(const QByteArray &payload);

// r is a uniform draw from [0, 1).
QByteArray testText(double r);

} // namespace LinkProtocol
