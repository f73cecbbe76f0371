// The set editor's rules, free of widgets: the hardware-dependent limits, the checks with their
// collected messages, and how the accepted values are written into the set.
#pragma once

#include "hardware/HardwareDescription.h"
#include "protocol/SetRecord.h"

#include <cstdint>
#include <string>

// What the editor's controls hold. List texts are empty when the list has no selection.
struct SetEditValues {
    std::string name;
    std::string function; // "Ramp", "Sinusoid"
    double magnitude = 0.0;
    double preload = 0.0;
    bool autoAdjust = false;
    int adjustIndex = 0;   // 0 calibration spring, 1 displacements, -1 neither
    std::string timeUnits; // "Seconds", "Minutes", "Hours", "Days"
    double stretch = 0.0;
    double hold = 0.0;
    double recovery = 0.0;
    double rest = 0.0;
    bool doNotStretch = false;
    bool doNotRecover = false;
    int64_t repetitions = 1;
    std::string dataOutput; // "All Data (Max 64/phase)", "All Data", "Peaks Only", "None"
};

struct SetEditLimits {
    float maxMagnitude = 280.0f;
    float minPreload = 0.0f;
    std::string unit = "N"; // "MPa" on a Hydrostatic membrane
};

inline constexpr float kMinStretchRecovery = 0.01f;
inline constexpr int kMaxSetNameLength = 15;

SetEditLimits SetEditLimitsFor(const HardwareDescription& hardware);

// Every failing rule's message, in rule order, joined; empty when the values may be stored.
std::string ValidateSetEdit(const SetEditValues& values, const HardwareDescription& hardware);

// The recording rate chosen from the hold and rest durations (in the set's own units): the longer
// the pauses, the sparser the data; "All Data" always records at 10 Hz.
int32_t DataFrequencyFor(double holdTime, double restTime, int32_t dataType);

// The members as the sequence view fills them before opening the editor. The list texts are the
// set's own values; the editor selects them when it opens.
SetEditValues SetEditValuesFrom(const SetRecord& set);

// Writes accepted values into `set`. A list without a selection (a function or time unit the
// editor does not offer) keeps the set's value.
void ApplySetEdit(const SetEditValues& values, SetRecord& set);
