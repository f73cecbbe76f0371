#include "protocol/SequenceRules.h"

#include "common/NumberText.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const SetRecord* SetAt(const SetSequence& sequence, int index) {
    if (index < 0 || static_cast<size_t>(index) >= sequence.sets.size()) {
        return nullptr;
    }
    return &sequence.sets[static_cast<size_t>(index)];
}

// Repetitions that start with a preload phase; Z is not looked at.
int PreloadCount(const SetRecord& set) {
    const bool every =
        set.XPreloadType == PreloadType::Every || set.YPreloadType == PreloadType::Every;
    const bool first =
        set.XPreloadType == PreloadType::First || set.YPreloadType == PreloadType::First;
    if (set.NumReps <= 0) {
        return 0;
    }
    if (every) {
        return set.NumReps;
    }
    return first ? 1 : 0;
}

std::string TwoDigits(int64_t part) {
    return part < 10 ? "0" + std::to_string(part) : std::to_string(part);
}

} // namespace

double PreloadTime(const SetSequence& sequence, int index) {
    const SetRecord* set = SetAt(sequence, index);
    return set != nullptr ? kPreloadTimeUnits * PreloadCount(*set) : 0.0;
}

double SetDuration(const SetSequence& sequence, int index) {
    const SetRecord* set = SetAt(sequence, index);
    if (set == nullptr) {
        return 0.0;
    }
    const double cycle =
        set->StretchDurationSec + set->RecoveryDurationSec + set->HoldTimeSec + set->RestTimeSec;
    return TimeUnitsFactor(set->TimeUnits) * (set->NumReps * cycle + PreloadTime(sequence, index));
}

double TotalDuration(const SetSequence& sequence) {
    double total = 0.0;
    for (size_t i = 0; i < sequence.sets.size(); ++i) {
        total += SetDuration(sequence, static_cast<int>(i));
    }
    return total;
}

int32_t TotalSeconds(const SetSequence& sequence) {
    const double total = std::floor(TotalDuration(sequence));
    // Converting a double beyond the integer's range is undefined; a protocol file can ask for
    // any duration.
    if (std::isnan(total) || total <= 0.0) {
        return 0;
    }
    if (total >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(total);
}

std::string TimeText(int32_t seconds) {
    const int64_t t = seconds < 0 ? 0 : seconds;
    return TwoDigits(t / 3600) + ":" + TwoDigits((t / 60) % 60) + ":" + TwoDigits(t % 60);
}

double UsedMemory(int setCount) {
    return std::floor(setCount * 100.0 / static_cast<double>(kMaxSets) * 10.0 + 0.5) / 10.0;
}

std::string UsedMemoryText(double percent) {
    return FixedText(percent, 1);
}

StretchExtremes StretchPositionExtremes(const SetSequence& sequence) {
    StretchExtremes extremes;
    double position = 0.0;
    for (const SetRecord& set : sequence.sets) {
        if (set.XUnits == MagnitudeUnits::mm) {
            if (set.RecoveryDurationSec == 0) {
                position += set.NumReps * set.XMagnitude;
            } else if (set.StretchDurationSec == 0) {
                position -= set.NumReps * set.XMagnitude;
            }
        }
        extremes.maximum = std::max(extremes.maximum, position);
        extremes.minimum = std::min(extremes.minimum, position);
    }
    return extremes;
}

std::string FirstSequenceProblem(const SetSequence& sequence, float maxStretchPosMm) {
    if (sequence.sets.empty()) {
        return SequenceCheckText::kNoSequence;
    }
    if (!(TotalDuration(sequence) > 0)) {
        return SequenceCheckText::kZeroLength;
    }
    const StretchExtremes extremes = StretchPositionExtremes(sequence);
    if (extremes.maximum > static_cast<double>(maxStretchPosMm)) {
        return std::string(SequenceCheckText::kMaximumStretchPrefix) +
               FixedText(maxStretchPosMm, 1) + "mm\n";
    }
    if (extremes.minimum < 0) {
        return SequenceCheckText::kMinimumStretch;
    }
    if (UsedMemory(static_cast<int>(sequence.sets.size())) > 100.0) {
        return SequenceCheckText::kNoMemory;
    }
    return {};
}

std::string CleanTestName(const std::string& name) {
    std::string clean = name;
    for (char& c : clean) {
        if (kForbiddenTestNameCharacters.find(c) != std::string_view::npos) {
            c = ' ';
        }
    }
    return clean;
}

int CheckSequence(const SetSequence& working, SetSequence& committed, float maxStretchPosMm,
                  ISequenceCheckHost& host) {
    const std::string problem = FirstSequenceProblem(working, maxStretchPosMm);
    if (!problem.empty()) {
        host.ShowCheckMessage(problem);
        return -1;
    }
    const std::string name = host.TestName();
    const std::string clean = CleanTestName(name);
    if (clean != name) {
        host.ShowCheckMessage(SequenceCheckText::kInvalidTestName);
        host.SetTestName(clean);
    }
    committed.sets = working.sets;
    committed.columns = working.columns;
    return 1;
}
