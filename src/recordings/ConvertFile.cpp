#include "recordings/ConvertFile.h"

#include "common/AtomicFile.h"
#include "mathematics/ApprPolynomial2.h"
#include "recordings/CsvReader.h"
#include "recordings/ForceModel.h"
#include "recordings/NumberFormat.h"
#include "recordings/RecordWriter.h"
#include "recordings/SpringModel.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Ratios of the spring correction are kept between these bounds; the lower one has always been
// the single-precision 0.1.
constexpr double kRatioLow = static_cast<double>(0.1f);
constexpr double kRatioHigh = 10.0;
constexpr double kFactorLow = 0.1;
constexpr double kFactorHigh = 10.0;

constexpr size_t kReadChunk = size_t{1} << 20;

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
        } else if (IsWellColumn(code, ColumnCode::Position1) && !hydrostatic) {
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
    if (IsWellColumn(code, ColumnCode::Position1)) {
        return "Position " + std::to_string(code - ColumnCode::Position1 + 1) + " (um)";
    }
    if (IsWellColumn(code, ColumnCode::FactoryForce1)) {
        return "Force " + std::to_string(code - ColumnCode::FactoryForce1 + 1) + " (N) (factory)";
    }
    if (IsWellColumn(code, ColumnCode::CalibratedForce1)) {
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
    if (!IsWellColumn(code, ColumnCode::Position1) || m_hydrostatic) {
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
    std::string ignored;
    const UniqueFile in = OpenCsvFile(input, false, ignored);
    if (!in) {
        model.ResetConversion();
        return ConvertInputNotOpened;
    }
    return ConvertStream(model, FileSource(in.get()), output, springValid, fullPass, progress,
                         nullptr, summary);
}

int ConvertStream(ForceModel& model, const ConvertSource& source,
                  const std::filesystem::path& output, bool springValid, bool fullPass,
                  const ConvertProgress& progress, int* writeError, CycleSummary* summary) {
    model.ResetConversion();
    CsvLineReader reader(source, kReadChunk);
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
        for (const std::string_view field :
             SplitCsvFields(std::string_view(first, static_cast<size_t>(last - first)))) {
            if (!field.empty()) {
                inputCodes.push_back(MapHeader(field));
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
            const char* end = CsvFieldEnd(field, last);
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
