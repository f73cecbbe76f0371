#include "recordings/PlotData.h"

#include "recordings/ConvertFile.h"

#include "recordings/CsvReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr size_t kReadChunk = size_t{4} << 20;
// A header is a few dozen titles; a first line longer than this is no converted file.
constexpr size_t kMaxHeader = size_t{64} << 10;
// Times beyond any test run (ms, some 30000 years) have no place on a plot; keeping them out
// keeps the range and its column widths finite.
constexpr double kMaxTime = 1e15;

double UsableTime(double x) {
    return std::fabs(x) <= kMaxTime ? x : kNaN;
}

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};

// A cell's number, read up to the next comma or `last`: the fixed-point texts the converter
// writes are read without a library call; an empty cell or "--" is NaN; anything else goes
// through strtod. Returns where the cell ends.
[[gnu::always_inline]] inline const char* ReadCell(const char* p, const char* last, double& value) {
    const char* first = p;
    const bool negative = p != last && *p == '-';
    p += negative ? 1 : 0;
    uint64_t mantissa = 0;
    int digits = 0;
    int fraction = -1; // digits after the point, -1 before it
    for (; p != last; ++p) {
        const unsigned digit = static_cast<unsigned>(*p) - '0';
        if (digit < 10u) {
            mantissa = mantissa * 10 + digit;
            ++digits;
            fraction += fraction >= 0 ? 1 : 0;
        } else if (*p == '.' && fraction < 0) {
            fraction = 0;
        } else {
            break;
        }
    }
    if ((p == last || *p == ',') && digits > 0 && digits <= 18) {
        const double magnitude = fraction > 0 ? static_cast<double>(mantissa) / kPow10[fraction]
                                              : static_cast<double>(mantissa);
        value = negative ? -magnitude : magnitude;
        return p;
    }
    // An empty line may come as two null pointers.
    const auto* comma =
        p == last ? nullptr : static_cast<const char*>(std::memchr(p, ',', last - p));
    const char* end = comma ? comma : last;
    if (digits == 0 && (end == first || std::string_view(first, end - first) == "--")) {
        value = kNaN; // an empty cell, or the spring force's "no value"
        return end;
    }
    const std::string text(first, end);
    char* stop = nullptr;
    value = std::strtod(text.c_str(), &stop);
    if (stop == text.c_str())
        value = kNaN;
    return end;
}

inline double ParseCell(const char* first, const char* last) {
    double value = kNaN;
    ReadCell(first, last, value);
    return value;
}

// Only a regular file: a FIFO or a device named as the file would block or never end.
UniqueFile OpenForReading(const fs::path& path, std::string& error) {
    return OpenCsvFile(path, true, error);
}

// The last non-empty line of the file.
std::string LastLine(std::FILE* file, long long size, long long from) {
    const long long start = std::max(from, size - 65536);
    std::string tail(static_cast<size_t>(size - start), '\0');
    std::fseek(file, start, SEEK_SET);
    tail.resize(std::fread(tail.data(), 1, tail.size(), file));
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r'))
        tail.pop_back();
    const size_t newline = tail.find_last_of("\r\n");
    return newline == std::string::npos ? (start == from ? tail : std::string())
                                        : tail.substr(newline + 1);
}

double FirstCell(std::string_view line, int column) {
    for (int i = 0; i < column; ++i) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            return kNaN;
        line.remove_prefix(comma + 1);
    }
    const size_t comma = line.find(',');
    const std::string_view cell = line.substr(0, comma);
    return ParseCell(cell.data(), cell.data() + cell.size());
}

} // namespace

// --- the file ------------------------------------------------------------------------------------

bool PlotData::FullForm() const {
    return std::any_of(m_series.begin(), m_series.end(), [](const PlotSeriesInfo& s) {
        return s.quantity == PlotQuantity::SpecifiedPressure;
    });
}

