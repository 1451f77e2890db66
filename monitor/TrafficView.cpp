#include "monitor/TrafficView.h"

namespace TrafficView
{

QString appendAndTrim(const QString &text, const QString &chunk)
{
    QString result = text + chunk;
    if (result.size() > kLimit)
        result.remove(0, kDropped);
    return result;
}

QString bytesAsText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

} // namespace TrafficView
