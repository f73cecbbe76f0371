#include "recordings/SummaryTable.h"

#include "recordings/CycleSummary.h"

#include "common/RegularFile.h"
#include "common/TextLines.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <string_view>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A summary has a row per cycle: far below this even for week-long tests.
constexpr std::size_t kSummaryLimit = std::size_t{1} << 30;

std::vector<std::string_view> SplitCells(std::string_view line) {
    std::vector<std::string_view> cells;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            cells.push_back(line.substr(start));
            return cells;
        }
        cells.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

double NumberOf(std::string_view cell) {
    while (!cell.empty() && cell.front() == ' ')
        cell.remove_prefix(1);
    if (!cell.empty() && cell.front() == '+')
        cell.remove_prefix(1);
    double value = kNaN;
    const auto [end, error] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (error != std::errc() || cell.empty())
        return kNaN;
    (void)end;
    return value;
}

std::string WellTitle(const char* before, int well, const char* after) {
    return std::string(before) + std::to_string(well) + after;
}

void Take(MeanDeviation& into, double& sum, double& squares, double value) {
    if (std::isnan(value))
        return;
    ++into.count;
    sum += value;
    squares += value * value;
}

// Sums taken from the first value rather than from zero, so the one-pass variance stays exact
// when the values lie far from zero with a small spread (positions, forces of a stiff well).
struct Accumulator {
    double shift = kNaN;
    double sum = 0.0;
    double squares = 0.0;
    MeanDeviation result;

    void Add(double value) {
        if (std::isnan(value))
            return;
        if (std::isnan(shift))
            shift = value;
        Take(result, sum, squares, value - shift);
    }
    MeanDeviation Finish() const {
        MeanDeviation out = result;
        if (out.count == 0) {
            out.mean = out.deviation = kNaN;
            return out;
        }
        const double mean = sum / out.count;
        out.mean = shift + mean;
        out.deviation = out.count > 1
                            ? std::sqrt(std::max(0.0, (squares - sum * mean) / (out.count - 1)))
                            : 0.0;
        return out;
    }
};

} // namespace

bool ReadSummaryText(const std::string& text, SummaryTable& table, std::string& error) {
    table = SummaryTable{};
    const std::vector<std::string_view> lines = SplitTextLines(text);
    if (lines.empty()) {
        error = "The file is empty.";
        return false;
    }
    std::map<std::string, int, std::less<>> columns;
    const std::vector<std::string_view> header = SplitCells(lines.front());
    for (size_t i = 0; i < header.size(); ++i)
        columns.emplace(std::string(header[i]), static_cast<int>(i));
    auto column = [&](const std::string& title) {
        const auto found = columns.find(title);
        return found == columns.end() ? -1 : found->second;
    };
    const int setColumn = column("Set");
    const int cycleColumn = column("Cycle");
    const int startColumn = column("Start (mS)");
    if (setColumn < 0 || cycleColumn < 0 || startColumn < 0) {
        error = "The file is not a per-cycle summary (no Set, Cycle and Start (mS) columns).";
        return false;
    }
    const int nameColumn = column("Set Name");
    const int endColumn = column("End (mS)");
    std::array<int, kSummaryWells> maxPosition{}, minPosition{}, amplitude{}, factory{},
        calibrated{};
    for (int k = 0; k < kSummaryWells; ++k) {
        maxPosition[k] = column(WellTitle("Max Position ", k + 1, " (um)"));
        minPosition[k] = column(WellTitle("Min Position ", k + 1, " (um)"));
        amplitude[k] = column(WellTitle("Amplitude ", k + 1, " (um)"));
        factory[k] = column(WellTitle("Max Force ", k + 1, " (N) (factory)"));
        calibrated[k] = column(WellTitle("Max Force ", k + 1, " (N) (calibrated)"));
    }

    std::array<bool, kSummaryWells> hasCalibrated{};
    std::vector<std::array<double, kSummaryWells>> factoryValues;
    table.cycles.reserve(lines.size() - 1);
    factoryValues.reserve(lines.size() - 1);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        const std::vector<std::string_view> cells = SplitCells(lines[i]);
        auto number = [&](int at) {
            return at >= 0 && static_cast<size_t>(at) < cells.size() ? NumberOf(cells[at]) : kNaN;
        };
        SummaryCycle cycle;
        const double set = number(setColumn);
        const double index = number(cycleColumn);
        cycle.startMs = number(startColumn);
        if (std::isnan(set) || std::isnan(index) || std::isnan(cycle.startMs))
            continue; // not a cycle row
        cycle.set = static_cast<int>(set);
        cycle.cycle = static_cast<int>(index);
        cycle.endMs = number(endColumn);
        if (nameColumn >= 0 && static_cast<size_t>(nameColumn) < cells.size())
            cycle.setName = std::string(cells[nameColumn]);
        std::array<double, kSummaryWells> factoryRow{};
        for (int k = 0; k < kSummaryWells; ++k) {
            cycle.maxPosition[k] = number(maxPosition[k]);
            cycle.minPosition[k] = number(minPosition[k]);
            cycle.amplitude[k] = number(amplitude[k]);
            cycle.maxForce[k] = number(calibrated[k]);
            factoryRow[k] = number(factory[k]);
            hasCalibrated[k] = hasCalibrated[k] || !std::isnan(cycle.maxForce[k]);
            table.hasAmplitude[k] = table.hasAmplitude[k] || !std::isnan(cycle.amplitude[k]);
        }
        table.cycles.push_back(std::move(cycle));
        factoryValues.push_back(factoryRow);
    }
    // One kind of force for every well, so the wells compare: calibrated when any well has it.
    table.calibratedForce = false;
    for (bool has : hasCalibrated)
        table.calibratedForce = table.calibratedForce || has;
    for (size_t i = 0; i < table.cycles.size(); ++i) {
        for (int k = 0; k < kSummaryWells; ++k) {
            if (!table.calibratedForce)
                table.cycles[i].maxForce[k] = factoryValues[i][k];
            table.hasForce[k] = table.hasForce[k] || !std::isnan(table.cycles[i].maxForce[k]);
        }
    }
    return true;
}

