#pragma once
// Order statistics of a set of samples, nearest-rank: p99 of 300 samples is the 297th
// smallest, so one outlier in a hundred does not hide in an average.
#include <QString>

#include <vector>

class Percentiles final
{
public:
    explicit Percentiles(std::vector<double> samples);

    bool isEmpty() const { return m_sorted.empty(); }
    int count() const { return int(m_sorted.size()); }
    double at(double percent) const;
    double median() const { return at(50); }
    double min() const { return m_sorted.empty() ? 0 : m_sorted.front(); }
    double max() const { return m_sorted.empty() ? 0 : m_sorted.back(); }
    // "n=300 p50=... p99=... max=..." with values multiplied by scale and unit appended.
    QString summary(double scale, const QString &unit) const;

private:
    std::vector<double> m_sorted;
};
