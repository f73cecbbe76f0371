// Plot segments as plain numbers, for comparing pictures in the plot tests.
#pragma once

#include "recordings/PlotReduction.h"

#include <limits>
#include <vector>

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();

inline std::vector<std::vector<double>> Ys(const std::vector<PlotSegment>& segments) {
    std::vector<std::vector<double>> ys;
    for (const PlotSegment& segment : segments) {
        ys.emplace_back();
        for (const PlotPoint& point : segment)
            ys.back().push_back(point.y);
    }
    return ys;
}
