#pragma once
// The median of a few repeated figures, the value the benchmark summaries report.
#include "common/Percentiles.h"

#include <vector>

inline double medianOf(std::vector<double> values)
{
    return Percentiles(std::move(values)).median();
}
