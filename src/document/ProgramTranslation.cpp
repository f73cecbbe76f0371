#include "document/ProgramTranslation.h"

#include "common/NumberText.h"
#include "recordings/ForceModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace {

// Seconds per time unit and the unit the flags carry. The device knows seconds, minutes, hours
// and days; sets timed in milliseconds or tenths of a second go out in milliseconds with the
// seconds flag, so nothing of their durations is lost (and they read back in seconds).
struct UnitScale {
    double seconds;
    int32_t flagUnits;
};

UnitScale ScaleOf(int32_t timeUnits) {
    switch (timeUnits) {
    case TimeUnits::Minutes:
        return {60.0, TimeUnits::Minutes};
    case TimeUnits::Hours:
        return {3600.0, TimeUnits::Hours};
    case TimeUnits::Days:
        return {86400.0, TimeUnits::Days};
    case TimeUnits::mSeconds:
        return {0.001, TimeUnits::Seconds};
    case TimeUnits::dSeconds:
        return {0.1, TimeUnits::Seconds};
    default: // seconds, and a unit the file named wrongly (timed as seconds everywhere)
        return {1.0, TimeUnits::Seconds};
    }
}

// The controller takes durations as 32-bit words and reads them back unsigned, so anything from
// INT32_MIN up to 2^32 - 1 ms travels; beyond that there is no honest value to send.
std::optional<int32_t> ToMilliseconds(double duration, const UnitScale& scale) {
    double ms = duration * scale.seconds * 1000.0;
    // 1.005 s is 1005 ms and 0.29 ds is 29 ms, not one less: settle on the microsecond before
    // cutting, so binary fractions do not eat a millisecond.
    ms = std::floor(std::round(ms * 1000.0) / 1000.0);
    if (!(ms >= -2147483648.0 && ms <= 4294967295.0))
        return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(ms)));
}

// The set point in hundredths of a count, or nullopt when it is no number or does not fit the
// controller's 32-bit word (a cast would be undefined, and garbage on the wire).
std::optional<int32_t> HundredthsSetpoint(std::optional<double> raw) {
    if (!raw)
        return std::nullopt;
    const double hundredths = std::floor(*raw * 100.0 + 0.5);
    if (!(hundredths >= -2147483648.0 && hundredths <= 2147483647.0))
        return std::nullopt;
    return static_cast<int32_t>(hundredths);
}

// A value the controller holds differently, at the precision the sequence view shows it: the
// shown texts differ, and by more than half a shown step (2.05 shown as 2.0 and read back as
// 2.1 is the rounding of the two texts, not a change). The margin absorbs binary fractions.
bool ShownDifferently(double asked, double held, int decimals) {
    if (FixedText(asked, decimals) == FixedText(held, decimals))
        return false;
    return !(std::fabs(asked - held) <= 0.5 * std::pow(10.0, -decimals) + 1e-9);
}

// What a set point in hundredths stands for, as Read Device shows it.
std::optional<double> MagnitudeOf(const ForceModel& model, int32_t hundredths) {
    return model.SetpointValue(hundredths / 100.0, 0.0);
}

double FromMilliseconds(int32_t ms, int64_t divisor) {
    const double value =
        static_cast<double>(static_cast<uint32_t>(ms)) / static_cast<double>(divisor);
    return std::floor(value * 100.0 + 0.5) / 100.0;
}

} // namespace

bool SequenceToDeviceProgram(const SetSequence& sequence, const HardwareDescription& hardware,
                             DeviceProgramTable& table, std::string* problem) {
    const ForceModel model(hardware);
    ClearDeviceProgram(table);
    std::string why;
    const std::size_t count = std::min(sequence.sets.size(), table.size());
    for (std::size_t i = 0; i < count; ++i) {
        const SetRecord& set = sequence.sets[i];
        DeviceProgramEntry& entry = table[i];
        const UnitScale scale = ScaleOf(set.TimeUnits);
        entry.flags = EntryFlags(set.XFunction, scale.flagUnits, set.XUnits);
        entry.repetitions = set.NumReps;
        if (set.XFunction == ControlFunction::Sinusoid || set.XFunction == ControlFunction::Ramp)
            entry.shapeCode = entry.shapeCode2 = ShapeLetter(set.XFunction);
        const auto magnitudeRaw = model.PressureSetpoint(set.XMagnitude, 0.0);
        const auto preloadRaw = model.PressureSetpoint(set.XPreloadMag, 0.0);
        if ((!magnitudeRaw || !preloadRaw) && why.empty())
            why = "Error:  The fitted hardware cannot turn magnitudes into pressure set points\n" +
                  model.MissingTablesMessage() + "\n";
        const auto magnitude = HundredthsSetpoint(magnitudeRaw);
        const auto preload = HundredthsSetpoint(preloadRaw);
        if ((!magnitude || !preload) && why.empty())
            why = "Error:  Set " + std::to_string(i + 1) +
                  " has a magnitude the device cannot take\n";
        entry.magnitudeSetpoint = magnitude.value_or(0);
        entry.preloadSetpoint = preload.value_or(0);
        // A duration of 0 or less is "Do Not Stretch" / "Do Not Recover", as the set editor
        // reads it: nothing below 0 goes to the controller.
        const auto stretch = ToMilliseconds(std::max(set.StretchDurationSec, 0.0), scale);
        const auto recovery = ToMilliseconds(std::max(set.RecoveryDurationSec, 0.0), scale);
        const auto hold = ToMilliseconds(set.HoldTimeSec, scale);
        const auto rest = ToMilliseconds(set.RestTimeSec, scale);
        if ((!stretch || !recovery || !hold || !rest) && why.empty())
            why = "Error:  Set " + std::to_string(i + 1) +
                  " has a duration longer than the device can time\n";
        entry.stretchMs = stretch.value_or(0);
        entry.recoveryMs = recovery.value_or(0);
        entry.holdMs = hold.value_or(0);
        entry.restMs = rest.value_or(0);
        entry.SetName(set.Name);
        entry.dataTypeCode = DataTypeLetter(set.DataType);
        entry.dataRateCode = DataRateLetter(set.DataFreqHz);
        entry.autoAdjust = set.AutoAdjust;
    }
    if (problem)
        *problem = why;
    return why.empty();
}

