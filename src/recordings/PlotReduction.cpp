#include "recordings/PlotReduction.h"

#include <algorithm>

MinMaxColumns::MinMaxColumns(double x0, double x1, int columns, int seriesCount)
    : m_x0(x0), m_width(x1 > x0 ? (x1 - x0) / std::max(columns, 1) : 1.0),
      m_columns(std::max(columns, 1)), m_seriesCount(seriesCount),
      m_cells(static_cast<size_t>(m_columns) * static_cast<size_t>(seriesCount), Cell{0, 0, 0}) {}

int MinMaxColumns::ColumnOf(double x) const {
    const double at = (x - m_x0) / m_width;
    if (!(at > 0.0))
        return 0;
    return at >= m_columns ? m_columns - 1 : static_cast<int>(at);
}

namespace {

void Emit(PlotSegment& segment, double x, float min, float max, bool minLast) {
    if (min == max) {
        segment.push_back({x, min});
    } else if (minLast) {
        segment.push_back({x, max});
        segment.push_back({x, min});
    } else {
        segment.push_back({x, min});
        segment.push_back({x, max});
    }
}

void EndSegment(std::vector<PlotSegment>& segments, PlotSegment& segment) {
    if (!segment.empty()) {
        segments.push_back(std::move(segment));
        segment = PlotSegment();
    }
}

} // namespace

std::vector<PlotSegment> MinMaxColumns::Segments(int series) const {
    return MergedSegments(series, m_x0, m_x0 + m_width * m_columns, m_columns);
}

std::vector<PlotSegment> MinMaxColumns::MergedSegments(int series, double x0, double x1,
                                                       int columns) const {
    std::vector<PlotSegment> segments;
    PlotSegment segment;
    const int first = ColumnOf(x0);
    const int last =
        std::max(first, x1 >= m_x0 + m_width * m_columns ? m_columns - 1 : ColumnOf(x1));
    const int span = last - first + 1;
    columns = std::clamp(columns, 1, span);
    int from = first;
    for (int out = 0; out < columns; ++out) {
        const int to = first + static_cast<int>(static_cast<long long>(out + 1) * span / columns);
        float min = 0, max = 0;
        int minColumn = -1, maxColumn = -1;
        bool minLastThere = false;
        bool empty = false;
        for (int c = from; c < to; ++c) {
            const Cell& cell = At(c, series);
            empty = empty || (cell.flags & kHasEmpty);
            if (!(cell.flags & kHasValue))
                continue;
            if (minColumn < 0 || cell.min < min) {
                min = cell.min;
                minColumn = c;
                minLastThere = cell.flags & kMinLast;
            }
            if (maxColumn < 0 || cell.max > max) {
                max = cell.max;
                maxColumn = c;
            }
        }
        if (minColumn >= 0) {
            const bool minLast = minColumn > maxColumn || (minColumn == maxColumn && minLastThere);
            Emit(segment, (Middle(from) + Middle(to - 1)) / 2.0, min, max, minLast);
        } else if (empty) {
            EndSegment(segments, segment); // every line there had an empty cell
        }
        from = to;
    }
    EndSegment(segments, segment);
    return segments;
}

void MinMaxColumns::Merge(const MinMaxColumns& later) {
    for (size_t i = 0; i < m_cells.size() && i < later.m_cells.size(); ++i) {
        Cell& cell = m_cells[i];
        const Cell& next = later.m_cells[i];
        cell.flags |= next.flags & kHasEmpty;
        if (!(next.flags & kHasValue))
            continue;
        if (!(cell.flags & kHasValue)) {
            cell = next;
            continue;
        }
        const bool minLater = next.min < cell.min;
        const bool maxLater = next.max > cell.max;
        cell.min = minLater ? next.min : cell.min;
        cell.max = maxLater ? next.max : cell.max;
        bool minLast = cell.flags & kMinLast;
        if (minLater != maxLater)
            minLast = minLater;
        else if (minLater)
            minLast = next.flags & kMinLast;
        cell.flags = static_cast<uint8_t>((cell.flags & ~kMinLast) | (minLast ? kMinLast : 0));
    }
}

std::vector<PlotSegment> ReduceToColumns(std::span<const double> x, std::span<const double> y,
                                         double x0, double x1, int columns) {
    MinMaxColumns reduced(x0, x1, columns, 1);
    for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (x[i] >= x0 && x[i] <= x1)
            reduced.Add(reduced.ColumnOf(x[i]), 0, y[i]);
    }
    return reduced.Segments(0);
}
