#include "calibration/CalibrationFiles.h"

#include "common/AtomicFile.h"
#include "common/NumberText.h"
#include "common/TextLines.h"
#include "common/platform/Process.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <system_error>

namespace {

constexpr const char* kFactorHeader =
    "Factor,Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,Well 9";
constexpr const char* kDataHeader =
    "Position(um),Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,Well 9";
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kFactorLabels[3] = {"a", "b", "c"};

std::vector<std::string> SplitFields(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            fields.emplace_back(line.substr(start));
            return fields;
        }
        fields.emplace_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

// A whole finite number in the field (blanks around it allowed); nothing for anything else.
std::optional<double> StrictNumber(std::string_view field) {
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t'))
        field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\t'))
        field.remove_suffix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value,
                                              std::chars_format::general);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() ||
        !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string Joined(const std::array<double, kWellCount>& values) {
    std::string text;
    for (double value : values)
        text += "," + DefaultDoubleText(value);
    return text;
}

} // namespace

std::string GeneralText(double value, int precision) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    return std::string(buffer, result.ptr);
}

std::string ListNumberText(double value) {
    std::string text = FixedText(value, 6);
    if (text.find('.') == std::string::npos)
        return text;
    while (!text.empty() && text.back() == '0')
        text.pop_back();
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::array<double, 3 * kWellCount> CalibrationFactors::CardValues() const {
    std::array<double, 3 * kWellCount> values{};
    for (int w = 0; w < kWellCount; ++w) {
        values[3 * w] = a[w];
        values[3 * w + 1] = b[w];
        values[3 * w + 2] = c[w];
    }
    return values;
}

CalibrationFactors
CalibrationFactors::FromCardValues(const std::array<double, 3 * kWellCount>& values) {
    CalibrationFactors factors;
    for (int w = 0; w < kWellCount; ++w) {
        factors.a[w] = values[3 * w];
        factors.b[w] = values[3 * w + 1];
        factors.c[w] = values[3 * w + 2];
    }
    return factors;
}

int CalibrationFactors::FirstEmptyWell() const {
    for (int w = 0; w < kWellCount; ++w) {
        if (a[w] == 0.0 && b[w] == 0.0 && c[w] == 0.0)
            return w + 1;
    }
    return 0;
}

std::array<FactorRow, 3> FactorListRows(const CalibrationFactors& factors) {
    const std::array<const std::array<double, kWellCount>*, 3> values{&factors.a, &factors.b,
                                                                      &factors.c};
    constexpr int kDecimals[3] = {9, 4, 1};
    std::array<FactorRow, 3> rows;
    for (int r = 0; r < 3; ++r) {
        rows[r][0] = kFactorLabels[r];
        for (int w = 0; w < kWellCount; ++w)
            rows[r][w + 1] = FixedText((*values[r])[w], kDecimals[r]);
    }
    return rows;
}

std::string CalibrationFileText(const CalibrationFactors& factors,
                                const std::vector<DataRow>& rows) {
    std::string text = std::string(kFactorHeader) + kLineEnd;
    text += "a" + Joined(factors.a) + kLineEnd;
    text += "b" + Joined(factors.b) + kLineEnd;
    text += "c" + Joined(factors.c);
    if (rows.empty())
        return text;
    text += std::string(kLineEnd) + kLineEnd + kDataHeader + kLineEnd;
    for (const DataRow& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            text += (i ? "," : "") + DefaultDoubleText(LeadingDouble(row[i]));
        text += kLineEnd;
    }
    return text;
}

std::optional<ParsedCalibrationFile> ParseCalibrationFile(std::string_view text) {
    const std::vector<std::string_view> lines = SplitTextLines(text);
    if (lines.size() < 2 || lines[0].substr(0, 6) != "Factor")
        return std::nullopt;
    ParsedCalibrationFile parsed;
    std::array<std::array<double, kWellCount>*, 3> targets{&parsed.factors.a, &parsed.factors.b,
                                                           &parsed.factors.c};
    for (int r = 0; r < 3 && 1 + r < static_cast<int>(lines.size()); ++r) {
        const std::vector<std::string> fields = SplitFields(lines[1 + r]);
        if (fields[0] != kFactorLabels[r])
            return std::nullopt;
        for (int w = 0; w < kWellCount; ++w) {
            const std::size_t f = static_cast<std::size_t>(w) + 1;
            (*targets[r])[w] = f < fields.size() ? LeadingDouble(fields[f]) : 0.0;
        }
        parsed.factorLines = r + 1;
    }
    // The empty line and the data header are skipped; rows follow.
    for (std::size_t i = 6; i < lines.size(); ++i) {
        const std::vector<std::string> fields = SplitFields(lines[i]);
        if (fields.size() < 2)
            break;
        DataRow row;
        for (std::size_t col = 0; col < row.size(); ++col)
            row[col] = ListNumberText(col < fields.size() ? LeadingDouble(fields[col]) : 0.0);
        parsed.rows.push_back(row);
    }
    return parsed;
}

std::optional<ParsedCalibrationFile> ParseSessionFile(std::string_view text, std::string& problem) {
    std::vector<std::string_view> lines = SplitTextLines(text);
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    std::size_t at = 0; // the line being read
    const auto fail = [&](const std::string& what) {
        problem = "line " + std::to_string(at + 1) + " " + what;
        return std::nullopt;
    };
    // The line's fields after the first `skip` as `count` numbers; false with `problem` set.
    const auto numbers = [&](std::size_t skip, std::size_t count, std::vector<double>& values) {
        const std::vector<std::string> fields = SplitFields(lines[at]);
        if (fields.size() != skip + count) {
            fail("has " + std::to_string(fields.size()) + " fields, not " +
                 std::to_string(skip + count));
            return false;
        }
        values.clear();
        for (std::size_t i = skip; i < fields.size(); ++i) {
            const std::optional<double> value = StrictNumber(fields[i]);
            if (!value) {
                fail("holds \"" + fields[i].substr(0, 40) + "\", which is not a number");
                return false;
            }
            values.push_back(*value);
        }
        return true;
    };

    if (lines.empty() || lines[0] != kFactorHeader)
        return fail(std::string("is not \"") + kFactorHeader + "\"");
    ParsedCalibrationFile parsed;
    std::array<std::array<double, kWellCount>*, 3> targets{&parsed.factors.a, &parsed.factors.b,
                                                           &parsed.factors.c};
    std::vector<double> values;
    for (int r = 0; r < 3; ++r) {
        at = static_cast<std::size_t>(1 + r);
        if (at == lines.size())
            return fail(std::string("is missing: the file ends before the factors ") +
                        kFactorLabels[r]);
        if (lines[at].substr(0, lines[at].find(',')) != kFactorLabels[r])
            return fail(std::string("does not start with \"") + kFactorLabels[r] + ",\"");
        if (!numbers(1, kWellCount, values))
            return std::nullopt;
        std::copy(values.begin(), values.end(), targets[static_cast<std::size_t>(r)]->begin());
        parsed.factorLines = r + 1;
    }
    at = 4;
    if (at == lines.size())
        return parsed; // factors without rows
    if (!lines[at].empty())
        return fail("is not empty: the rows come after an empty line and the data header");
    at = 5;
    if (at == lines.size() || lines[at] != kDataHeader)
        return fail(std::string("is not \"") + kDataHeader + "\"");
    for (at = 6; at < lines.size(); ++at) {
        if (lines[at].empty())
            return fail("is empty, but more rows follow");
        if (!numbers(0, 1 + kWellCount, values))
            return std::nullopt;
        DataRow row;
        for (std::size_t col = 0; col < row.size(); ++col)
            row[col] = ListNumberText(values[col]);
        parsed.rows.push_back(row);
    }
    return parsed;
}

std::optional<std::array<double, 3 * kWellCount>>
ParseCardCalibration(const std::vector<std::string>& lines) {
    if (lines.size() != 3 * kWellCount)
        return std::nullopt;
    std::array<double, 3 * kWellCount> values{};
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = LeadingDouble(lines[i]);
    return values;
}

std::array<double, 3 * kWellCount>
CardRoundedValues(const std::array<double, 3 * kWellCount>& values) {
    std::array<double, 3 * kWellCount> rounded{};
    for (std::size_t i = 0; i < values.size(); ++i)
        rounded[i] = LeadingDouble(FixedText(values[i], 6));
    return rounded;
}

std::string ExportStamp(std::time_t when) {
    const std::tm local = platform::LocalTime(when);
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, "_%Y-%m-%d_%H-%M-%S", &local);
    return std::string(text, length);
}

