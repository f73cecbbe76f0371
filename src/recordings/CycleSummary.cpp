#include "recordings/CycleSummary.h"

#include "hardware/HardwareDescription.h"
#include "recordings/ConvertFile.h"
#include "recordings/CsvReader.h"
#include "recordings/NumberFormat.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kScaleDigits = 6; // millionths
constexpr int kFittingWholeDigits = 12;
constexpr int64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
constexpr size_t kFlushSize = size_t{1} << 16;

// A plain decimal number: an optional '-', digits, and optionally '.' with more digits; the
// only numbers a converted file holds. False for anything else ("--", text, an empty cell).
bool ParseDecimal(std::string_view text, int64_t& micro, bool& fits, bool& negative) {
    const char* p = text.data();
    const char* const end = p + text.size();
    negative = p != end && *p == '-';
    p += negative;
    const char* const whole = p;
    uint64_t value = 0; // wraps for long texts, which are then compared by their digits
    while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
        value = value * 10 + static_cast<unsigned>(*p++ - '0');
    }
    const ptrdiff_t wholeDigits = p - whole;
    ptrdiff_t fractionDigits = 0;
    if (wholeDigits == 0) {
        return false;
    }
    if (p != end) {
        if (*p != '.') {
            return false;
        }
        const char* const fraction = ++p;
        while (p != end && static_cast<unsigned char>(*p - '0') < 10) {
            value = value * 10 + static_cast<unsigned>(*p++ - '0');
        }
        fractionDigits = p - fraction;
        if (fractionDigits == 0 || p != end) {
            return false;
        }
    }
    fits = wholeDigits <= kFittingWholeDigits && fractionDigits <= kScaleDigits;
    if (fits) {
        const int64_t scaled = static_cast<int64_t>(value) * kPow10[kScaleDigits - fractionDigits];
        micro = negative ? -scaled : scaled;
    }
    return true;
}

int FractionDigits(std::string_view text) {
    const size_t dot = text.find('.');
    return dot == std::string_view::npos ? 0 : static_cast<int>(text.size() - dot - 1);
}

// Order of two decimal texts of any length, digit by digit.
int CompareDigits(std::string_view a, std::string_view b) {
    struct Parts {
        bool negative;
        std::string_view whole, fraction;
    };
    auto split = [](std::string_view text) {
        Parts parts{!text.empty() && text[0] == '-', {}, {}};
        text.remove_prefix(parts.negative);
        const size_t dot = text.find('.');
        parts.whole = text.substr(0, dot);
        parts.fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
        while (!parts.whole.empty() && parts.whole[0] == '0')
            parts.whole.remove_prefix(1);
        while (!parts.fraction.empty() && parts.fraction.back() == '0')
            parts.fraction.remove_suffix(1);
        return parts;
    };
    const Parts x = split(a), y = split(b);
    if (x.negative != y.negative) {
        return x.negative ? -1 : 1;
    }
    int order = 0;
    if (x.whole.size() != y.whole.size()) {
        order = x.whole.size() < y.whole.size() ? -1 : 1;
    } else if (const int c = x.whole.compare(y.whole); c != 0) {
        order = c < 0 ? -1 : 1;
    } else if (const int f = x.fraction.compare(y.fraction); f != 0) {
        order = f < 0 ? -1 : 1; // no trailing zeros: a longer equal start is larger
    }
    return x.negative ? -order : order;
}

int Compare(std::string_view text, int64_t micro, bool fits, bool negative,
            const CycleSummary::Number& kept) {
    if (fits && kept.fits) {
        if (micro != kept.micro)
            return micro < kept.micro ? -1 : 1;
        return negative == kept.negative ? 0 : (negative ? -1 : 1);
    }
    return CompareDigits(text, kept.text);
}

void Keep(CycleSummary::Number& number, std::string_view text, int64_t micro, bool fits,
          bool negative) {
    number.text.assign(text);
    number.micro = micro;
    number.fits = fits;
    number.negative = negative;
}

