// A per-cycle summary file as the plots and the test report read it: one row per cycle, cells
// found by their header names, so files with the columns in another order or some columns
// missing still read. Per-set means and standard deviations over the set's cycles.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

inline constexpr int kSummaryWells = 9;

// One row. Cells that are empty or missing are NaN.
struct SummaryCycle {
    int set = 0;
    std::string setName;
    int cycle = 0;
    double startMs = 0.0;
    double endMs = 0.0;
    std::array<double, kSummaryWells> maxPosition{};
    std::array<double, kSummaryWells> minPosition{};
    std::array<double, kSummaryWells> amplitude{};
    std::array<double, kSummaryWells> maxForce{}; // calibrated when the file has it, else factory
};

struct SummaryTable {
    std::vector<SummaryCycle> cycles;
    bool calibratedForce = false; // maxForce holds the calibrated column
    std::array<bool, kSummaryWells> hasAmplitude{};
    std::array<bool, kSummaryWells> hasForce{};
};

// Reads a summary file (CR, LF or CRLF). False with a message for the user when it cannot be
// read or is not a summary (no "Set", "Cycle" and "Start (mS)" columns).
bool ReadSummaryFile(const std::filesystem::path& path, SummaryTable& table, std::string& error);
bool ReadSummaryText(const std::string& text, SummaryTable& table, std::string& error);

// The summary of a converted full file when no summary file was written for it: made from the
// full file and kept as `keepAs`, where it is looked for the next time.
bool SummaryFromFullFile(const std::filesystem::path& full, const std::filesystem::path& keepAs,
                         SummaryTable& table, std::string& error);

// Whether a file name is a summary's ("..._Summary.csv", any case of the extension).
bool IsSummaryFileName(const std::filesystem::path& path);

struct MeanDeviation {
    double mean = 0.0;
    double deviation = 0.0; // sample standard deviation; 0 for a single value
    int count = 0;          // values taken; no values: mean and deviation are NaN
};

// The statistics of one set: its cycles in file order, by set number, in the order sets first
// appear. A set that appears again later (a repeated protocol) counts in its first entry.
struct SetStatistics {
    int set = 0;
    std::string setName;
    int cycles = 0;
    std::array<MeanDeviation, kSummaryWells> amplitude{};
    std::array<MeanDeviation, kSummaryWells> maxForce{};
};

std::vector<SetStatistics> PerSetStatistics(const SummaryTable& table);