bool PlotData::Load(const fs::path& path, std::string& error, int loadColumns) {
    *this = PlotData();
    m_path = path;
    std::string why;
    UniqueFile file = OpenForReading(path, why);
    std::error_code sizeError;
    m_fileSize = file ? static_cast<long long>(fs::file_size(path, sizeError)) : 0;
    if (!file || sizeError) {
        error = "Cannot open " + path.string() + ": " + (file ? sizeError.message() : why);
        return false;
    }
    const auto notConverted = [&] {
        error = path.string() + " is not a converted test data file (it has no \"" +
                ColumnTitle(ColumnCode::Time) + "\" column)";
        return false;
    };
    CsvLineReader lines(FileSource(file.get()), kMaxHeader, CsvLineEnds::Any);
    lines.SetLineLimit(kMaxHeader);
    std::string_view header;
    if (!lines.Next(header)) {
        if (!lines.Failed())
            return notConverted(); // empty, or a first line no header has
        error = "Cannot read " + path.string();
        return false;
    }
    m_dataStart = lines.Consumed();

    // The columns by their titles, as the converter writes them. A title is taken once: the
    // converter never repeats one, and every series costs the memory of its loaded columns.
    struct Known {
        std::string title;
        PlotQuantity quantity;
        int well;
    };
    std::vector<Known> known = {
        {ColumnTitle(ColumnCode::SpecifiedPressure), PlotQuantity::SpecifiedPressure, 0},
        {ColumnTitle(ColumnCode::ActualPressure), PlotQuantity::ActualPressure, 0},
        {ColumnTitle(ColumnCode::SpringForce), PlotQuantity::SpringForce, 0}};
    for (int k = 0; k < 9; ++k) {
        known.push_back({ColumnTitle(ColumnCode::Position1 + k), PlotQuantity::Position, k + 1});
        known.push_back(
            {ColumnTitle(ColumnCode::FactoryForce1 + k), PlotQuantity::FactoryForce, k + 1});
        known.push_back(
            {ColumnTitle(ColumnCode::CalibratedForce1 + k), PlotQuantity::CalibratedForce, k + 1});
    }
    int column = 0;
    for (const std::string_view title : SplitCsvFields(header)) {
        int series = -1;
        if (title == ColumnTitle(ColumnCode::Time) && m_timeColumn < 0) {
            m_timeColumn = column;
        } else {
            const auto k = std::find_if(known.begin(), known.end(),
                                        [&](const Known& each) { return each.title == title; });
            if (k != known.end()) {
                series = static_cast<int>(m_series.size());
                m_series.push_back({k->quantity, k->well, column, std::string(title)});
                known.erase(k);
            }
        }
        m_columnSeries.push_back(series);
        ++column;
    }
    if (m_timeColumn < 0)
        return notConverted();

    // The time range from the first and the last line; a file whose times are not in order is
    // read a second time with the range it really has.
    lines.SetLineLimit(std::numeric_limits<size_t>::max());
    std::string_view first;
    while (lines.Next(first) && first.empty()) {
    }
    m_xMin = UsableTime(FirstCell(first, m_timeColumn));
    m_xMax = UsableTime(FirstCell(LastLine(file.get(), m_fileSize, m_dataStart), m_timeColumn));
    if (std::isnan(m_xMin) || std::isnan(m_xMax) || m_xMax < m_xMin) {
        m_xMin = std::isnan(m_xMin) ? 0.0 : m_xMin;
        m_xMax = m_xMin;
    }
    file.reset();

    for (int pass = 0; pass < 2; ++pass) {
        if (m_xMax <= m_xMin)
            m_xMax = m_xMin + 1.0;
        const double low = m_xMin, high = m_xMax;
        if (!LoadPass(loadColumns)) {
            error = "Cannot read " + path.string();
            return false;
        }
        if (m_lines == 0 || (m_xMin >= low && m_xMax <= high))
            break;
    }
    if (m_lines == 0) {
        error = path.string() + " has no line with a time to plot (no number in its \"" +
                ColumnTitle(ColumnCode::Time) + "\" column)";
        return false;
    }
    return true;
}

