#include "link/LinkProtocol.h"

namespace LinkProtocol
{

namespace
{

constexpr char kDelimBytes[kDelimLength] = {0x01, 0x01, 'T', 'E', 'T', 'H', 'R', 'A', 0x02, 0x02};
constexpr char kBlanks[] = "  ";
constexpr char kLineEnd[] = "\r\n";

QByteArray framedData(const QByteArray &lead, const QByteArray &data)
{
    const QByteArray delim = PacketDelim();
    QByteArray message;
    message.reserve(lead.size() + 2 * (kDelimLength + 1) + data.size());
    message.append(lead).append(delim).append(kFlagData).append(data);
    message.append(delim).append(kFlagEnd);
    return message;
}

template <typename Build>
QList<QByteArray> slicedMessages(const QByteArray &data, qsizetype slice, Build build)
{
    QList<QByteArray> messages;
    if (data.isEmpty()) {
        messages.append(build(data));
        return messages;
    }
    messages.reserve((data.size() + slice - 1) / slice);
    for (qsizetype at = 0; at < data.size(); at += slice)
        messages.append(build(data.mid(at, slice)));
    return messages;
}

} // namespace

QByteArray PacketDelim()
{
    return QByteArray(kDelimBytes, kDelimLength);
}

QByteArray dataMessage(const QByteArray &data)
{
    return framedData(QByteArray(kBlanks), data);
}

QByteArray reflectedDataMessage(const QByteArray &data)
{
    return framedData(QByteArray(), data);
}

QByteArray testMessage(const QByteArray &text)
{
    return dataMessage(text + kLineEnd);
}

QByteArray stateMessage(char flag)
{
    const QByteArray unit = QByteArray(kBlanks) + PacketDelim() + flag;
    return unit + unit;
}

QByteArray loopbackChangeMessage(char flag)
{
    return PacketDelim() + flag;
}

QList<QByteArray> dataMessagesFor(const QByteArray &chunk)
{
    return slicedMessages(chunk, kMaxDataPerMessage, dataMessage);
}

QList<QByteArray> reflectedDataMessagesFor(const QByteArray &payload)
{
    return slicedMessages(payload, kMaxReflectedDataPerMessage, reflectedDataMessage);
}

QByteArray testText(double r)
{
    return QByteArray(r > 0.5 ? kTestTextFirst : kTestTextSecond);
}

} // namespace LinkProtocol
