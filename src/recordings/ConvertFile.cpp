#include "recordings/ConvertFile.h"

#include "common/AtomicFile.h"
#include "mathematics/ApprPolynomial2.h"
#include "recordings/CycleSummary.h"
#include "recordings/ForceModel.h"
#include "recordings/NumberFormat.h"
#include "recordings/SpringModel.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Ratios of the spring correction are kept between these bounds; the lower one has always been
// the single-precision 0.1.
constexpr double kRatioLow = static_cast<double>(0.1f);
constexpr double kRatioHigh = 10.0;
constexpr double kFactorLow = 0.1;
constexpr double kFactorHigh = 10.0;

constexpr size_t kReadChunk = size_t{1} << 20;
// Bytes kept readable in front of and behind the input text, so that fields can be scanned and
// numbers read a word at a time.
constexpr size_t kReadPad = 8;
// Output goes out in pieces small enough to stay in the cache while the kernel copies them.
constexpr size_t kWriteBuffer = size_t{1} << 17;

bool IsWell(int code, int first) {
    return code >= first && code < first + kWellCount;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr OpenFile(const std::filesystem::path& path, const char* mode) {
#if defined(_WIN32)
    // Wide names, so that folders outside the ANSI code page open too.
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return FilePtr(_wfopen(path.c_str(), wideMode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

// Hands out the input's lines without the line end, reading large chunks. The first line end
// decides how every line ends: "\n" or "\r\n", or a bare "\r".
class LineReader {
public:
    explicit LineReader(const ConvertSource& source)
        : m_source(source), m_buffer(kReadPad + kReadChunk + kReadPad, '0') {}

    bool Next(const char*& first, const char*& last) {
        for (;;) {
            char* begin = m_buffer.data() + m_begin;
            const size_t available = m_end - m_begin;
            if (m_separator == 0 && !DecideSeparator(begin, available)) {
                Refill();
                continue;
            }
            auto* newline = static_cast<char*>(std::memchr(begin, m_separator, available));
            if (newline != nullptr) {
                first = begin;
                last = newline;
                m_begin += static_cast<size_t>(newline - begin) + 1;
                TrimCarriageReturn(first, last);
                return true;
            }
            if (m_atEnd) {
                if (available == 0) {
                    return false;
                }
                // The last line may lack its line end.
                first = begin;
                last = begin + available;
                m_begin = m_end;
                TrimCarriageReturn(first, last);
                return true;
            }
            Refill();
        }
    }

    bool Failed() const { return m_failed; }

private:
    // False when the buffer does not show yet how lines end.
    bool DecideSeparator(const char* begin, size_t available) {
        const void* cr = std::memchr(begin, '\r', available);
        const void* lf = std::memchr(begin, '\n', available);
        const char* end = begin + available;
        if (cr != nullptr && (lf == nullptr || cr < lf)) {
            const char* after = static_cast<const char*>(cr) + 1;
            if (after == end && !m_atEnd) {
                return false; // a line feed may follow in the next chunk
            }
            m_separator = after != end && *after == '\n' ? '\n' : '\r';
            return true;
        }
        if (lf != nullptr || m_atEnd) {
            m_separator = '\n';
            return true;
        }
        return false;
    }

    static void TrimCarriageReturn(const char* first, const char*& last) {
        if (last != first && last[-1] == '\r') {
            --last;
        }
    }

    void Refill() {
        // Keep the unfinished line at the front; a line longer than the buffer grows it.
        const size_t kept = m_end - m_begin;
        if (m_begin > kReadPad && kept > 0) {
            std::memmove(m_buffer.data() + kReadPad, m_buffer.data() + m_begin, kept);
        }
        m_begin = kReadPad;
        m_end = kReadPad + kept;
        if (m_buffer.size() - kReadPad - m_end < kReadChunk / 2) {
            m_buffer.resize(m_buffer.size() * 2);
        }
        const long long got = m_source(m_buffer.data() + m_end, m_buffer.size() - kReadPad - m_end);
        if (got <= 0) {
            m_atEnd = true;
            m_failed = got < 0;
            return;
        }
        m_end += static_cast<size_t>(got);
    }

    const ConvertSource& m_source;
    std::vector<char> m_buffer;
    size_t m_begin = kReadPad;
    size_t m_end = kReadPad;
    bool m_atEnd = false;
    bool m_failed = false;
    char m_separator = 0; // not known yet
};

// The end of the field that starts at `field`: the next comma, or `last`. The eight bytes from
// `field` on may be read (the reader's buffer has room behind the text).
const char* FieldEnd(const char* field, const char* last) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t word;
        std::memcpy(&word, field, 8);
        const uint64_t commas = word ^ uint64_t { 0x2C2C2C2C2C2C2C2C };
        // The lowest byte that was a comma has its top bit set here.
        const uint64_t found =
            (commas - uint64_t{0x0101010101010101}) & ~commas & uint64_t{0x8080808080808080};
        if (found != 0) {
            const char* comma = field + std::countr_zero(found) / 8;
            return comma < last ? comma : last;
        }
        if (last - field <= 8) {
            return last;
        }
        field += 8;
    }
    const auto* comma =
        static_cast<const char*>(std::memchr(field, ',', static_cast<size_t>(last - field)));
    return comma != nullptr ? comma : last;
}

// Whether a line holds a byte that no text of test data has: a control character other than a
// tab or a line end (a file may mix line ends, so one can be left inside a line). Binary
// garbage holds them on nearly every line. Read a word at a time, as every line is looked at.
bool HoldsControlByte(const char* first, const char* last) {
    const auto control = [](unsigned char c) {
        return (c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F;
    };
    const char* p = first;
    for (; last - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        const uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
        const uint64_t below = (word - 0x20 * ones) & ~word & highs; // some byte < 0x20
        const uint64_t del = word ^ (0x7F * ones);
        if ((below | ((del - ones) & ~del & highs)) == 0)
            continue;
        for (int i = 0; i < 8; ++i) {
            if (control(static_cast<unsigned char>(p[i])))
                return true;
        }
    }
    for (; p != last; ++p) {
        if (control(static_cast<unsigned char>(*p)))
            return true;
    }
    return false;
}

// A card's unwritten space reads as zero bytes: a file cut off by a power loss ends in them.
void TrimTrailingZeros(const char* first, const char*& last) {
    while (last != first && last[-1] == '\0') {
        --last;
    }
}

// Collects output text in one large buffer and writes it out in big pieces.
class OutputBuffer {
public:
    explicit OutputBuffer(std::FILE* file) : m_file(file), m_buffer(kWriteBuffer) {}

    // Room for `size` more bytes at Cursor().
    char* Reserve(size_t size) {
        if (m_buffer.size() - m_used < size) {
            Flush();
            if (m_buffer.size() < size) {
                m_buffer.resize(size);
            }
        }
        return m_buffer.data() + m_used;
    }
    void Commit(char* end) { m_used = static_cast<size_t>(end - m_buffer.data()); }

    void Append(const char* text, size_t size) {
        char* at = Reserve(size);
        std::memcpy(at, text, size);
        Commit(at + size);
    }
    void Append(std::string_view text) { Append(text.data(), text.size()); }

    void Flush() {
        if (m_used > 0 && std::fwrite(m_buffer.data(), 1, m_used, m_file) != m_used && !m_failed) {
            m_failed = true;
            m_error = errno;
        }
        m_used = 0;
    }

    bool Failed() const { return m_failed; }
    int Error() const { return m_error; }

private:
    std::FILE* m_file;
    std::vector<char> m_buffer;
    size_t m_used = 0;
    bool m_failed = false;
    int m_error = 0;
};

// Writes one record's cells for the output codes, comma separated, ending with "\r\n".
// A value the hardware could not give (NaN) or that is not finite is written as an empty cell.
class RecordWriter {
public:
    RecordWriter(OutputBuffer& out, const std::vector<int>& codes, CycleSummary* summary)
        : m_out(out), m_summary(summary), m_ends(codes.size()), m_views(codes.size()),
          m_values(codes.size()) {
        // Decoded once, so that the per-record loop is a plain switch.
        for (int code : codes) {
            Cell cell{};
            int well = 0;
            if (IsWell(code, ColumnCode::Position1)) {
                cell = Cell::Position;
                well = code - ColumnCode::Position1;
            } else if (IsWell(code, ColumnCode::FactoryForce1)) {
                cell = Cell::Force;
                well = code - ColumnCode::FactoryForce1;
            } else if (IsWell(code, ColumnCode::CalibratedForce1)) {
                cell = Cell::Calibrated;
                well = code - ColumnCode::CalibratedForce1;
            } else {
                switch (code) {
                case ColumnCode::Time:
                    cell = Cell::Time;
                    break;
                case ColumnCode::Set:
                    cell = Cell::Set;
                    break;
                case ColumnCode::Cycle:
                    cell = Cell::Cycle;
                    break;
                case ColumnCode::SetName:
                    cell = Cell::Name;
                    break;
                case ColumnCode::SpecifiedPressure:
                    cell = Cell::SpecifiedPressure;
                    break;
                case ColumnCode::ActualPressure:
                    cell = Cell::ActualPressure;
                    break;
                case ColumnCode::SpringForce:
                    cell = Cell::Spring;
                    break;
                default:
                    continue; // never selected for output
                }
            }
            // A well's position, factory and calibrated force usually follow each other: one
            // step writes the three.
            const size_t n = m_cells.size();
            if (cell == Cell::Calibrated && n >= 2 && m_cells[n - 1].cell == Cell::Force &&
                m_cells[n - 1].well == well && m_cells[n - 2].cell == Cell::Position &&
                m_cells[n - 2].well == well) {
                m_cells.resize(n - 2);
                cell = Cell::WellTriple;
            }
            m_cells.push_back({cell, static_cast<uint8_t>(well)});
        }
        m_bound = codes.size() * (fastnum::kMaxFixedLength + 1) + 2;
    }

    void WriteGroup(const std::vector<DataRecord>& group, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            Write(group[i]);
        }
    }

    void Write(const DataRecord& record) {
        char* out = m_out.Reserve(m_bound + record.name.size());
        char* const line = out;
        size_t cells = 0;
        for (const Op& op : m_cells) {
            switch (op.cell) {
            case Cell::Time:
                out = fastnum::FormatUnsigned(out, static_cast<uint32_t>(record.time));
                break;
            case Cell::Set:
                out = fastnum::FormatUnsigned(out, static_cast<uint32_t>(record.set));
                break;
            case Cell::Cycle:
                out = fastnum::FormatUnsigned(out, static_cast<uint32_t>(record.cycle));
                break;
            case Cell::Name:
                std::memcpy(out, record.name.data(), record.name.size());
                out += record.name.size();
                break;
            case Cell::SpecifiedPressure:
                out = Number<4>(out, record.specifiedPressure);
                break;
            case Cell::ActualPressure:
                out = Number<4>(out, record.actualPressure);
                break;
            case Cell::Spring:
                if (record.springForce == kNoSpringForce) {
                    out[0] = '-';
                    out[1] = '-';
                    out += 2;
                } else {
                    out = Number<2>(out, record.springForce);
                }
                break;
            case Cell::Position:
                out = Number<0>(out, record.position[op.well]);
                break;
            case Cell::Force:
                out = Number<2>(out, record.force[op.well]);
                break;
            case Cell::Calibrated:
                out = Number<2>(out, record.calibratedForce[op.well]);
                break;
            case Cell::WellTriple:
                out = Number<0>(out, record.position[op.well]);
                m_ends[cells++] = out;
                *out++ = ',';
                out = Number<2>(out, record.force[op.well]);
                m_ends[cells++] = out;
                *out++ = ',';
                out = Number<2>(out, record.calibratedForce[op.well]);
                break;
            }
            m_ends[cells++] = out;
            *out++ = ',';
        }
        if (m_summary) {
            // The summary reads the cells as they stand in the file.
            const char* start = line;
            for (size_t i = 0; i < cells; ++i) {
                m_views[i] = std::string_view(start, static_cast<size_t>(m_ends[i] - start));
                start = m_ends[i] + 1;
            }
            FillValues(record);
            m_summary->Row(m_views.data(), cells, m_values.data());
        }
        // The last separator becomes the line end.
        if (!m_cells.empty()) {
            --out;
        }
        out[0] = '\r';
        out[1] = '\n';
        m_out.Commit(out + 2);
    }

private:
    // The numbers the line's cells were written from (NaN for cells the summary reads as text),
    // so that it compares numbers instead of parsing every cell again.
    void FillValues(const DataRecord& record) {
        size_t i = 0;
        for (const Op& op : m_cells) {
            switch (op.cell) {
            case Cell::ActualPressure:
                m_values[i++] = record.actualPressure;
                break;
            case Cell::Position:
                m_values[i++] = record.position[op.well];
                break;
            case Cell::Force:
                m_values[i++] = record.force[op.well];
                break;
            case Cell::Calibrated:
                m_values[i++] = record.calibratedForce[op.well];
                break;
            case Cell::WellTriple:
                m_values[i++] = record.position[op.well];
                m_values[i++] = record.force[op.well];
                m_values[i++] = record.calibratedForce[op.well];
                break;
            default:
                m_values[i++] = kNaN;
                break;
            }
        }
    }

    enum class Cell : uint8_t {
        Time,
        Set,
        Cycle,
        Name,
        SpecifiedPressure,
        ActualPressure,
        Spring,
        Position,
        Force,
        Calibrated,
        WellTriple // position, factory force, calibrated force of one well
    };
    struct Op {
        Cell cell;
        uint8_t well;
    };

    template <int Precision> [[gnu::always_inline]] static char* Number(char* out, double value) {
        return fastnum::FormatFixedOrEmpty<Precision>(out, value);
    }

    OutputBuffer& m_out;
    CycleSummary* m_summary;
    std::vector<char*> m_ends; // where each cell of the current line ends
    std::vector<std::string_view> m_views;
    std::vector<double> m_values;
    std::vector<Op> m_cells;
    size_t m_bound = 2;
};

} // namespace

int MapHeader(std::string_view field) {
    struct Keyword {
        std::string_view text;
        int code;
    };
    static constexpr Keyword kKeywords[] = {
        {"Time(mS)", ColumnCode::Time},
        {"Set", ColumnCode::Set},
        {"Name", ColumnCode::SetName},
        {"Cycle", ColumnCode::Cycle},
        {"SpecifiedPressure", ColumnCode::SpecifiedPressure},
        {"Force", ColumnCode::SpecifiedPressure},
        {"ActualPressure", ColumnCode::ActualPressure},
        {"Pressure", ColumnCode::ActualPressure},
        {"Disp1", ColumnCode::Position1 + 0},
        {"Disp2", ColumnCode::Position1 + 1},
        {"Disp3", ColumnCode::Position1 + 2},
        {"Disp4", ColumnCode::Position1 + 3},
        {"Disp5", ColumnCode::Position1 + 4},
        {"Disp6", ColumnCode::Position1 + 5},
        {"Disp7", ColumnCode::Position1 + 6},
        {"Disp8", ColumnCode::Position1 + 7},
        {"Disp9", ColumnCode::Position1 + 8},
    };
    for (const Keyword& keyword : kKeywords) {
        if (field.find(keyword.text) != std::string_view::npos) {
            return keyword.code;
        }
    }
    return ColumnCode::Unrecognised;
}

std::vector<int> SelectColumns(const std::vector<int>& inputCodes, bool hydrostatic,
                               bool springValid, bool springModelValid, bool fullPass) {
    std::vector<int> output;
    for (int code : inputCodes) {
        if (code >= ColumnCode::Time && code <= ColumnCode::Cycle) {
            output.push_back(code);
        } else if (code == ColumnCode::SpecifiedPressure || code == ColumnCode::ActualPressure) {
            if (fullPass || hydrostatic) {
                output.push_back(code);
            }
        } else if (IsWell(code, ColumnCode::Position1) && !hydrostatic) {
            const int k = code - ColumnCode::Position1;
            output.push_back(code);
            output.push_back(ColumnCode::FactoryForce1 + k);
            if (springValid) {
                output.push_back(ColumnCode::CalibratedForce1 + k);
            }
            if (k == 0 && springModelValid && fullPass) {
                output.push_back(ColumnCode::SpringForce);
            }
        }
    }
    return output;
}

std::string ColumnTitle(int code) {
    switch (code) {
    case ColumnCode::Time:
        return "Time (mS)";
    case ColumnCode::Set:
        return "Set";
    case ColumnCode::SetName:
        return "Set Name";
    case ColumnCode::Cycle:
        return "Cycle";
    case ColumnCode::SpecifiedPressure:
        return "Specified Pressure (MPa)";
    case ColumnCode::ActualPressure:
        return "Pressure (MPa)";
    case ColumnCode::SpringForce:
        return "Spring Force (N)";
    default:
        break;
    }
    if (IsWell(code, ColumnCode::Position1)) {
        return "Position " + std::to_string(code - ColumnCode::Position1 + 1) + " (um)";
    }
    if (IsWell(code, ColumnCode::FactoryForce1)) {
        return "Force " + std::to_string(code - ColumnCode::FactoryForce1 + 1) + " (N) (factory)";
    }
    if (IsWell(code, ColumnCode::CalibratedForce1)) {
        return "Force " + std::to_string(code - ColumnCode::CalibratedForce1 + 1) +
               " (N) (calibrated)";
    }
    return std::string();
}

RecordConverter::RecordConverter(ForceModel& model)
    : m_model(model), m_hydrostatic(model.IsHydrostatic()),
      m_springValid(model.Spring() != nullptr && model.Spring()->valid) {
    if (m_springValid) {
        m_springLow = model.Spring()->marginUm;
        m_springHigh = model.Spring()->travelUm - model.Spring()->marginUm;
    }
}

template <bool Padded>
[[gnu::always_inline]] inline void
RecordConverter::ParseFieldAs(int code, const char* first, const char* last, DataRecord& record) {
    auto ParseNumber = [](const char* begin, const char* end) {
        return Padded ? fastnum::ParseLeadingIntPadded(begin, end)
                      : fastnum::ParseLeadingInt(begin, end);
    };
    switch (code) {
    case ColumnCode::Time:
        record.time = ParseNumber(first, last);
        return;
    case ColumnCode::Set:
        record.set = ParseNumber(first, last);
        return;
    case ColumnCode::Cycle:
        record.cycle = ParseNumber(first, last);
        return;
    case ColumnCode::SetName:
        record.name.assign(first, last);
        std::replace(record.name.begin(), record.name.end(), '|', ' ');
        return;
    case ColumnCode::SpecifiedPressure:
        record.specifiedPressure =
            m_model.SpecifiedPressure(ParseNumber(first, last)).value_or(kNaN);
        return;
    case ColumnCode::ActualPressure: {
        const double x = ParseNumber(first, last) / 100.0;
        record.actualPressure = m_model.ActualPressure(x).value_or(kNaN);
        m_model.SetLatestActualPressure(record.actualPressure);
        return;
    }
    default:
        break;
    }
    if (!IsWell(code, ColumnCode::Position1) || m_hydrostatic) {
        return;
    }

    const int k = code - ColumnCode::Position1;
    const double x = ParseNumber(first, last) / 100.0;
    const std::optional<double> computed = m_model.Position(k + 1, x);
    if (!computed) {
        // No position model for this well: nothing that depends on it can be given.
        record.position[k] = kNaN;
        record.force[k] = kNaN;
        if (k == 0 && m_springValid) {
            record.springForce = kNaN;
        }
        return;
    }
    const double position = std::isfinite(*computed) ? *computed : 0.0;
    record.position[k] = position;
    const double pressure = m_model.LatestActualPressure();
    record.force[k] =
        std::isnan(pressure) ? kNaN : m_model.Force(pressure, position).value_or(kNaN);
    if (k == 0 && m_springValid) {
        record.springForce = (m_springLow < position && position < m_springHigh)
                                 ? m_model.Spring()->SpringForce(position)
                                 : kNoSpringForce;
    }
}

void RecordConverter::ParseField(int code, const char* first, const char* last,
                                 DataRecord& record) {
    ParseFieldAs<false>(code, first, last, record);
}

void RecordConverter::ParseBufferedField(int code, const char* first, const char* last,
                                         DataRecord& record) {
    ParseFieldAs<true>(code, first, last, record);
}

void RecordConverter::CorrectGroup(std::vector<DataRecord>& group, size_t count) const {
    if (!m_springValid) {
        return;
    }
    count = std::min(count, group.size());
    const SpringModel& spring = *m_model.Spring();

    // Ratios of measured to spring force while the pressure rises from the group's start.
    std::vector<std::array<double, 2>> pairs;
    int boundedRatios = 0;
    double lastRatio = 0.0;
    double previousPressure = 0.0;
    bool rising = true;
    for (size_t i = 0; i < count; ++i) {
        const DataRecord& record = group[i];
        const double p1 = record.position[0];
        const bool falling = record.specifiedPressure < previousPressure;
        if (falling) {
            rising = false;
        }
        if (m_springLow < p1 && p1 < m_springHigh && !falling && rising) {
            const double ratio = record.force[0] / spring.SpringForce(p1);
            pairs.push_back({p1, ratio});
            if (kRatioLow < ratio && ratio < kRatioHigh) {
                ++boundedRatios;
            }
            lastRatio = ratio;
        }
        previousPressure = record.specifiedPressure;
    }
    if (boundedRatios < 2) {
        return;
    }

    // Calibrated forces use the single last ratio; a useless ratio leaves them empty.
    const bool ratioUsable = lastRatio != 0.0 && std::isfinite(lastRatio);
    for (size_t i = 0; i < count; ++i) {
        DataRecord& record = group[i];
        for (int k = 0; k < kWellCount; ++k) {
            record.calibratedForce[k] = ratioUsable ? record.force[k] / lastRatio : kNaN;
        }
    }

    // The factory forces are corrected by a cubic in position. Without a usable fit they stay
    // as measured rather than being scaled by the clamp bound.
    gte::ApprPolynomial2<double> fit(3);
    std::vector<int> indices(pairs.size());
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = static_cast<int>(i);
    }
    if (!fit.FitVectors(pairs, indices)) {
        return;
    }
    const std::vector<double>& q = fit.GetParameters();
    for (double coefficient : q) {
        if (!std::isfinite(coefficient)) {
            return;
        }
    }
    const double q0 = q[0];
    const double q1 = q[1];
    const double q2 = q[2];
    const double q3 = q[3];
    for (size_t i = 0; i < count; ++i) {
        DataRecord& record = group[i];
        for (int k = 0; k < kWellCount; ++k) {
            double x = record.position[k];
            x = x < m_springLow ? m_springLow : (x > m_springHigh ? m_springHigh : x);
            // Horner's rule from the highest power, as the fitter evaluates.
            double factor = ((q3 * x + q2) * x + q1) * x + q0;
            factor =
                factor < kFactorLow ? kFactorLow : (factor > kFactorHigh ? kFactorHigh : factor);
            record.force[k] /= factor;
        }
    }
}