bool ReadSummaryFile(const std::filesystem::path& path, SummaryTable& table, std::string& error) {
    std::string reason;
    const std::optional<std::string> text = ReadRegularFile(path, kSummaryLimit, reason);
    if (!text) {
        error = "Cannot read " + path.string() + ": " + reason;
        return false;
    }
    if (!ReadSummaryText(*text, table, error)) {
        error = path.string() + ": " + error;
        return false;
    }
    return true;
}

bool SummaryFromFullFile(const std::filesystem::path& full, const std::filesystem::path& keepAs,
                         SummaryTable& table, std::string& error) {
    table = SummaryTable{};
    std::string reason;
    if (SummarizeFullFile(full, keepAs, reason) != 0) {
        error =
            "No per-cycle summary could be made from " + full.filename().string() + ": " + reason;
        return false;
    }
    return ReadSummaryFile(keepAs, table, error);
}

bool IsSummaryFileName(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    constexpr std::string_view suffix = "_summary.csv";
    return name.size() > suffix.size() && name.ends_with(suffix);
}

std::vector<SetStatistics> PerSetStatistics(const SummaryTable& table) {
    struct Sums {
        SetStatistics stats;
        std::array<Accumulator, kSummaryWells> amplitude;
        std::array<Accumulator, kSummaryWells> force;
    };
    std::vector<Sums> sets;
    std::map<int, size_t> index;
    for (const SummaryCycle& cycle : table.cycles) {
        auto [at, added] = index.emplace(cycle.set, sets.size());
        if (added) {
            sets.emplace_back();
            sets.back().stats.set = cycle.set;
            sets.back().stats.setName = cycle.setName;
        }
        Sums& sums = sets[at->second];
        ++sums.stats.cycles;
        for (int k = 0; k < kSummaryWells; ++k) {
            sums.amplitude[k].Add(cycle.amplitude[k]);
            sums.force[k].Add(cycle.maxForce[k]);
        }
    }
    std::vector<SetStatistics> out;
    out.reserve(sets.size());
    for (Sums& sums : sets) {
        for (int k = 0; k < kSummaryWells; ++k) {
            sums.stats.amplitude[k] = sums.amplitude[k].Finish();
            sums.stats.maxForce[k] = sums.force[k].Finish();
        }
        out.push_back(std::move(sums.stats));
    }
    return out;
}
