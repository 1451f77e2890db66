#include "common/Percentiles.h"

#include <algorithm>
#include <cmath>

Percentiles::Percentiles(std::vector<double> samples) : m_sorted(std::move(samples))
{
    std::sort(m_sorted.begin(), m_sorted.end());
}

double Percentiles::at(double percent) const
{
    if (m_sorted.empty())
        return 0;
    const auto rank = std::size_t(std::ceil(percent / 100.0 * double(m_sorted.size())));
    return m_sorted[std::clamp<std::size_t>(rank, 1, m_sorted.size()) - 1];
}

QString Percentiles::summary(double scale, const QString &unit) const
{
    const auto show = [&](double value) { return QString::number(value * scale, 'f', 3) + unit; };
    return QStringLiteral("n=%1 min=%2 p50=%3 p99=%4 max=%5")
        .arg(count())
        .arg(show(min()), show(median()), show(at(99)), show(max()));
}