int ConvertFile(ForceModel& model, const std::filesystem::path& input,
                const std::filesystem::path& output, bool springValid, bool fullPass,
                const ConvertProgress& progress, CycleSummary* summary) {
    FilePtr in = OpenFile(input, "rb");
    if (!in) {
        model.ResetConversion();
        return ConvertInputNotOpened;
    }
    std::FILE* file = in.get();
    const ConvertSource source = [file](char* buffer, size_t capacity) -> long long {
        const size_t got = std::fread(buffer, 1, capacity, file);
        return got == 0 && std::ferror(file) ? -1 : static_cast<long long>(got);
    };
    return ConvertStream(model, source, output, springValid, fullPass, progress, nullptr, summary);
}

int ConvertStream(ForceModel& model, const ConvertSource& source,
                  const std::filesystem::path& output, bool springValid, bool fullPass,
                  const ConvertProgress& progress, int* writeError, CycleSummary* summary) {
    model.ResetConversion();
    LineReader reader(source);
    RecordConverter converter(model);

    // Header: non-empty comma-separated fields. It is read before the output is touched, so
    // that an input that opens but cannot be read (a folder) leaves the output alone.
    std::vector<int> inputCodes;
    const char* first = nullptr;
    const char* last = nullptr;
    bool binaryHeader = false;
    if (reader.Next(first, last)) {
        TrimTrailingZeros(first, last);
        binaryHeader = HoldsControlByte(first, last);
        const char* field = first;
        for (const char* p = first;; ++p) {
            if (p == last || *p == ',') {
                if (p != field) {
                    inputCodes.push_back(
                        MapHeader(std::string_view(field, static_cast<size_t>(p - field))));
                }
                if (p == last) {
                    break;
                }
                field = p + 1;
            }
        }
    }
    if (reader.Failed()) {
        return ConvertInputNotOpened;
    }
    // Without a column it knows, the file is no test data (an empty file has no column at all);
    // nor is a file that is not text.
    if (binaryHeader || std::all_of(inputCodes.begin(), inputCodes.end(),
                                    [](int code) { return code == ColumnCode::Unrecognised; })) {
        return ConvertNotTestData;
    }
    // The output is written beside its target and takes its place only when complete.
    AtomicFile out(output);
    if (!out.Open()) {
        if (writeError) {
            *writeError = out.ErrorNumber();
        }
        return ConvertOutputNotOpened;
    }
    OutputBuffer buffer(out.Stream());

    const std::vector<int> outputCodes = SelectColumns(
        inputCodes, model.IsHydrostatic(), springValid, converter.SpringModelValid(), fullPass);
    std::vector<std::string> titles;
    for (size_t i = 0; i < outputCodes.size(); ++i) {
        if (i > 0) {
            buffer.Append(",");
        }
        titles.push_back(ColumnTitle(outputCodes[i]));
        buffer.Append(titles.back());
    }
    buffer.Append("\r\n");
    if (summary) {
        const std::vector<std::string_view> cells(titles.begin(), titles.end());
        summary->Header(cells.data(), cells.size());
    }

    RecordWriter writer(buffer, outputCodes, summary);
    // Without a correction a record can go out as soon as it is read.
    const bool holdGroups = springValid && converter.SpringModelValid();
    std::vector<DataRecord> group;
    size_t groupSize = 0;
    int groupSet = 1;
    int groupCycle = 1;
    auto closeGroup = [&] {
        if (holdGroups) {
            converter.CorrectGroup(group, groupSize);
            writer.WriteGroup(group, groupSize);
        }
        groupSize = 0;
    };

    // Every record starts like this; a field without an input column keeps its starting value
    // throughout, since only the columns' fields are ever parsed.
    DataRecord initial;
    initial.calibratedForce.fill(kNaN);
    DataRecord single = initial;
    const size_t fieldCount = inputCodes.size();
    bool binary = false;
    while (reader.Next(first, last)) {
        TrimTrailingZeros(first, last);
        if (first == last) {
            continue; // a blank line holds no sample
        }
        if (HoldsControlByte(first, last)) {
            binary = true; // not test data after all: nothing is written
            break;
        }
        const int lines = model.CountDataLine();
        if (lines % 1000 == 0 && progress) {
            progress(lines);
        }

        // With groups held, the line is parsed straight into its place in the group.
        DataRecord* record = &single;
        if (holdGroups) {
            if (groupSize == group.size()) {
                group.push_back(initial);
            }
            record = &group[groupSize];
            record->calibratedForce.fill(kNaN);
        }
        record->name.clear();
        const char* field = first;
        for (size_t i = 0; i < fieldCount; ++i) {
            const char* end = FieldEnd(field, last);
            converter.ParseFieldAs<true>(inputCodes[i], field, end, *record);
            field = end == last ? last : end + 1;
        }
        // Fields beyond the header's count are dropped with their line.

        if (record->set != groupSet || record->cycle != groupCycle) {
            const size_t slot = groupSize;
            closeGroup();
            if (holdGroups && slot != 0) {
                std::swap(group[0], group[slot]);
                record = &group[0];
            }
            groupSet = record->set;
            groupCycle = record->cycle;
        }
        if (holdGroups) {
            ++groupSize;
        } else {
            writer.Write(*record);
        }
    }
    if (binary) {
        return ConvertNotTestData; // the target keeps what it held
    }
    closeGroup();

    buffer.Flush();
    if (reader.Failed()) {
        return ConvertReadFailed; // the target keeps what it held
    }
    if (buffer.Failed() || !out.Commit()) {
        if (writeError) {
            *writeError = buffer.Failed() ? buffer.Error() : out.ErrorNumber();
        }
        return ConvertWriteFailed;
    }
    return ConvertSuccess;
}