bool DeviceProgramToSets(const DeviceProgramTable& table, const HardwareDescription& hardware,
                         std::vector<SetRecord>& sets, std::string* problem) {
    const ForceModel model(hardware);
    sets.clear();
    for (const DeviceProgramEntry& entry : table) {
        if (!entry.IsUsed())
            continue;
        const auto magnitude = MagnitudeOf(model, entry.magnitudeSetpoint);
        const auto preload = MagnitudeOf(model, entry.preloadSetpoint);
        if (!magnitude || !preload) {
            // Zero magnitudes would read as a harmless program and be sent back as one.
            if (problem)
                *problem = "Error:  The fitted hardware cannot turn set points into magnitudes\n" +
                           model.MissingTablesMessage() + "\n";
            return false;
        }
        SetRecord set;
        set.XFunction = FunctionFromShapeLetter(entry.shapeCode);
        set.XUnits = MagnitudeUnits::N;
        set.XMagnitude = *magnitude;
        set.XPreloadMag = *preload;
        set.TimeUnits = TimeUnitsFromFlags(entry.flags);
        const int64_t divisor = TimeUnitsDivisorMs(entry.flags);
        set.NumReps = entry.repetitions;
        set.StretchDurationSec = FromMilliseconds(entry.stretchMs, divisor);
        set.RecoveryDurationSec = FromMilliseconds(entry.recoveryMs, divisor);
        set.HoldTimeSec = FromMilliseconds(entry.holdMs, divisor);
        set.RestTimeSec = FromMilliseconds(entry.restMs, divisor);
        set.Name = entry.name;
        set.DataType = DataTypeFromLetter(entry.dataTypeCode);
        set.DataFreqHz = DataFrequencyFromLetter(entry.dataRateCode);
        set.AutoAdjust = entry.autoAdjust;
        sets.push_back(set);
    }
    if (problem)
        problem->clear();
    return true;
}

std::string ChangedValuesWarning(const SetSequence& sequence, const DeviceProgramTable& table,
                                 const HardwareDescription& hardware) {
    const ForceModel model(hardware);
    const bool hydrostatic = hardware.MembraneStyle == Membrane::Hydrostatic;
    // As the sequence view shows them: pressures with three decimals, forces and durations
    // with one.
    const int magnitudeDecimals = hydrostatic ? 3 : 1;
    const std::string magnitudeUnit = hydrostatic ? "MPa" : "N";
    std::string lines;
    const std::size_t count = std::min(sequence.sets.size(), table.size());
    for (std::size_t i = 0; i < count; ++i) {
        const SetRecord& set = sequence.sets[i];
        const DeviceProgramEntry& entry = table[i];
        auto note = [&](const char* field, double asked, double held, int decimals,
                        const std::string& unit) {
            if (!ShownDifferently(asked, held, decimals))
                return;
            lines += "Set " + std::to_string(i + 1) + " (" + set.Name + ") " + field + ": " +
                     FixedText(asked, decimals) + " " + unit + " entered, " +
                     FixedText(held, decimals) + " " + unit + " programmed\n";
        };
        // The same hardware turned the magnitudes into set points, so it turns them back.
        if (const auto magnitude = MagnitudeOf(model, entry.magnitudeSetpoint)) {
            note("Compress Magnitude", set.XMagnitude, *magnitude, magnitudeDecimals,
                 magnitudeUnit);
        }
        if (const auto preload = MagnitudeOf(model, entry.preloadSetpoint))
            note("Preload Magnitude", set.XPreloadMag, *preload, magnitudeDecimals, magnitudeUnit);
        // Durations in the set's own unit, from the milliseconds the controller times (sets in
        // milliseconds read back in seconds, which is no change of value).
        const double msPerUnit = ScaleOf(set.TimeUnits).seconds * 1000.0;
        const std::string unit = TimeUnitsAbbreviation(set.TimeUnits);
        auto timed = [&](int32_t ms) { return static_cast<uint32_t>(ms) / msPerUnit; };
        // 0 or less is "None" for stretch and recovery, and is sent as 0.
        note("Compress Duration", std::max(set.StretchDurationSec, 0.0), timed(entry.stretchMs), 1,
             unit);
        note("Hold Duration", set.HoldTimeSec, timed(entry.holdMs), 1, unit);
        note("Recovery Duration", std::max(set.RecoveryDurationSec, 0.0), timed(entry.recoveryMs),
             1, unit);
        note("Rest Duration", set.RestTimeSec, timed(entry.restMs), 1, unit);
    }
    return lines.empty() ? std::string() : kValuesChanged + lines;
}