bool PlotData::LoadPass(int loadColumns) {
    const int seriesCount = static_cast<int>(m_series.size());
    const double low = m_xMin, high = m_xMax;
    auto fresh = [&](MinMaxColumns& into) {
        ScanState state;
        state.into = &into;
        state.load = true;
        state.offsets.assign(static_cast<size_t>(loadColumns) + 1, -1);
        state.hasValues.assign(static_cast<size_t>(seriesCount), 0);
        return state;
    };
    m_loaded = MinMaxColumns(low, high, loadColumns, seriesCount);
    ScanState first = fresh(m_loaded);

    // A large file is read in two halves at once, split at a line end.
    long long split = m_fileSize;
    if (m_fileSize - m_dataStart > (8 << 20) && std::thread::hardware_concurrency() > 1) {
        std::string ignored;
        UniqueFile file = OpenForReading(m_path, ignored);
        const long long middle = m_dataStart + (m_fileSize - m_dataStart) / 2;
        if (file && std::fseek(file.get(), middle, SEEK_SET) == 0) {
            int c;
            long long at = middle;
            while ((c = std::fgetc(file.get())) != EOF && c != '\n' && c != '\r')
                ++at;
            split = c == EOF ? m_fileSize : at + 1;
        }
    }
    bool ok = true;
    if (split < m_fileSize) {
        MinMaxColumns later(low, high, loadColumns, seriesCount);
        ScanState second = fresh(later);
        bool secondOk = true;
        std::thread helper([&] { secondOk = Scan(split, m_fileSize, second); });
        ok = Scan(m_dataStart, split, first);
        helper.join();
        ok = ok && secondOk;
        if (second.lines > 0) {
            m_loaded.Merge(later);
            for (size_t i = 0; i < first.offsets.size(); ++i) {
                if (first.offsets[i] < 0)
                    first.offsets[i] = second.offsets[i];
            }
            for (size_t i = 0; i < first.hasValues.size(); ++i)
                first.hasValues[i] = first.hasValues[i] || second.hasValues[i];
            first.monotonic = first.monotonic && second.monotonic &&
                              (first.lines == 0 || second.firstX >= first.lastX);
            first.seenMin = first.lines ? std::min(first.seenMin, second.seenMin) : second.seenMin;
            first.seenMax = first.lines ? std::max(first.seenMax, second.seenMax) : second.seenMax;
            first.lines += second.lines;
        }
    } else {
        ok = Scan(m_dataStart, m_fileSize, first);
    }
    if (!ok)
        return false;

    m_lines = first.lines;
    m_monotonic = first.monotonic;
    m_hasValues = first.hasValues;
    m_offsets = std::move(first.offsets);
    // A column without lines starts where the next one does.
    long long next = m_fileSize;
    for (size_t i = m_offsets.size(); i-- > 0;) {
        if (m_offsets[i] < 0)
            m_offsets[i] = next;
        next = m_offsets[i];
    }
    if (m_lines > 0) {
        // Times outside the range of the first and the last line: the caller reads again.
        m_xMin = std::min(m_xMin, first.seenMin);
        m_xMax = std::max(m_xMax, first.seenMax);
    }
    return true;
}

