// The texts and files of the displacement calibration: how the lists show numbers, the exported
// calibration file (".csv" and its ".mgg" copy, also the command-line session file), the card
// calibration file as read back, the raw pressure output and the special positions file.
#pragma once

#include "hardware/HardwareDescription.h"

#include <array>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// printf's "%f" stripped of trailing "0" characters and then of a trailing "." (1234.5 shows
// as "1234.5", 1234 as "1234").
std::string ListNumberText(double value);
// printf's "%.<precision>g", independent of the locale.
std::string GeneralText(double value, int precision);

// a, b, c of position = a*r^2 + b*r + c per well, r the well's sensor reading.
struct CalibrationFactors {
    std::array<double, kWellCount> a{}, b{}, c{};

    // Three per well in well order (a, b, c), as the card file holds them.
    std::array<double, 3 * kWellCount> CardValues() const;
    static CalibrationFactors FromCardValues(const std::array<double, 3 * kWellCount>& values);
    // The first well (1..9) whose three factors are all 0, or 0 when every well has some.
    int FirstEmptyWell() const;
};

// One row of the data list: the position, then the mean readings of wells 1 to 9, as shown.
using DataRow = std::array<std::string, 1 + kWellCount>;
// One row of the factor list: the label, then the nine values as shown.
using FactorRow = std::array<std::string, 1 + kWellCount>;

// The factor list: "a" with 9 decimals, "b" with 4, "c" with 1.
std::array<FactorRow, 3> FactorListRows(const CalibrationFactors& factors);

// The exported calibration file: the factors, then (only with rows) an empty line, the data
// header and the rows. Numbers with six significant digits, carriage return and line feed line
// ends; without rows the text ends right after the last c value.
std::string CalibrationFileText(const CalibrationFactors& factors,
                                const std::vector<DataRow>& rows);

struct ParsedCalibrationFile {
    // How many of the factor lines a, b and c the file reached, in that order (1 to 3).
    int factorLines = 0;
    CalibrationFactors factors; // only the first factorLines of a, b, c are read
    std::vector<DataRow> rows;  // as the list shows them
};
// Reads an exported calibration file (either line end). Missing fields read as 0; reading of
// rows stops at the first line with fewer than two fields. Nothing when the text is not
// calibration data (its first line is not the factor header, or a factor line has the wrong
// label).
std::optional<ParsedCalibrationFile> ParseCalibrationFile(std::string_view text);

// The command-line session file, which the program rewrites after every step, must be read
// whole: the header, the three factor lines of nine numbers each, and only then (after an empty
// line and the data header) rows of ten numbers without a gap; empty lines may close the file.
// Nothing, with `problem` naming the first line that breaks this ("line 9 is empty, but ..."),
// otherwise.
std::optional<ParsedCalibrationFile> ParseSessionFile(std::string_view text, std::string& problem);

// A card calibration file (MAGCAL.INI, MAGCAL0.INI) is taken only with exactly 27 lines; each
// line's leading number, in order.
std::optional<std::array<double, 3 * kWellCount>>
ParseCardCalibration(const std::vector<std::string>& lines);
// The values as the card keeps them ("%12f": six decimals), as a later connect reads them.
std::array<double, 3 * kWellCount>
CardRoundedValues(const std::array<double, 3 * kWellCount>& values);

// "_%Y-%m-%d_%H-%M-%S" in local time.
std::string ExportStamp(std::time_t when);

// --- raw pressure output ---------------------------------------------------------------------

inline constexpr int kRawStepsPerHalf = 8;
inline constexpr int kRawTableSize = 2 * kRawStepsPerHalf;
// The set points of one cycle: a raised-cosine rise to the pressure in 8 steps, then the fall.
std::array<int, kRawTableSize> RawSetpointTable(int pressure);
// Samples per step: floor((250 / 8) / 0.59 + 0.5) = 53.
int RawSamplesPerStep();

struct RawTraceStep {
    uint64_t stepTimeUs = 0;
    int setpoint = 0;
    std::vector<uint32_t> times;
    std::vector<uint16_t> readings;
};
// The raw output file: a header line, then per sample the step time plus the sample's time
// offset, the reading and the step's set point.
std::string RawOutputText(const std::vector<RawTraceStep>& steps);

// --- special positions -----------------------------------------------------------------------

// One line of the special positions file: the nine texts joined by ",", then a line feed.
std::string SpecialPositionsLine(const std::array<std::string, kWellCount>& positions);

// Appends `text` to a file (created with its folder when missing); the whole file is rewritten
// atomically. False with *error set on failure.
bool AppendToFile(const std::filesystem::path& path, std::string_view text, std::string* error);