void Update(CycleSummary::Extremes& extremes, std::string_view text) {
    int64_t micro = 0;
    bool fits = false;
    bool negative = false;
    if (text.empty() || !ParseDecimal(text, micro, fits, negative)) {
        return;
    }
    if (!extremes.any) {
        extremes.any = true;
        Keep(extremes.max, text, micro, fits, negative);
        Keep(extremes.min, text, micro, fits, negative);
        return;
    }
    // The first of equal texts stays.
    if (Compare(text, micro, fits, negative, extremes.max) > 0) {
        Keep(extremes.max, text, micro, fits, negative);
    } else if (extremes.withMinimum && Compare(text, micro, fits, negative, extremes.min) < 0) {
        Keep(extremes.min, text, micro, fits, negative);
    }
}

// Doubles as integers in the order of their texts: -0.0 below 0.0 (written "-0" and "0"), and
// every finite value between the keys of the infinities, which are written as empty cells.
constexpr int64_t OrderKey(double value) {
    const auto bits = std::bit_cast<int64_t>(value);
    return bits ^ ((bits >> 63) & std::numeric_limits<int64_t>::max());
}

double ValueOfKey(int64_t key) {
    return std::bit_cast<double>(key ^ ((key >> 63) & std::numeric_limits<int64_t>::max()));
}

constexpr int64_t kNoHighKey = OrderKey(-std::numeric_limits<double>::infinity());
constexpr int64_t kNoLowKey = OrderKey(std::numeric_limits<double>::infinity());

// Without branches: which values raise a maximum is as random as the data. Keys beyond the
// infinities' are NaNs.
[[gnu::always_inline]] inline void KeepHighKey(int64_t& high, double value) {
    const int64_t key = OrderKey(value);
    high = ((key > high) & (key < kNoLowKey)) ? key : high;
}

[[gnu::always_inline]] inline void KeepLowKey(int64_t& low, double value) {
    const int64_t key = OrderKey(value);
    low = ((key < low) & (key > kNoHighKey)) ? key : low;
}

std::string UnsignedText(uint32_t value) {
    char text[16];
    return std::string(text, fastnum::FormatUnsigned(text, value));
}

// The text the converter wrote for `value` with `decimals` decimals.
void SettleNumber(CycleSummary::Number& number, double value, int decimals) {
    char text[fastnum::kMaxFixedLength + 8];
    char* end = text;
    switch (decimals) {
    case 0:
        end = fastnum::FormatFixedOrEmpty<0>(text, value);
        break;
    case 1:
        end = fastnum::FormatFixedOrEmpty<1>(text, value);
        break;
    case 2:
        end = fastnum::FormatFixedOrEmpty<2>(text, value);
        break;
    case 3:
        end = fastnum::FormatFixedOrEmpty<3>(text, value);
        break;
    case 4:
        end = fastnum::FormatFixedOrEmpty<4>(text, value);
        break;
    default:
        end = text + std::snprintf(text, sizeof text, "%.*f", decimals, value);
        break;
    }
    number.text.assign(text, end);
    ParseDecimal(number.text, number.micro, number.fits, number.negative);
}

// max - min with the decimals of the column's cells.
std::string Amplitude(const CycleSummary::Extremes& position) {
    const int decimals =
        std::max(FractionDigits(position.max.text), FractionDigits(position.min.text));
    if (position.max.fits && position.min.fits && decimals <= kScaleDigits) {
        const uint64_t units = static_cast<uint64_t>(position.max.micro - position.min.micro) /
                               static_cast<uint64_t>(kPow10[kScaleDigits - decimals]);
        std::string digits = std::to_string(units);
        if (decimals == 0) {
            return digits;
        }
        if (digits.size() <= static_cast<size_t>(decimals)) {
            digits.insert(0, static_cast<size_t>(decimals) + 1 - digits.size(), '0');
        }
        digits.insert(digits.size() - static_cast<size_t>(decimals), 1, '.');
        return digits;
    }
    // Beyond what any position reaches; long double keeps it close.
    const long double difference = std::strtold(position.max.text.c_str(), nullptr) -
                                   std::strtold(position.min.text.c_str(), nullptr);
    char text[512];
    std::snprintf(text, sizeof text, "%.*Lf", decimals, difference);
    return text;
}

