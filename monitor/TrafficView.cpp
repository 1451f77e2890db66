#include "monitor/TrafficView.h"

#include <algorithm>

namespace TrafficView
{

namespace
{
constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';

// The LF of a CR LF pair shows as nothing: the CR has broken the line already.
bool hiddenAt(QStringView traffic, qsizetype index, bool afterCr)
{
    if (traffic[index] != kLf)
        return false;
    return index == 0 ? afterCr : traffic[index - 1] == kCr;
}

QChar picture(char16_t code)
{
    if (code == kCr || code == kLf)
        return QChar(kLf);
    if (code == u'\t')
        return QChar(code);
    if (code < 0x20)
        return QChar(0x2400 + code);
    if (code == 0x7f)
        return QChar(0x2421);
    return QChar(code);
}
} // namespace

qsizetype droppedByAppend(qsizetype textSize, qsizetype chunkSize)
{
    const qsizetype joined = textSize + chunkSize;
    const qsizetype trimmed = joined > kLimit ? joined - kDropped : joined;
    return joined - std::min(trimmed, kCapacity);
}

qsizetype appendAndTrim(QString &text, const QByteArray &chunk)
{
    const qsizetype dropped = droppedByAppend(text.size(), chunk.size());
    const qsizetype fromText = std::min(dropped, text.size());
    const qsizetype fromChunk = dropped - fromText;
    text.remove(0, fromText);
    text.append(QLatin1StringView(chunk.constData() + fromChunk, chunk.size() - fromChunk));
    return dropped;
}

QString shown(QStringView traffic, bool afterCr)
{
    QString text;
    text.reserve(traffic.size());
    for (qsizetype index = 0; index < traffic.size(); ++index) {
        if (!hiddenAt(traffic, index, afterCr))
            text.append(picture(traffic[index].unicode()));
    }
    return text;
}

qsizetype shownLength(QStringView traffic, bool afterCr)
{
    qsizetype length = 0;
    for (qsizetype index = 0; index < traffic.size(); ++index)
        length += hiddenAt(traffic, index, afterCr) ? 0 : 1;
    return length;
}

} // namespace TrafficView
