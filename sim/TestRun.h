// A synthetic test run: plays the device program table against the plant and records what the
// firmware records, in the card's formats: DATAnnnn.CSV with its DATAnnnn.TMT (copy of
// TEMPLATE.INI) and DATAnnnn.NAM (test name) companions, and INFO1.INI naming the latest test.
#pragma once

#include "Plant.h"
#include "SimCard.h"

#include "protocol/DeviceProgram.h"

#include <cstdint>
#include <string>

namespace sim {

// The header line of a data file, without its line end.
inline constexpr const char* kDataHeader =
    "Time(mS),Set,Name,Cycle,SpecifiedPressure,ActualPressure,Disp1,Disp2,Disp3,Disp4,Disp5,"
    "Disp6,Disp7,Disp8,Disp9";

// Sample interval of "All" data by rate letter ('1' 10 Hz ... '5' 0.001 Hz; '0' and unknown
// letters record at 10 Hz).
int64_t DataIntervalMs(char rateLetter);

// The device program table that TEMPLATE.INI describes, for a card that was written by the
// program but whose table was never uploaded to this simulator. Magnitudes in N (or MPa with
// a Hydrostatic membrane) become raw set points through the plant. Empty when the text has no
// table.
DeviceProgramTable ProgramFromTemplate(const std::string& text, const Plant& plant);
// One short set, used when neither an uploaded table nor TEMPLATE.INI says what to run.
DeviceProgramTable DefaultProgram(const Plant& plant);
bool HasUsedEntry(const DeviceProgramTable& table);

class TestRun {
public:
    TestRun(SimCard& card, const DeviceProgramTable& table, const Plant& plant);

    // Picks the next test number, writes the companions, INFO1.INI and the data header.
    // False when the card cannot be written.
    bool Start();
    // Records every sample up to `simMs` milliseconds after the start.
    void AdvanceTo(double simMs);
    // Records the rest at once.
    void RunToEnd() { AdvanceTo(TotalMs() + 1); }

    bool Finished() const { return m_finished; }
    double TotalMs() const { return m_totalMs; }
    int TestNumber() const { return m_testNumber; }
    const std::string& DataFileName() const { return m_dataName; }
    // Set point (raw counts) that the regulator follows at a time of the run.
    double TargetAt(double simMs) const;
    int64_t LinesWritten() const { return m_lines; }

private:
    struct Sample {
        double timeMs;
        size_t entry;
        int64_t cycle;
    };
    bool NextSample(Sample& out);
    std::string Record(const Sample& sample);
    double CycleTarget(const DeviceProgramEntry& e, double tInCycle) const;

    SimCard& m_card;
    DeviceProgramTable m_table;
    Plant m_plant;
    std::string m_dataName;
    int m_testNumber = 0;
    double m_totalMs = 0;
    bool m_finished = false;
    int64_t m_lines = 0;
    double m_plantTimeMs = 0;

    // Sample cursor.
    size_t m_entry = 0;
    double m_setStartMs = 0;
    int64_t m_sampleIndex = 0;
    bool m_cursorDone = false;
    bool m_havePending = false;
    Sample m_pending{};
};

} // namespace sim
