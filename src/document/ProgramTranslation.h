// The sequence as the controller's program table and back: flags and letters from
// DeviceProgram, magnitudes as set points through the fitted hardware's ForceModel, durations as
// the controller's 32-bit millisecond words. Program Device, Read Device and the command-line
// program share it; it keeps no state.
#pragma once

#include "hardware/HardwareDescription.h"
#include "protocol/DeviceProgram.h"
#include "protocol/SetRecord.h"

#include <string>
#include <vector>

// Program Device's warning, then one line per changed value:
// "Set 1 (Hold) Preload Magnitude: 0.5 N entered, 0.0 N programmed\n".
inline constexpr const char* kValuesChanged =
    "Warning:  The controller will not get every value as entered:\n";

// Clears `table` and fills it from the sets of `sequence`. False, with the reason in `problem`,
// when a magnitude cannot be turned into a set point for `hardware` (or the set point does not
// fit the controller's 32-bit words) or a duration does not fit the controller's 32-bit
// millisecond words; the table then holds what could be turned.
bool SequenceToDeviceProgram(const SetSequence& sequence, const HardwareDescription& hardware,
                             DeviceProgramTable& table, std::string* problem = nullptr);

// The sets the used entries of `table` stand for, as Read Device shows them. False, with the
// reason in `problem`, when `hardware` cannot turn set points back into magnitudes.
bool DeviceProgramToSets(const DeviceProgramTable& table, const HardwareDescription& hardware,
                         std::vector<SetRecord>& sets, std::string* problem = nullptr);

// After SequenceToDeviceProgram: one line for each value of `sequence` that `table` holds
// differently, as Read Device would show it, under kValuesChanged; empty when the controller
// gets what the sequence view shows.
std::string ChangedValuesWarning(const SetSequence& sequence, const DeviceProgramTable& table,
                                 const HardwareDescription& hardware);
