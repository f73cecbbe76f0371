// A converted test data file (short or full form) made ready for a plot against time. A file of
// millions of lines is never held whole: one pass reduces every series to the minimum and
// maximum of each of many narrow time columns, which is all a screen can show; a zoom finer than
// those columns reads just that stretch of the file again. Empty cells are gaps in a series.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

enum class PlotQuantity {
    Position,          // um
    FactoryForce,      // N
    CalibratedForce,   // N
    SpecifiedPressure, // MPa
    ActualPressure,    // MPa
    SpringForce,       // N
};

// One plottable column of the file.
struct PlotSeriesInfo {
    PlotQuantity quantity;
    int well = 0; // 1..9 for per-well quantities, else 0
    int column = 0;
    std::string title; // the column's title in the file
};

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

class PlotData {
public:
    // Columns of the loading pass; enough for a 30-fold zoom on a wide screen before the file
    // is read again.
    static constexpr int kLoadColumns = 1 << 16;

    // Reads and reduces the file. False with a message for the user when it is not a converted
    // test data file (no "Time (mS)" column) or cannot be read.
    bool Load(const std::filesystem::path& path, std::string& error,
              int loadColumns = kLoadColumns);

    const std::filesystem::path& Path() const { return m_path; }
    const std::vector<PlotSeriesInfo>& Series() const { return m_series; }
    // Whether the file holds any value of a series (a column of empty cells has none).
    bool HasValues(int series) const { return m_hasValues[static_cast<size_t>(series)]; }
    long long Lines() const { return m_lines; }
    double XMin() const { return m_xMin; }
    double XMax() const { return m_xMax; }
    // Whether the file holds the full form's pressure columns.
    bool FullForm() const;

    // The segments of each of `series` over [x0, x1] at `columns` pixel columns.
    std::vector<std::vector<PlotSegment>> Reduce(const std::vector<int>& series, double x0,
                                                 double x1, int columns);

private:
    // What one pass over a stretch of the file takes in and finds.
    struct ScanState {
        MinMaxColumns* into = nullptr;
        // The loading pass takes every line and notes the time range, the line count, the
        // series with values and where each column starts; a later pass takes only the lines
        // with times inside [low, high].
        bool load = false;
        double low = 0.0;
        double high = 0.0;
        std::vector<long long> offsets;
        std::vector<char> hasValues;
        long long lines = 0;
        double seenMin = 0.0;
        double seenMax = 0.0;
        double firstX = 0.0;
        double lastX = 0.0;
        bool monotonic = true;
    };
    // One pass over the bytes [from, to); false when reading failed.
    bool Scan(long long from, long long to, ScanState& state) const;
    // The loading pass, in two halves at once on a large file.
    bool LoadPass(int loadColumns);

    std::filesystem::path m_path;
    std::vector<PlotSeriesInfo> m_series;
    std::vector<int> m_columnSeries; // per file column: series index, -1 for none
    int m_timeColumn = -1;
    long long m_dataStart = 0; // first byte after the header
    long long m_fileSize = 0;
    long long m_lines = 0;
    double m_xMin = 0.0;
    double m_xMax = 0.0;
    bool m_monotonic = true; // times never went back
    std::vector<char> m_hasValues;
    MinMaxColumns m_loaded;
    std::vector<long long> m_offsets; // per loaded column: the first line in it, or the next
};
