// The per-cycle summary of a full converted file: one line per cycle (a run of consecutive rows
// with the same Set and Cycle cells) with its first and last time, its number of samples, the
// highest pressure, and for each well the extremes of position and force and the amplitude.
// Extremes are copied from the full file's cells as they were written there, so the summary made
// during a conversion and the one made later from the file are the same bytes.
#pragma once

#include "common/AtomicFile.h"
#include "hardware/HardwareDescription.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

struct DataRecord;

class CycleSummary {
public:
    explicit CycleSummary(std::filesystem::path target);

    // Creates the temporary file beside the target. False, with Error() set, when it cannot.
    bool Open();
    // The full file's column titles, once before the rows. A column the summary uses that is
    // not among them gives empty cells. False when the file has neither a time nor a measured
    // column: it is no converted file.
    bool Header(const std::string_view* titles, size_t count);
    // One row of the full file, cell by cell; cells beyond `count` count as empty.
    void Row(const std::string_view* cells, size_t count);
    // One record as the converter writes it into the full file (after Header() with the titles
    // it wrote): its numbers are compared instead of the cells' texts, with the same outcome,
    // which keeps the conversion fast.
    void Record(const DataRecord& record);
    // Writes the last cycle and puts the file in place. False, with Error() set, on failure.
    bool Commit();
    // Drops the temporary file; the target is untouched.
    void Abort() { m_file.Abort(); }

    const std::string& Error() const { return m_file.Error(); }
    int ErrorNumber() const { return m_file.ErrorNumber(); }
    const std::filesystem::path& Target() const { return m_file.Target(); }

    // A decimal cell ("-12", "0.0490"), kept with its text. Exact for any length: values that
    // fit are compared as millionths, others digit by digit; "-0" counts as less than "0", as
    // the number it was written from was.
    struct Number {
        std::string text;
        int64_t micro = 0; // value in millionths when `fits`
        bool fits = false;
        bool negative = false;
    };
    // The extremes of one column within the current cycle.
    struct Extremes {
        int column = -1;
        bool withMinimum = false; // positions only: their amplitude needs it
        bool any = false;
        Number max;
        Number min;
    };

private:
    void CloseCycle();

    AtomicFile m_file;
    std::string m_out; // lines not yet handed to the file
    int m_timeColumn = -1;
    int m_setColumn = -1;
    int m_nameColumn = -1;
    int m_cycleColumn = -1;
    // Pressure, then per well: position, factory force, calibrated force.
    std::vector<Extremes> m_extremes;
    std::vector<Extremes*> m_present; // those whose column the file has
    // The extremes of the converter's numbers within the cycle, as order keys (see
    // CycleSummary.cpp), source by source (pressure, then the wells' positions, factory and
    // calibrated forces), kept apart from m_extremes so that each record's pass is short.
    static constexpr size_t kSources = 4;
    struct KeyRange {
        int64_t high[kWellCount];
        int64_t low[kWellCount];
    };
    KeyRange m_keys[kSources];
    bool m_sourcePresent[kSources] = {};
    void ResetKeys();
    void SettleRecordFields();
    uint32_t m_setNumber = 0;
    uint32_t m_cycleNumber = 0;
    uint32_t m_endNumber = 0;

    bool m_inCycle = false;
    long long m_samples = 0;
    std::string m_set, m_name, m_cycle, m_start;
    // The latest row's time: in the buffer, or in m_end when longer, or m_endNumber.
    static constexpr size_t kLongEndTime = ~size_t{0};
    static constexpr size_t kNumberEndTime = kLongEndTime - 1;
    char m_endTime[24] = {};
    size_t m_endTimeSize = 0;
    std::string m_end;
};

// Makes the summary of the full file `full` in `summary`. 0 on success; -1 when `full` cannot be
// read, -2 when the summary cannot be written (`error` says why, and `errorNumber` its number),
// -3 when `full` is no converted file (its first line names none of its columns): nothing written.
int SummarizeFullFile(const std::filesystem::path& full, const std::filesystem::path& summary,
                      std::string& error, int* errorNumber = nullptr);

// Where a summary goes by default: beside the full file, "_Full" in its name replaced by
// "_Summary" (added before the extension when the name has none).
std::filesystem::path DefaultSummaryPath(const std::filesystem::path& full);
