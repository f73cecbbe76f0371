// The cell texts of the sequence list, one function per column. The index must lie inside the
// sequence. On a Hydrostatic membrane magnitudes are pressures shown with three decimals and
// without a unit.
#pragma once

#include "protocol/SetRecord.h"

#include <array>
#include <string>

inline constexpr int kSequenceListColumns = 10;

// "Name", "Magnitude", "Preload", ... "Data": the list's column titles in order.
const std::array<std::string, kSequenceListColumns>& SequenceListTitles();

std::string SetNameDisplay(const SetSequence& sequence, int index);
std::string MagnitudeDisplay(const SetSequence& sequence, int index, bool hydrostatic);
std::string PreloadDisplay(const SetSequence& sequence, int index, bool hydrostatic);
std::string AutoAdjustDisplay(const SetSequence& sequence, int index);
std::string StretchDurationDisplay(const SetSequence& sequence, int index);
std::string HoldDurationDisplay(const SetSequence& sequence, int index);
std::string RecoveryDurationDisplay(const SetSequence& sequence, int index);
std::string RestDurationDisplay(const SetSequence& sequence, int index);
std::string RepetitionsDisplay(const SetSequence& sequence, int index);
std::string DataDisplay(const SetSequence& sequence, int index);

// The ten cells of one row, in column order.
std::array<std::string, kSequenceListColumns> SequenceListRow(const SetSequence& sequence,
                                                              int index, bool hydrostatic);
