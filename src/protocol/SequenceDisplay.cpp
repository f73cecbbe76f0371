#include "protocol/SequenceDisplay.h"

#include "common/NumberText.h"

namespace {

const SetRecord& At(const SetSequence& sequence, int index) {
    return sequence.sets.at(static_cast<size_t>(index));
}

// "%.1f (%s)" with the set's time-unit abbreviation.
std::string DurationText(double duration, const SetRecord& set) {
    return FixedText(duration, 1) + " (" + TimeUnitsAbbreviation(set.TimeUnits) + ")";
}

} // namespace

const std::array<std::string, kSequenceListColumns>& SequenceListTitles() {
    static const std::array<std::string, kSequenceListColumns> titles{
        "Name",     "Magnitude",   "Preload",  "AutoAdjust",  "Stretch Dur",
        "Hold Dur", "Recover Dur", "Rest Dur", "Repetitions", "Data"};
    return titles;
}

std::string SetNameDisplay(const SetSequence& sequence, int index) {
    return At(sequence, index).Name;
}

std::string MagnitudeDisplay(const SetSequence& sequence, int index, bool hydrostatic) {
    const SetRecord& set = At(sequence, index);
    const std::string function = ControlFunctionText(set.XFunction);
    if (hydrostatic) {
        return function + " " + FixedText(set.XMagnitude, 3);
    }
    return function + " " + FixedText(set.XMagnitude, 1) + " (" + MagnitudeUnitsText(set.XUnits) +
           ")";
}

std::string PreloadDisplay(const SetSequence& sequence, int index, bool hydrostatic) {
    const SetRecord& set = At(sequence, index);
    if (hydrostatic) {
        return FixedText(set.XPreloadMag, 3);
    }
    return FixedText(set.XPreloadMag, 1) + " (" + MagnitudeUnitsText(set.XUnits) + ")";
}

std::string AutoAdjustDisplay(const SetSequence& sequence, int index) {
    return AutoAdjustText(At(sequence, index).AutoAdjust);
}

std::string StretchDurationDisplay(const SetSequence& sequence, int index) {
    const SetRecord& set = At(sequence, index);
    return set.StretchDurationSec <= 0 ? "None" : DurationText(set.StretchDurationSec, set);
}

std::string HoldDurationDisplay(const SetSequence& sequence, int index) {
    const SetRecord& set = At(sequence, index);
    return DurationText(set.HoldTimeSec, set);
}

std::string RecoveryDurationDisplay(const SetSequence& sequence, int index) {
    const SetRecord& set = At(sequence, index);
    return set.RecoveryDurationSec <= 0 ? "None" : DurationText(set.RecoveryDurationSec, set);
}

std::string RestDurationDisplay(const SetSequence& sequence, int index) {
    const SetRecord& set = At(sequence, index);
    return DurationText(set.RestTimeSec, set);
}

std::string RepetitionsDisplay(const SetSequence& sequence, int index) {
    return std::to_string(At(sequence, index).NumReps);
}

std::string DataDisplay(const SetSequence& sequence, int index) {
    return DataTypeText(At(sequence, index).DataType);
}

std::array<std::string, kSequenceListColumns> SequenceListRow(const SetSequence& sequence,
                                                              int index, bool hydrostatic) {
    return {SetNameDisplay(sequence, index),
            MagnitudeDisplay(sequence, index, hydrostatic),
            PreloadDisplay(sequence, index, hydrostatic),
            AutoAdjustDisplay(sequence, index),
            StretchDurationDisplay(sequence, index),
            HoldDurationDisplay(sequence, index),
            RecoveryDurationDisplay(sequence, index),
            RestDurationDisplay(sequence, index),
            RepetitionsDisplay(sequence, index),
            DataDisplay(sequence, index)};
}
