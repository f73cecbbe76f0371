// The reduction behind every plot of test data: each series becomes the minimum and maximum of
// each of many narrow columns of time, which is all a screen can show; a column whose lines all
// had an empty cell ends a stretch of the series.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct PlotPoint {
    double x;
    double y;
};
// A stretch of a series without gaps.
using PlotSegment = std::vector<PlotPoint>;

// Per pixel column and series: the smallest and largest value and which came last, and whether
// the column held lines whose cell was empty.
class MinMaxColumns {
public:
    MinMaxColumns() = default;
    MinMaxColumns(double x0, double x1, int columns, int seriesCount);

    int Columns() const { return m_columns; }
    int SeriesCount() const { return m_seriesCount; }
    // The column of x, held to the first and the last column.
    int ColumnOf(double x) const;
    // A sample; an empty cell is NaN.
    void Add(int column, int series, double y) {
        Cell& cell = At(column, series);
        if (y != y) {
            cell.flags |= kHasEmpty;
            return;
        }
        const auto value = static_cast<float>(y);
        if (!(cell.flags & kHasValue)) {
            cell.min = cell.max = value;
            cell.flags |= kHasValue;
        } else if (value < cell.min) {
            cell.min = value;
            cell.flags |= kMinLast;
        } else if (value > cell.max) {
            cell.max = value;
            cell.flags &= static_cast<uint8_t>(~kMinLast);
        }
    }
    // The reduced segments of one series: each column's extremes at the column's middle.
    std::vector<PlotSegment> Segments(int series) const;
    // Takes in the samples of `later` (same columns), which came after this one's.
    void Merge(const MinMaxColumns& later);
    // This series' columns merged into `columns` coarser ones over [x0, x1] (whole columns).
    std::vector<PlotSegment> MergedSegments(int series, double x0, double x1, int columns) const;

private:
    struct Cell {
        float min;
        float max;
        uint8_t flags;
    };
    static constexpr uint8_t kHasValue = 1, kHasEmpty = 2, kMinLast = 4;

    Cell& At(int column, int series) {
        return m_cells[static_cast<size_t>(column) * m_seriesCount + series];
    }
    const Cell& At(int column, int series) const {
        return m_cells[static_cast<size_t>(column) * m_seriesCount + series];
    }
    double Middle(int column) const { return m_x0 + (column + 0.5) * m_width; }

    double m_x0 = 0.0;
    double m_width = 1.0;
    int m_columns = 0;
    int m_seriesCount = 0;
    std::vector<Cell> m_cells;
};

// The plain reduction of samples of one series (x in any order, y NaN for an empty cell) to at
// most two points per pixel column over [x0, x1]; a column whose samples are all empty ends a
// segment.
std::vector<PlotSegment> ReduceToColumns(std::span<const double> x, std::span<const double> y,
                                         double x0, double x1, int columns);
