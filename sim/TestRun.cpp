#include "TestRun.h"

#include "common/NumberText.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SetRecord.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Keeps a long protocol recorded at a high rate from filling the disk (about 45 MB a set).
constexpr int64_t kMaxLinesPerSet = 500000;
constexpr double kPlantStepMs = 10.0;

int64_t CycleMs(const DeviceProgramEntry& e) {
    return int64_t(e.stretchMs) + e.holdMs + e.recoveryMs + e.restMs;
}

bool Runs(const DeviceProgramEntry& e) {
    return e.repetitions > 0 && CycleMs(e) > 0 && e.stretchMs >= 0 && e.holdMs >= 0 &&
           e.recoveryMs >= 0 && e.restMs >= 0;
}

double SetDurationMs(const DeviceProgramEntry& e) {
    return Runs(e) ? double(CycleMs(e)) * e.repetitions : 0.0;
}

// Samples of one set and the interval of "All" data.
int64_t SampleCount(const DeviceProgramEntry& e, double& intervalMs) {
    intervalMs = 0;
    if (!Runs(e)) {
        return 0;
    }
    switch (e.dataTypeCode) {
    case 'p':
        return 2 * int64_t(e.repetitions);
    case 'a':
        return std::min<int64_t>(64 * int64_t(e.repetitions), kMaxLinesPerSet);
    case 'm': {
        intervalMs = double(DataIntervalMs(e.dataRateCode));
        double duration = SetDurationMs(e);
        if (duration / intervalMs > double(kMaxLinesPerSet)) {
            intervalMs = duration / double(kMaxLinesPerSet);
        }
        return int64_t(std::floor(duration / intervalMs));
    }
    default:
        return 0;
    }
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// Test number of a card name DATAnnnn.xxx, or -1.
int DataNumber(const std::string& name) {
    std::string upper = UpperCase(name);
    if (upper.size() < 8 || upper.compare(0, 4, "DATA") != 0) {
        return -1;
    }
    int number = 0;
    for (size_t i = 4; i < 8; ++i) {
        if (upper[i] < '0' || upper[i] > '9') {
            return -1;
        }
        number = number * 10 + (upper[i] - '0');
    }
    return (upper.size() == 8 || upper[8] == '.') ? number : -1;
}

std::string Format(const char* format, int value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

int64_t DataIntervalMs(char rateLetter) {
    switch (rateLetter) {
    case '2':
        return 1000;
    case '3':
        return 10000;
    case '4':
        return 100000;
    case '5':
        return 1000000;
    default:
        return 100;
    }
}

bool HasUsedEntry(const DeviceProgramTable& table) {
    return std::any_of(table.begin(), table.end(), [](const auto& e) { return e.IsUsed(); });
}

DeviceProgramTable DefaultProgram(const Plant& plant) {
    DeviceProgramTable table;
    DeviceProgramEntry& e = table[0];
    e.stretchMs = 2000;
    e.holdMs = 500;
    e.recoveryMs = 2000;
    e.restMs = 500;
    e.repetitions = 3;
    e.shapeCode = e.shapeCode2 = 's';
    double counts = plant.SetpointForPressure(plant.PressureForForce(10.0));
    e.magnitudeSetpoint = SaturatedInt32(std::floor(counts * 100 + 0.5));
    e.preloadSetpoint = SaturatedInt32(std::floor(plant.SetpointForPressure(0.0) * 100 + 0.5));
    e.flags = ProgramFlag::Used | ProgramFlag::Sinusoid | ProgramFlag::Seconds;
    e.SetName("Sample");
    e.dataTypeCode = 'a';
    e.dataRateCode = '1';
    return table;
}

DeviceProgramTable ProgramFromTemplate(const std::string& text, const Plant& plant) {
    DeviceProgramTable table;
    // TEMPLATE.INI is the program's own protocol text: read it with the program's reader.
    SetSequence sequence;
    HardwareDescription ignored;
    ReadProtocolText(text, sequence, &ignored);
    bool hydrostatic = plant.Hardware().MembraneStyle == Membrane::Hydrostatic;
    auto setpoint = [&](double value) {
        double mpa = hydrostatic ? value : plant.PressureForForce(value);
        // A template can hold any number; the firmware's words hold 32 bits.
        return SaturatedInt32(std::floor(plant.SetpointForPressure(mpa) * 100 + 0.5));
    };
    for (size_t index = 0; index < sequence.sets.size() && index < table.size(); ++index) {
        const SetRecord& set = sequence.sets[index];
        DeviceProgramEntry& e = table[index];
        e.flags = EntryFlags(set.XFunction, set.TimeUnits, set.XUnits);
        e.repetitions = set.NumReps;
        e.shapeCode = e.shapeCode2 = ShapeLetter(set.XFunction);
        e.magnitudeSetpoint = setpoint(set.XMagnitude);
        e.preloadSetpoint = setpoint(set.XPreloadMag);
        double ms = TimeUnitsFactor(set.TimeUnits) * 1000.0;
        e.stretchMs = SaturatedInt32(std::floor(set.StretchDurationSec * ms));
        e.recoveryMs = SaturatedInt32(std::floor(set.RecoveryDurationSec * ms));
        e.holdMs = SaturatedInt32(std::floor(set.HoldTimeSec * ms));
        e.restMs = SaturatedInt32(std::floor(set.RestTimeSec * ms));
        std::string name = set.Name;
        std::replace(name.begin(), name.end(), ' ', '|');
        e.SetName(name);
        e.dataTypeCode = DataTypeLetter(set.DataType);
        e.dataRateCode = DataRateLetter(set.DataFreqHz);
        e.autoAdjust = set.AutoAdjust;
    }
    return table;
}

TestRun::TestRun(SimCard& card, const DeviceProgramTable& table, const Plant& plant)
    : m_card(card), m_table(table), m_plant(plant) {
    for (const auto& e : m_table) {
        m_totalMs += SetDurationMs(e);
    }
    m_plant.SetRunning(true);
    m_plant.SetSpacerUm(-1);
}

bool TestRun::Start() {
    int highest = 0;
    for (const CardEntry& entry : m_card.Entries(0)) {
        highest = std::max(highest, DataNumber(entry.name));
    }
    if (auto info = m_card.Read("INFO1.INI")) {
        highest = std::max(highest, DataNumber(FirstLine(*info)));
    }
    m_testNumber = highest % 9999 + 1;
    std::string stem = Format("DATA%04d", m_testNumber);
    m_dataName = stem + ".CSV";

    std::string name = "Test";
    if (auto nameFile = m_card.Read("NAME.INI")) {
        name = FirstLine(*nameFile);
    }
    std::string protocol = HardwareBlockText(m_plant.Hardware());
    if (auto templateFile = m_card.Read("TEMPLATE.INI")) {
        protocol = *templateFile;
    }
    bool ok = m_card.Replace(stem + ".TMT", protocol);
    ok = m_card.Replace(stem + ".NAM", name + "\n") && ok;
    ok = m_card.Replace("INFO1.INI", m_dataName + "\n") && ok;
    ok = m_card.Replace(m_dataName, std::string(kDataHeader) + "\n") && ok;
    m_havePending = NextSample(m_pending);
    return ok;
}

bool TestRun::NextSample(Sample& out) {
    while (!m_cursorDone) {
        if (m_entry >= m_table.size()) {
            m_cursorDone = true;
            break;
        }
        const DeviceProgramEntry& e = m_table[m_entry];
        double interval = 0;
        int64_t count = SampleCount(e, interval);
        if (m_sampleIndex >= count) {
            m_setStartMs += SetDurationMs(e);
            ++m_entry;
            m_sampleIndex = 0;
            continue;
        }
        double cycleMs = double(CycleMs(e));
        int64_t k = m_sampleIndex++;
        double t = 0;
        int64_t cycle = 1;
        if (e.dataTypeCode == 'p') {
            cycle = k / 2 + 1;
            double inCycle = (k % 2 == 0) ? double(e.stretchMs + e.holdMs) : cycleMs - 1.0;
            t = double(cycle - 1) * cycleMs + std::max(0.0, inCycle);
        } else if (e.dataTypeCode == 'a') {
            cycle = k / 64 + 1;
            t = double(cycle - 1) * cycleMs + double(k % 64) * cycleMs / 64.0;
        } else {
            t = double(k) * interval;
            cycle = int64_t(t / cycleMs) + 1;
        }
        out = Sample{m_setStartMs + t, m_entry, cycle};
        return true;
    }
    return false;
}

double TestRun::CycleTarget(const DeviceProgramEntry& e, double t) const {
    double base = e.preloadSetpoint / 100.0;
    double peak = e.magnitudeSetpoint / 100.0;
    auto shape = [&](double fraction) {
        fraction = std::clamp(fraction, 0.0, 1.0);
        return e.shapeCode == 'r' ? fraction : 0.5 * (1.0 - std::cos(kPi * fraction));
    };
    double s = e.stretchMs, h = e.holdMs, r = e.recoveryMs;
    if (t < s) {
        return base + (peak - base) * shape(t / s);
    }
    if (t < s + h) {
        return peak;
    }
    if (t < s + h + r) {
        return peak - (peak - base) * shape((t - s - h) / r);
    }
    return base;
}

double TestRun::TargetAt(double simMs) const {
    double start = 0;
    for (const auto& e : m_table) {
        double duration = SetDurationMs(e);
        if (duration > 0 && simMs < start + duration) {
            double inSet = std::max(0.0, simMs - start);
            return CycleTarget(e, std::fmod(inSet, double(CycleMs(e))));
        }
        start += duration;
    }
    return m_plant.SetpointForPressure(0.0);
}

std::string TestRun::Record(const Sample& sample) {
    // Let the regulator follow the waveform up to the sample; long quiet stretches jump ahead.
    double gap = sample.timeMs - m_plantTimeMs;
    if (gap > 2000.0) {
        double until = sample.timeMs - 1000.0;
        m_plant.SetSetpoint(TargetAt(until));
        m_plant.Settle();
        m_plantTimeMs = until;
    }
    while (m_plantTimeMs < sample.timeMs) {
        double step = std::min(kPlantStepMs, sample.timeMs - m_plantTimeMs);
        m_plantTimeMs += step;
        m_plant.SetSetpoint(TargetAt(m_plantTimeMs));
        m_plant.Advance(step);
    }
    const DeviceProgramEntry& e = m_table[sample.entry];
    std::string line = std::to_string(int64_t(sample.timeMs)) + "," +
                       std::to_string(sample.entry + 1) + "," + e.name + "," +
                       std::to_string(sample.cycle) + "," +
                       std::to_string(std::llround(TargetAt(sample.timeMs)));
    for (int channel = 0; channel <= kWells; ++channel) {
        // Files keep the readings in hundredths of a count.
        line += "," + std::to_string(std::llround(m_plant.NoisyCounts(channel) * 100.0));
    }
    line += "\n";
    ++m_lines;
    return line;
}

void TestRun::AdvanceTo(double simMs) {
    if (m_finished) {
        return;
    }
    std::string batch;
    while (m_havePending && m_pending.timeMs <= simMs) {
        batch += Record(m_pending);
        m_havePending = NextSample(m_pending);
        if (batch.size() > (1 << 20)) {
            m_card.Append(m_dataName, batch);
            batch.clear();
        }
    }
    if (!batch.empty()) {
        m_card.Append(m_dataName, batch);
    }
    if (!m_havePending && simMs >= m_totalMs) {
        m_finished = true;
    }
}

} // namespace sim
