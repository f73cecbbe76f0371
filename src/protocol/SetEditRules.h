// The set editor's rules, free of widgets: the hardware-dependent limits, the checks with their
// collected messages, and how the accepted values are written into the set. Program Device, File
// Save and the command-line program apply the same rules to sets that never went through the
// editor (protocol files, scripts).
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
// The editor's answer to text that is not a number.
inline constexpr const char* kNotANumberText = "Please enter a number.";

SetEditLimits SetEditLimitsFor(const HardwareDescription& hardware);
// The fitted regulator's own range in MPa, whatever the membrane: the magnitude limits the
// editor applies with a Hydrostatic membrane.
SetEditLimits RegulatorPressureLimits(const HardwareDescription& hardware);

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

// The editor's checks for a set that did not come through the editor: a magnitude or duration
// that is not a finite number ("nan", "inf", or beyond the double range in a file) is refused as
// the editor refuses text that is not a number, naming the field; otherwise the editor's rules
// apply to the values as the editor would hold them. Empty when the set passes.
std::string SetRuleProblems(const SetRecord& set, const HardwareDescription& hardware);
// The problems of every set that has any, each under its number and name ("Set 2 (Pre load)"),
// sets separated by an empty line; empty when every set passes.
std::string SequenceRuleProblems(const SetSequence& sequence, const HardwareDescription& hardware);
