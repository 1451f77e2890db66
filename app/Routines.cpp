#include "app/Routines.h"

#include <cmath>
#include <limits>

namespace Routines
{

namespace
{

constexpr int kDotsInAddress = 3;

// Only the blank counts here, not tabs or other white space: a host entry with a tab in it
// is a name, not an address.
QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

} // namespace

bool IsIPAddress(const QString &text)
{
    const QString trimmed = trimBlanks(text);
    if (trimmed.isEmpty())
        return false;
    int dots = 0;
    int others = 0;
    for (const QChar c : trimmed) {
        if (c == QLatin1Char('.'))
            ++dots;
        else if (!(c >= QLatin1Char('0') && c <= QLatin1Char('9')) && c != QLatin1Char(' '))
            ++others;
    }
    return dots == kDotsInAddress && others == 0;
}

QString StripTrailingBackslash(const QString &path)
{
    if (path.endsWith(kFolderSeparator))
        return path.left(path.size() - 1);
    return path;
}

QString LogFilePath(const QString &path)
{
    const QString stripped = StripTrailingBackslash(path);
    const qsizetype last = stripped.lastIndexOf(kFolderSeparator);
    if (last < 0)
        return QString();
    return stripped.left(last + 1);
}

QString LogFileName(const QString &path)
{
    const QString stripped = StripTrailingBackslash(path);
    const qsizetype last = stripped.lastIndexOf(kFolderSeparator);
    if (last < 0)
        return QString();
    return stripped.mid(last + 1);
}

double ParseLeadingNumber(const QString &text)
{
    // The digits are gathered into a plain "-123.45" form and converted once, so the
    // result is the correctly rounded double of what was typed.
    QString number;
    bool signAllowed = true;
    bool pointSeen = false;
    bool digitSeen = false;
    for (const QChar c : text) {
        if (isBlank(c))
            continue;
        if (signAllowed && (c == QLatin1Char('-') || c == QLatin1Char('+'))) {
            if (c == QLatin1Char('-'))
                number.append(c);
            signAllowed = false;
            continue;
        }
        signAllowed = false;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number.append(c);
            digitSeen = true;
        } else if (c == QLatin1Char('.') && !pointSeen) {
            number.append(c);
            pointSeen = true;
        } else {
            break;
        }
    }
    if (!digitSeen)
        return 0.0;
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (ok)
        return value;
    // The text is well formed, so the only way to fail is a number beyond the double range.
    // Infinity lets the caller see a value that fits nothing, where 0 would pass as a port.
    const double infinity = std::numeric_limits<double>::infinity();
    return number.startsWith(QLatin1Char('-')) ? -infinity : infinity;
}

qint64 RoundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double kLimit = 9223372036854775808.0;
    if (value >= kLimit)
        return std::numeric_limits<qint64>::max();
    if (value < -kLimit)
        return std::numeric_limits<qint64>::min();
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double rounded = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        rounded = floor + 1.0;
    if (rounded >= kLimit)
        return std::numeric_limits<qint64>::max();
    return static_cast<qint64>(rounded);
}

} // namespace Routines
