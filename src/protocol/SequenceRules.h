// What makes a sequence acceptable to the device, and the figures shown beside it: how long each
// set and the whole sequence run, how much of the device memory the sets take, how far the
// stretch position travels, and the check run before a sequence is saved or programmed.
#pragma once

#include "protocol/SetRecord.h"

#include <cstdint>
#include <string>

// A preload phase lasts this many of the set's time units.
inline constexpr double kPreloadTimeUnits = 2.0;
// The stretch-position limit in millimetres once the device link is set up.
inline constexpr float kDefaultMaxStretchPosMm = 1000.0f;
// Characters a test name may not hold: it becomes a file name on the device card.
inline constexpr std::string_view kForbiddenTestNameCharacters = "\\/:*?\"<>|";

// The preload part of a set's duration in its own time units (2.0 per repetition that has a
// preload phase); 0 for an index outside the sequence.
double PreloadTime(const SetSequence& sequence, int index);
// Seconds; 0 for an index outside the sequence.
double SetDuration(const SetSequence& sequence, int index);
double TotalDuration(const SetSequence& sequence);
// The total duration rounded down to whole seconds; negative totals give 0 and totals beyond
// the 32-bit range are held at its limit.
int32_t TotalSeconds(const SetSequence& sequence);
// "HH:MM:SS", hours not limited ("100:00:00"); negative seconds show as "00:00:00".
std::string TimeText(int32_t seconds);

// Ten percent per set, rounded to one decimal; shown with UsedMemoryText.
double UsedMemory(int setCount);
std::string UsedMemoryText(double percent); // "%.1f"

struct StretchExtremes {
    double maximum = 0.0; // mm
    double minimum = 0.0; // mm
};
// Only displacement ("mm") sets move the stretch position: a set without recovery moves it up
// by NumReps x XMagnitude, a set without stretch moves it back down.
StretchExtremes StretchPositionExtremes(const SetSequence& sequence);

// What the check needs from the window it runs in: a message box with only an OK button, and the
// test-name box.
class ISequenceCheckHost {
public:
    virtual ~ISequenceCheckHost() = default;
    virtual void ShowCheckMessage(const std::string& text) = 0;
    virtual std::string TestName() = 0;
    virtual void SetTestName(const std::string& name) = 0;
};

// The check's messages, as shown.
namespace SequenceCheckText {
inline constexpr const char* kNoSequence = "Please Specify a Test Sequence Before Executing";
inline constexpr const char* kZeroLength =
    "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length";
// Followed by the limit with one decimal and "mm\n".
inline constexpr const char* kMaximumStretchPrefix =
    "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than ";
inline constexpr const char* kMinimumStretch =
    "Error:  Minimum Stretch Position\nAcross All Sets Must Be Greater Than 0.0 mm\n";
inline constexpr const char* kNoMemory =
    "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n";
inline constexpr const char* kInvalidTestName =
    "Warning:  Invalid Characters will be removed\nfrom Test Name / : * ? \" < > | \\\n";
} // namespace SequenceCheckText

// The first rule the sequence breaks, as its message; empty when it may be saved or programmed.
// Does not look at the test name.
std::string FirstSequenceProblem(const SetSequence& sequence, float maxStretchPosMm);
// Every forbidden character replaced by one blank.
std::string CleanTestName(const std::string& name);

// Runs the check on the view's working copy: on the first failing rule shows its message and
// returns -1, changing nothing. Otherwise cleans the test name (with a warning when it had
// forbidden characters), copies the working copy's sets and columns into `committed` and
// returns 1.
int CheckSequence(const SetSequence& working, SetSequence& committed, float maxStretchPosMm,
                  ISequenceCheckHost& host);
