// A converted test data file (short or full form) made ready for a plot against time. A file of
// millions of lines is never held whole: one pass reduces every series to the minimum and
// maximum of each of many narrow time columns, which is all a screen can show; a zoom finer than
// those columns reads just that stretch of the file again. Empty cells are gaps in a series.
#pragma once

#include "recordings/PlotReduction.h"

#include <cstdint>
#include <filesystem>
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
