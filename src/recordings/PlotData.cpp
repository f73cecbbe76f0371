#include "recordings/PlotData.h"

#include "recordings/ConvertFile.h"

#include "common/RegularFile.h"

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
    const auto* comma = static_cast<const char*>(std::memchr(p, ',', last - p));
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
UniqueFile OpenForReading(const fs::path& path) {
    std::string ignored;
    return OpenRegularFile(path, ignored);
}

// The next line (without its line end) from the reader's position; a line ends at a line feed,
// a carriage return or both, as in every text the program reads. False at the end of the file
// or when the line grows beyond `limit` bytes.
bool ReadLine(std::FILE* file, std::string& line, size_t limit) {
    line.clear();
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n' && c != '\r') {
        if (line.size() == limit)
            return false;
        line.push_back(static_cast<char>(c));
    }
    if (c == '\r') {
        const int next = std::fgetc(file);
        if (next != '\n' && next != EOF)
            std::ungetc(next, file);
    }
    return c != EOF || !line.empty();
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

// --- reduction ---------------------------------------------------------------------------------

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
    UniqueFile file = OpenRegularFile(path, why);
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
    std::string header;
    if (!ReadLine(file.get(), header, kMaxHeader)) {
        if (!std::ferror(file.get()))
            return notConverted(); // empty, or a first line no header has
        error = "Cannot read " + path.string();
        return false;
    }
    m_dataStart = std::ftell(file.get());

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
    std::string_view rest(header);
    for (int column = 0;; ++column) {
        const size_t comma = rest.find(',');
        const std::string title(rest.substr(0, comma));
        int series = -1;
        if (title == ColumnTitle(ColumnCode::Time) && m_timeColumn < 0) {
            m_timeColumn = column;
        } else {
            const auto k = std::find_if(known.begin(), known.end(),
                                        [&](const Known& each) { return each.title == title; });
            if (k != known.end()) {
                series = static_cast<int>(m_series.size());
                m_series.push_back({k->quantity, k->well, column, title});
                known.erase(k);
            }
        }
        m_columnSeries.push_back(series);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    if (m_timeColumn < 0)
        return notConverted();

    // The time range from the first and the last line; a file whose times are not in order is
    // read a second time with the range it really has.
    std::string first;
    while (ReadLine(file.get(), first, std::numeric_limits<size_t>::max()) && first.empty()) {
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
        UniqueFile file = OpenForReading(m_path);
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
    UniqueFile file = OpenForReading(m_path);
    if (!file || std::fseek(file.get(), from, SEEK_SET) != 0)
        return false;
    MinMaxColumns& into = *state.into;
    const bool load = state.load;
    const int seriesCount = static_cast<int>(m_series.size());
    const int columnCount = static_cast<int>(m_columnSeries.size());
    const int* columnSeries = m_columnSeries.data();
    char* hasValues = state.hasValues.data();
    std::vector<double> values(static_cast<size_t>(seriesCount));
    // No more than the stretch needs: a small file or a short zoom is read with a small buffer.
    std::vector<char> buffer(static_cast<size_t>(
        std::clamp<long long>(to - from, 1, static_cast<long long>(kReadChunk))));
    size_t kept = 0;
    long long bufferStart = from; // file offset of buffer[0]
    long long remaining = to - from;
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

    while (remaining > 0 || kept > 0) {
        const size_t want = static_cast<size_t>(
            std::min<long long>(remaining, static_cast<long long>(buffer.size() - kept)));
        const size_t got = want > 0 ? std::fread(buffer.data() + kept, 1, want, file.get()) : 0;
        if (want > 0 && got == 0 && std::ferror(file.get()))
            return false;
        remaining -= static_cast<long long>(got);
        const bool atEnd = remaining <= 0 || got == 0;
        const size_t filled = kept + got;
        const char* p = buffer.data();
        const char* end = p + filled;
        // Lines end at a line feed, a carriage return or both (the pair leaves an empty line
        // behind, which is skipped). Where each of the two comes next is kept, so that a file
        // that never holds one of them is not searched through again for every line.
        const char* nextLf = nullptr;
        const char* nextCr = nullptr;
        const auto find = [&](char c, const char*& next) {
            if (!next || next < p) {
                const void* found = std::memchr(p, c, static_cast<size_t>(end - p));
                next = found ? static_cast<const char*>(found) : end;
            }
            return next;
        };
        for (;;) {
            const char* stop = std::min(find('\n', nextLf), find('\r', nextCr));
            if (stop == end)
                break;
            line(p, stop, bufferStart + (p - buffer.data()));
            p = stop + 1;
        }
        kept = static_cast<size_t>(end - p);
        if (atEnd) {
            if (kept > 0)
                line(p, end, bufferStart + (p - buffer.data())); // no line end after the last
            break;
        }
        // The unfinished line moves to the front before the buffer may grow: growing moves the
        // buffer, and `p` points into it.
        bufferStart += static_cast<long long>(p - buffer.data());
        std::memmove(buffer.data(), p, kept);
        if (kept == buffer.size())
            buffer.resize(buffer.size() * 2); // a line longer than the buffer
    }
    return true;
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