std::array<int, kRawTableSize> RawSetpointTable(int pressure) {
    std::array<int, kRawTableSize> table{};
    const double p = pressure;
    constexpr double n = kRawStepsPerHalf;
    for (int i = 0; i < kRawStepsPerHalf; ++i) {
        const double angle = std::numbers::pi * (i + 1) / n;
        table[i] = static_cast<int>(std::floor(p * 0.5 * (1.0 - std::cos(angle))));
        table[kRawStepsPerHalf + i] =
            static_cast<int>(std::floor(p * 0.5 * (1.0 + std::cos(angle))));
    }
    return table;
}

int RawSamplesPerStep() {
    return static_cast<int>(std::floor((250.0 / kRawStepsPerHalf) / 0.59 + 0.5));
}

std::string RawOutputText(const std::vector<RawTraceStep>& steps) {
    std::string text = "Time (us), Sensor Pressure (Raw), Desired Pressure (Raw)\n";
    for (const RawTraceStep& step : steps) {
        const std::string setpoint = "," + std::to_string(step.setpoint) + "\n";
        for (std::size_t i = 0; i < step.times.size() && i < step.readings.size(); ++i)
            text += std::to_string(step.stepTimeUs + step.times[i]) + "," +
                    std::to_string(step.readings[i]) + setpoint;
    }
    return text;
}

std::string SpecialPositionsLine(const std::array<std::string, kWellCount>& positions) {
    std::string line;
    for (std::size_t i = 0; i < positions.size(); ++i)
        line += (i ? "," : "") + positions[i];
    return line + "\n";
}

bool AppendToFile(const std::filesystem::path& path, std::string_view text, std::string* error) {
    std::error_code code;
    std::filesystem::create_directories(path.parent_path(), code);
    std::string content;
    if (std::filesystem::exists(path, code)) {
        std::ifstream in(path, std::ios::binary);
        if (!in || !std::filesystem::is_regular_file(path, code)) {
            if (error)
                *error = "cannot read " + path.string();
            return false;
        }
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    content.append(text);
    return WriteFileAtomically(path, content, error);
}