std::string WellTitle(const char* before, int well, const char* after) {
    return std::string(before) + std::to_string(well) + after;
}

} // namespace

CycleSummary::CycleSummary(fs::path target) : m_file(std::move(target)) {
    m_extremes.resize(1 + 3 * kWellCount);
    for (int k = 0; k < kWellCount; ++k) {
        m_extremes[1 + 3 * k].withMinimum = true;
    }
}

bool CycleSummary::Open() {
    if (!m_file.Open()) {
        return false;
    }
    m_out = "Set,Set Name,Cycle,Start (mS),End (mS),Samples,Max Pressure (MPa)";
    for (int well = 1; well <= kWellCount; ++well) {
        m_out += WellTitle(",Max Position ", well, " (um)") +
                 WellTitle(",Min Position ", well, " (um)") +
                 WellTitle(",Amplitude ", well, " (um)") +
                 WellTitle(",Max Force ", well, " (N) (factory)") +
                 WellTitle(",Max Force ", well, " (N) (calibrated)");
    }
    m_out += "\r\n";
    return true;
}

bool CycleSummary::Header(const std::string_view* titles, size_t count) {
    auto column = [&](int code) {
        const std::string title = ColumnTitle(code);
        for (size_t i = 0; i < count; ++i) {
            if (titles[i] == title) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    m_timeColumn = column(ColumnCode::Time);
    m_setColumn = column(ColumnCode::Set);
    m_nameColumn = column(ColumnCode::SetName);
    m_cycleColumn = column(ColumnCode::Cycle);
    m_extremes[0].column = column(ColumnCode::ActualPressure);
    for (int k = 0; k < kWellCount; ++k) {
        m_extremes[1 + 3 * k].column = column(ColumnCode::Position1 + k);
        m_extremes[2 + 3 * k].column = column(ColumnCode::FactoryForce1 + k);
        m_extremes[3 + 3 * k].column = column(ColumnCode::CalibratedForce1 + k);
    }
    m_present.clear();
    for (size_t slot = 0; slot < m_extremes.size(); ++slot) {
        if (m_extremes[slot].column >= 0) {
            m_present.push_back(&m_extremes[slot]);
            m_sourcePresent[slot == 0 ? 0 : 1 + (slot - 1) % 3] = true;
        }
    }
    ResetKeys();
    // Set and Cycle alone are no sign of a converted file: a raw file has them too.
    return !m_present.empty() || m_timeColumn >= 0;
}

void CycleSummary::Row(const std::string_view* cells, size_t count) {
    const auto cell = [cells, count](int column) {
        return column >= 0 && static_cast<size_t>(column) < count ? cells[column]
                                                                  : std::string_view();
    };
    const std::string_view set = cell(m_setColumn);
    const std::string_view cycle = cell(m_cycleColumn);
    if (!m_inCycle || set != m_set || cycle != m_cycle) {
        CloseCycle();
        m_inCycle = true;
        m_set.assign(set);
        m_cycle.assign(cycle);
        m_name.assign(cell(m_nameColumn));
        m_start.assign(cell(m_timeColumn));
    }
    ++m_samples;
    const std::string_view time = cell(m_timeColumn);
    if (time.size() <= sizeof m_endTime) {
        // Every row's time is kept, so this copy is kept cheap.
        if (!time.empty()) // an empty cell may have no storage at all
            std::memcpy(m_endTime, time.data(), time.size());
        m_endTimeSize = time.size();
    } else {
        m_end.assign(time);
        m_endTimeSize = kLongEndTime;
    }
    for (Extremes* extremes : m_present) {
        Update(*extremes, cell(extremes->column));
    }
}

// The cells' texts are those the converter writes: "%u" of the numbers, the name as it is.
void CycleSummary::Record(const DataRecord& record) {
    const uint32_t set = m_setColumn >= 0 ? static_cast<uint32_t>(record.set) : 0;
    const uint32_t cycle = m_cycleColumn >= 0 ? static_cast<uint32_t>(record.cycle) : 0;
    if (!m_inCycle || set != m_setNumber || cycle != m_cycleNumber) {
        CloseCycle();
        m_inCycle = true;
        m_setNumber = set;
        m_cycleNumber = cycle;
        m_set = m_setColumn >= 0 ? UnsignedText(set) : std::string();
        m_cycle = m_cycleColumn >= 0 ? UnsignedText(cycle) : std::string();
        m_name = m_nameColumn >= 0 ? record.name : std::string();
        m_start =
            m_timeColumn >= 0 ? UnsignedText(static_cast<uint32_t>(record.time)) : std::string();
    }
    ++m_samples;
    m_endNumber = static_cast<uint32_t>(record.time);
    m_endTimeSize = m_timeColumn >= 0 ? kNumberEndTime : 0;
    // Only the positions need their minimum (for the amplitude). The loops are unrolled: this
    // runs for every line of the full file.
    if (m_sourcePresent[0]) {
        KeepHighKey(m_keys[0].high[0], record.actualPressure);
    }
    if (m_sourcePresent[1]) {
        KeyRange& keys = m_keys[1];
#pragma GCC unroll 9
        for (int well = 0; well < kWellCount; ++well) {
            KeepHighKey(keys.high[well], record.position[well]);
            KeepLowKey(keys.low[well], record.position[well]);
        }
    }
    if (m_sourcePresent[2]) {
        KeyRange& keys = m_keys[2];
#pragma GCC unroll 9
        for (int well = 0; well < kWellCount; ++well) {
            KeepHighKey(keys.high[well], record.force[well]);
        }
    }
    if (m_sourcePresent[3]) {
        KeyRange& keys = m_keys[3];
#pragma GCC unroll 9
        for (int well = 0; well < kWellCount; ++well) {
            KeepHighKey(keys.high[well], record.calibratedForce[well]);
        }
    }
}

void CycleSummary::ResetKeys() {
    for (KeyRange& keys : m_keys) {
        std::fill(std::begin(keys.high), std::end(keys.high), kNoHighKey);
        std::fill(std::begin(keys.low), std::end(keys.low), kNoLowKey);
    }
}

// The converter's cells are its numbers in fixed point; rounding keeps their order, so the
// greatest number's text is the greatest text (the first of equal texts is the same text).
void CycleSummary::SettleRecordFields() {
    static constexpr int kDecimals[] = {kPressureDecimals, kPositionDecimals, kForceDecimals,
                                        kForceDecimals};
    for (size_t slot = 0; slot < m_extremes.size(); ++slot) {
        const size_t source = slot == 0 ? 0 : 1 + (slot - 1) % 3;
        const size_t well = slot == 0 ? 0 : (slot - 1) / 3;
        const int64_t high = m_keys[source].high[well];
        Extremes& extremes = m_extremes[slot];
        if (extremes.column >= 0 && high != kNoHighKey) {
            extremes.any = true;
            SettleNumber(extremes.max, ValueOfKey(high), kDecimals[source]);
            if (extremes.withMinimum)
                SettleNumber(extremes.min, ValueOfKey(m_keys[source].low[well]), kDecimals[source]);
        }
    }
    ResetKeys();
}

void CycleSummary::CloseCycle() {
    if (!m_inCycle) {
        return;
    }
    m_out.append(m_set).append(",").append(m_name).append(",").append(m_cycle);
    m_out.append(",").append(m_start).append(",");
    if (m_endTimeSize == kLongEndTime)
        m_out.append(m_end);
    else if (m_endTimeSize == kNumberEndTime)
        m_out.append(UnsignedText(m_endNumber));
    else
        m_out.append(m_endTime, m_endTimeSize);
    m_out.append(",").append(std::to_string(m_samples));
    // Records leave their extremes as keys (rows from a file have none).
    SettleRecordFields();
    auto max = [this](const Extremes& extremes) {
        m_out += ',';
        if (extremes.any) {
            m_out += extremes.max.text;
        }
    };
    max(m_extremes[0]);
    for (int k = 0; k < kWellCount; ++k) {
        const Extremes& position = m_extremes[1 + 3 * k];
        max(position);
        m_out += ',';
        if (position.any) {
            m_out.append(position.min.text).append(",").append(Amplitude(position));
        } else {
            m_out += ',';
        }
        max(m_extremes[2 + 3 * k]);
        max(m_extremes[3 + 3 * k]);
    }
    m_out += "\r\n";
    for (Extremes& extremes : m_extremes) {
        extremes.any = false;
    }
    m_samples = 0;
    m_inCycle = false;
    if (m_out.size() >= kFlushSize) {
        m_file.Write(m_out); // a failure is kept and reported by Commit()
        m_out.clear();
    }
}

bool CycleSummary::Commit() {
    CloseCycle();
    m_file.Write(m_out);
    m_out.clear();
    return m_file.Commit();
}

namespace {

// Hands the cells of each non-empty line of `path` to `take` until it returns false. False, with
// `error`, when the file cannot be read.
bool ForEachLineCells(const fs::path& path,
                      const std::function<bool(const std::vector<std::string_view>&)>& take,
                      std::string& error) {
    const UniqueFile file = OpenCsvFile(path, true, error);
    if (!file)
        return false;
    CsvLineReader reader(FileSource(file.get()), size_t{1} << 20, CsvLineEnds::Any);
    std::vector<std::string_view> cells;
    const char* first = nullptr;
    const char* last = nullptr;
    while (reader.Next(first, last)) {
        if (first == last)
            continue;
        cells.clear();
        for (const char* field = first;;) {
            const char* end = CsvFieldEnd(field, last);
            cells.emplace_back(field, static_cast<size_t>(end - field));
            if (end == last)
                break;
            field = end + 1;
        }
        if (!take(cells))
            return true;
    }
    if (reader.Failed()) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

int SummarizeFullFile(const fs::path& full, const fs::path& summaryPath, std::string& error,
                      int* errorNumber) {
    CycleSummary summary(summaryPath);
    const auto cannotWrite = [&] {
        error = summary.Error();
        if (errorNumber)
            *errorNumber = summary.ErrorNumber();
        return -2;
    };
    if (!summary.Open())
        return cannotWrite();
    bool header = true;
    bool known = false;
    const bool read = ForEachLineCells(
        full,
        [&](const std::vector<std::string_view>& cells) {
            if (!header) {
                summary.Row(cells.data(), cells.size());
                return true;
            }
            header = false;
            known = summary.Header(cells.data(), cells.size());
            return known;
        },
        error);
    if (!read)
        return -1;
    if (!known) {
        error = "its first line names no column of a converted file";
        return -3;
    }
    return summary.Commit() ? 0 : cannotWrite();
}

fs::path DefaultSummaryPath(const fs::path& full) {
    std::string name = full.filename().string();
    const size_t at = name.rfind("_Full");
    if (at != std::string::npos) {
        name.replace(at, 5, "_Summary");
    } else {
        const std::string extension = full.extension().string();
        name = full.stem().string() + "_Summary" + extension;
    }
    return full.parent_path() / name;
}
