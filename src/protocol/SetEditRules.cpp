#include "protocol/SetEditRules.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

namespace {

// The editor holds these as 32-bit floats; the comparisons are made at that precision so a value
// typed equal to a limit is never refused by rounding.
float F(double value) {
    return static_cast<float>(value);
}

// The first `count` characters of UTF-8 text, never splitting a character.
std::string FirstCharacters(const std::string& text, size_t count) {
    size_t characters = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
        if (!continuation && characters++ == count)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

SetEditLimits SetEditLimitsFor(const HardwareDescription& hardware) {
    const bool hydrostatic = hardware.MembraneStyle == Membrane::Hydrostatic;
    SetEditLimits limits;
    limits.unit = hydrostatic ? "MPa" : "N";
    switch (hardware.RegulatorType) {
    case Regulator::ITV1030:
        limits.maxMagnitude = hydrostatic ? 0.5f : 160.0f;
        break;
    case Regulator::ITV1010:
        limits.maxMagnitude = hydrostatic ? 0.1f : 32.0f;
        break;
    case Regulator::QPVPlusMinus15:
        limits.maxMagnitude = hydrostatic ? 0.1f : 32.0f;
        limits.minPreload = hydrostatic ? -0.1f : -32.0f;
        break;
    default:
        limits.maxMagnitude = hydrostatic ? 0.9f : 280.0f;
        break;
    }
    return limits;
}

SetEditLimits RegulatorPressureLimits(const HardwareDescription& hardware) {
    HardwareDescription pressureOnly = hardware;
    pressureOnly.MembraneStyle = Membrane::Hydrostatic;
    return SetEditLimitsFor(pressureOnly);
}

std::string ValidateSetEdit(const SetEditValues& values, const HardwareDescription& hardware) {
    const SetEditLimits limits = SetEditLimitsFor(hardware);
    std::string messages;
    if (!values.doNotStretch && F(values.stretch) < kMinStretchRecovery)
        messages += Format("Error:  Minimum non-zero Stretch duration = %.2f S\n",
                           double(kMinStretchRecovery));
    if (!values.doNotRecover && F(values.recovery) < kMinStretchRecovery)
        messages += Format("Error:  Minimum non-zero Recovery duration = %.2f S\n",
                           double(kMinStretchRecovery));
    if (values.rest < 0)
        messages += "Error:  Minimum Rest duration = 0.0 S\n";
    if (values.hold < 0)
        messages += "Error:  Minimum Hold duration = 0.0 S\n";
    if (values.repetitions < 1)
        messages += "Error:  Minimum Repetitions = 1\n";
    if (F(values.magnitude) > limits.maxMagnitude)
        messages += Format("Error:  Maximum Compress Magnitude = %.1f %s\n",
                           double(limits.maxMagnitude), limits.unit.c_str());
    if (F(values.preload) > F(values.magnitude))
        messages += "Error:  Preload Magnitude > Compress Magnitude\n";
    if (F(values.preload) < limits.minPreload)
        messages += Format("Error:  Minimum Preload Magnitude = %.1f %s\n",
                           double(limits.minPreload), limits.unit.c_str());
    if (values.autoAdjust && values.adjustIndex == 0 && hardware.SpringType == Spring::NoSpring)
        messages += "Error:  Adjust Based on Calibration Spring\n\tRequires use of a calibration "
                    "spring\n\nA calibration spring can be specified\nBy selecting Advanced "
                    "Settings from Hardware Menu\n";
    return messages;
}

int32_t DataFrequencyFor(double holdTime, double restTime, int32_t dataType) {
    if (dataType == DataType::All)
        return DataFrequency::Hz10;
    const double pause = holdTime + restTime;
    if (pause > 10000)
        return DataFrequency::Hz0_001;
    if (pause > 1000)
        return DataFrequency::Hz0_01;
    if (pause > 100)
        return DataFrequency::Hz0_1;
    if (pause > 5)
        return DataFrequency::Hz1;
    return DataFrequency::Hz10;
}

SetEditValues SetEditValuesFrom(const SetRecord& set) {
    SetEditValues values;
    values.name = set.Name;
    values.function = ControlFunctionText(set.XFunction);
    values.magnitude = set.XMagnitude;
    values.preload = set.XPreloadMag;
    values.autoAdjust = set.AutoAdjust != AutoAdjustMode::Off;
    // Spring and every value below it take the first choice (INT32_MIN - 1 would overflow).
    values.adjustIndex = set.AutoAdjust > 1 ? set.AutoAdjust - 1 : 0;
    values.timeUnits = TimeUnitsName(set.TimeUnits);
    values.stretch = set.StretchDurationSec;
    values.hold = set.HoldTimeSec;
    values.recovery = set.RecoveryDurationSec;
    values.rest = set.RestTimeSec;
    values.doNotStretch = set.StretchDurationSec <= 0;
    values.doNotRecover = set.RecoveryDurationSec <= 0;
    values.repetitions = set.NumReps;
    values.dataOutput = DataTypeEditorText(set.DataType);
    return values;
}

void ApplySetEdit(const SetEditValues& values, SetRecord& set) {
    set.Name = FirstCharacters(values.name, kMaxSetNameLength);
    if (values.function == "Ramp")
        set.XFunction = ControlFunction::Ramp;
    else if (values.function == "Sinusoid")
        set.XFunction = ControlFunction::Sinusoid;
    else if (!values.function.empty())
        set.XFunction = kUnknownValue;
    set.XUnits = MagnitudeUnits::N;
    set.XMagnitude = values.magnitude;
    set.XPreloadMag = values.preload;
    set.StretchDurationSec = values.doNotStretch ? 0.0 : values.stretch;
    set.RecoveryDurationSec = values.doNotRecover ? 0.0 : values.recovery;
    set.HoldTimeSec = values.hold;
    set.RestTimeSec = values.rest;
    set.NumReps = static_cast<int32_t>(values.repetitions);
    if (!values.timeUnits.empty())
        set.TimeUnits = ParseTimeUnits(values.timeUnits);
    if (!values.dataOutput.empty())
        set.DataType = ParseDataTypeEditorText(values.dataOutput);
    if (!values.autoAdjust)
        set.AutoAdjust = AutoAdjustMode::Off;
    else if (values.adjustIndex == 0)
        set.AutoAdjust = AutoAdjustMode::Spring;
    else if (values.adjustIndex == 1)
        set.AutoAdjust = AutoAdjustMode::Displacement;
    else
        set.AutoAdjust = AutoAdjustMode::Off;
    set.DataFreqHz = DataFrequencyFor(values.hold, values.rest, set.DataType);
}

std::string SetRuleProblems(const SetRecord& set, const HardwareDescription& hardware) {
    const std::pair<const char*, double> numbers[] = {
        {"Compress Magnitude", set.XMagnitude},         {"Preload Magnitude", set.XPreloadMag},
        {"Compress Duration", set.StretchDurationSec},  {"Hold Duration", set.HoldTimeSec},
        {"Recovery Duration", set.RecoveryDurationSec}, {"Rest Duration", set.RestTimeSec}};
    std::string problems;
    for (const auto& [label, value] : numbers) {
        if (!std::isfinite(value))
            problems += std::string(label) + ":  " + kNotANumberText + "\n";
    }
    // The editor never gets to its rules while a box holds no number.
    if (!problems.empty())
        return problems;
    return ValidateSetEdit(SetEditValuesFrom(set), hardware);
}

std::string SequenceRuleProblems(const SetSequence& sequence, const HardwareDescription& hardware) {
    std::string text;
    for (size_t i = 0; i < sequence.sets.size(); ++i) {
        const std::string problems = SetRuleProblems(sequence.sets[i], hardware);
        if (problems.empty())
            continue;
        if (!text.empty())
            text += "\n";
        text += "Set " + std::to_string(i + 1) + " (" + sequence.sets[i].Name + ")\n" + problems;
    }
    return text;
}