bool PlotData::Scan(long long from, long long to, ScanState& state) const {
    std::string ignored;
    UniqueFile file = OpenForReading(m_path, ignored);
    if (!file || std::fseek(file.get(), from, SEEK_SET) != 0)
        return false;
    MinMaxColumns& into = *state.into;
    const bool load = state.load;
    const int seriesCount = static_cast<int>(m_series.size());
    const int columnCount = static_cast<int>(m_columnSeries.size());
    const int* columnSeries = m_columnSeries.data();
    char* hasValues = state.hasValues.data();
    std::vector<double> values(static_cast<size_t>(seriesCount));
    state.seenMin = std::numeric_limits<double>::infinity();
    state.seenMax = -std::numeric_limits<double>::infinity();
    state.monotonic = true;
    state.lines = 0;

    // The time decides the column every value of the line goes to: when it comes first (as
    // the converter writes it) the values go there as they are read, else they wait.
    const bool timeFirst = m_timeColumn == 0;
    auto line = [&](const char* p, const char* end, long long offset) {
        if (end == p)
            return;
        double x = kNaN;
        int target = -1;
        auto place = [&]() {
            if (std::isnan(UsableTime(x)))
                return false; // a line without a time has no place on the plot
            if (load) {
                if (state.lines == 0)
                    state.firstX = x;
                state.monotonic = state.monotonic && (state.lines == 0 || x >= state.lastX);
                state.lastX = x;
                ++state.lines;
                state.seenMin = std::min(state.seenMin, x);
                state.seenMax = std::max(state.seenMax, x);
                target = into.ColumnOf(x);
                if (state.offsets[static_cast<size_t>(target)] < 0)
                    state.offsets[static_cast<size_t>(target)] = offset;
                return true;
            }
            if (x < state.low || x > state.high)
                return false;
            target = into.ColumnOf(x);
            return true;
        };
        if (timeFirst) {
            p = ReadCell(p, end, x);
            if (!place())
                return;
        } else {
            std::fill(values.begin(), values.end(), kNaN);
        }
        int column = timeFirst ? 1 : 0;
        if (timeFirst && p != end)
            ++p;
        else if (timeFirst)
            column = columnCount; // the line holds the time only
        for (; column < columnCount; ++column) {
            const int series = columnSeries[column];
            if (series >= 0) {
                double y;
                p = ReadCell(p, end, y);
                if (timeFirst) {
                    into.Add(target, series, y);
                    hasValues[series] |= static_cast<char>(y == y);
                } else {
                    values[static_cast<size_t>(series)] = y;
                }
            } else if (column == m_timeColumn) {
                p = ReadCell(p, end, x);
            } else {
                const auto* comma = static_cast<const char*>(std::memchr(p, ',', end - p));
                p = comma ? comma : end;
            }
            if (p == end) {
                ++column;
                break;
            }
            ++p;
        }
        if (timeFirst) {
            // Cells missing at the end of a short line are empty.
            for (; column < columnCount; ++column) {
                if (columnSeries[column] >= 0)
                    into.Add(target, columnSeries[column], kNaN);
            }
            return;
        }
        if (!place())
            return;
        for (int series = 0; series < seriesCount; ++series) {
            const double y = values[static_cast<size_t>(series)];
            into.Add(target, series, y);
            hasValues[series] |= static_cast<char>(y == y);
        }
    };

    // No more than the stretch needs: a small file or a short zoom is read with a small buffer.
    const auto chunk = static_cast<size_t>(
        std::clamp<long long>(to - from, 1, static_cast<long long>(kReadChunk)));
    CsvLineReader lines(FileSource(file.get(), to - from), chunk, CsvLineEnds::Any);
    const char* first = nullptr;
    const char* last = nullptr;
    while (lines.Next(first, last))
        line(first, last, from + lines.LineOffset());
    return !lines.Failed();
}

std::vector<std::vector<PlotSegment>> PlotData::Reduce(const std::vector<int>& series, double x0,
                                                       double x1, int columns) {
    std::vector<std::vector<PlotSegment>> result;
    if (m_series.empty() || m_loaded.Columns() == 0)
        return std::vector<std::vector<PlotSegment>>(series.size());
    columns = std::max(columns, 1);
    x0 = std::max(x0, m_xMin);
    x1 = std::min(x1, m_xMax);
    if (x1 < x0)
        x1 = x0;
    const double loadedWidth = (m_xMax - m_xMin) / m_loaded.Columns();
    if ((x1 - x0) / loadedWidth >= columns) {
        for (int s : series)
            result.push_back(m_loaded.MergedSegments(s, x0, x1, columns));
        return result;
    }
    // Finer than the loaded columns: read the lines of this stretch again.
    MinMaxColumns fine(x0, x1, columns, static_cast<int>(m_series.size()));
    ScanState state;
    state.into = &fine;
    state.low = x0;
    state.high = x1;
    state.hasValues.assign(m_series.size(), 0);
    long long from = m_dataStart;
    long long to = m_fileSize;
    if (m_monotonic) {
        from = m_offsets[static_cast<size_t>(m_loaded.ColumnOf(x0))];
        to = m_offsets[static_cast<size_t>(m_loaded.ColumnOf(x1)) + 1];
    }
    Scan(from, to, state);
    for (int s : series)
        result.push_back(fine.Segments(s));
    return result;
}
