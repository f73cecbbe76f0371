// A test protocol: an ordered sequence of sets, each one block of cyclic stimulation, with the
// vocabularies of a set's enumerated fields and their texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Enumerated fields are plain 32-bit integers so that a text a vocabulary does not know can be
// kept as -1 and written back as the vocabulary's invalid text.
inline constexpr int32_t kUnknownValue = -1;

namespace ControlMode {
enum : int32_t { Disp = 0, Force = 1 };
}
namespace ControlFunction {
enum : int32_t { Ramp = 0, Strain = 1, Custom = 2, Step = 3, Sinusoid = 4 };
}
namespace MagnitudeUnits {
enum : int32_t { Percent = 0, um = 1, mN = 2, uN = 3, mm = 4, N = 5 };
}
namespace PreloadType {
enum : int32_t { None = 0, First = 1, Every = 2 };
}
namespace TimeUnits {
enum : int32_t { Seconds = 0, Minutes = 1, Hours = 2, Days = 3, mSeconds = 4, dSeconds = 5 };
}
namespace DataType {
enum : int32_t { Peaks = 0, None = 1, All64 = 2, All = 3 };
}
// Indexes into the data recording rates "100", "60", ... "0" Hz.
namespace DataFrequency {
enum : int32_t { Hz100 = 0, Hz60, Hz30, Hz15, Hz10, Hz5, Hz1, Hz0_1, Hz0_01, Hz0_001, Hz0 };
}
// Indexes into the image rates "60", "30", ... "0" Hz.
namespace ImageFrequency {
enum : int32_t { Hz60 = 0, Hz30, Hz15, Hz5, Hz1, Hz0_1, Hz0_01, Hz0_001, Hz0 };
}
namespace AutoAdjustMode {
enum : int32_t { Off = 0, Spring = 1, Displacement = 2 };
}

// Column identifiers of the protocol table.
enum class SetKey : int32_t {
    Invalid = -1,
    Name = 0,
    XMode,
    XFunction,
    XUnits,
    XMagnitude,
    XPreloadType,
    XPreloadMag,
    YMode,
    YFunction,
    YUnits,
    YMagnitude,
    YPreloadType,
    YPreloadMag,
    ZMode,
    ZFunction,
    ZUnits,
    ZMagnitude,
    ZPreloadType,
    ZPreloadMag,
    StretchDurationSec,
    RecoveryDurationSec,
    HoldTimeSec,
    RestTimeSec,
    NumReps,
    DataFreqHz,
    DataType,
    ImageFreqHz,
    Tolerance,
    TolCorOver,
    TimeUnits,
    AutoAdjust,
};
inline constexpr int kSetKeyCount = 31;

// One set. Only the X axis is edited, shown and written; Y and Z keep their defaults unless a
// protocol file with such columns is read.
struct SetRecord {
    int32_t XMode = ::ControlMode::Disp;
    int32_t YMode = ::ControlMode::Disp;
    int32_t ZMode = ::ControlMode::Disp;
    int32_t XFunction = ::ControlFunction::Ramp;
    int32_t YFunction = ::ControlFunction::Strain;
    int32_t ZFunction = ::ControlFunction::Ramp;
    int32_t XUnits = ::MagnitudeUnits::Percent;
    int32_t YUnits = ::MagnitudeUnits::Percent;
    int32_t ZUnits = ::MagnitudeUnits::Percent;
    double XMagnitude = 10.0;
    double YMagnitude = 10.0;
    double ZMagnitude = 10.0;
    int32_t XPreloadType = ::PreloadType::None;
    int32_t YPreloadType = ::PreloadType::None;
    int32_t ZPreloadType = ::PreloadType::None;
    double XPreloadMag = 0.0;
    double YPreloadMag = 0.0;
    double ZPreloadMag = 0.0;
    // The four durations are in the set's TimeUnits despite the "Sec" in their names.
    double StretchDurationSec = 10.0;
    double RecoveryDurationSec = 10.0;
    double HoldTimeSec = 0.0;
    double RestTimeSec = 0.0;
    int32_t NumReps = 1;
    int32_t DataFreqHz = ::DataFrequency::Hz1;
    int32_t ImageFreqHz = ::ImageFrequency::Hz1;
    std::string Name = "Data1";
    double Tolerance = 5.0;
    bool TolCorOver = false;
    int32_t AutoAdjust = ::AutoAdjustMode::Off;
    int32_t TimeUnits = ::TimeUnits::Seconds;
    int32_t DataType = ::DataType::All64;

    bool operator==(const SetRecord&) const = default;
};

// The sets in run order and the columns of the protocol table they were read with.
struct SetSequence {
    std::vector<SetRecord> sets;
    std::vector<SetKey> columns;

    bool operator==(const SetSequence&) const = default;
};

// The device holds at most this many sets; each takes one tenth of its memory.
inline constexpr int kMaxSets = 10;

// Text of each vocabulary value (the invalid text for any value outside it) and the value of a
// text (-1 when the text is not listed). The upper-cased parses accept any letter case; the
// exact ones compare the text as it stands. Texts of 1024 characters or more are unknown.
std::string ControlModeText(int32_t value);
int32_t ParseControlMode(std::string_view text);

std::string ControlFunctionText(int32_t value);
int32_t ParseControlFunction(std::string_view text);

std::string MagnitudeUnitsText(int32_t value);
int32_t ParseMagnitudeUnits(std::string_view text); // exact

std::string PreloadTypeText(int32_t value);
int32_t ParsePreloadType(std::string_view text);

std::string TimeUnitsName(int32_t value);
std::string TimeUnitsAbbreviation(int32_t value);
// Seconds per unit; 1 for a value outside the vocabulary.
double TimeUnitsFactor(int32_t value);
int32_t ParseTimeUnits(std::string_view text);

// Value 2 is "All(64) " with a trailing blank, in files and in the sequence list.
std::string DataTypeText(int32_t value);
int32_t ParseDataType(std::string_view text); // exact; "Max" reads as All
// The set editor's list texts ("Peaks Only", "All Data (Max 64/phase)", ...).
std::string DataTypeEditorText(int32_t value);
int32_t ParseDataTypeEditorText(std::string_view text);

// The frequencies are parsed from the leading number of the text (0 when there is none).
std::string DataFrequencyText(int32_t index);
int32_t ParseDataFrequency(std::string_view text);
std::string ImageFrequencyText(int32_t index);
int32_t ParseImageFrequency(std::string_view text);

// "false", "true (Spring)", "true (Disp.)".
std::string AutoAdjustText(int32_t value);

// "Name", "XMode", ...; "InvalidInstruction" for an unknown key.
std::string SetKeyText(SetKey key);
SetKey ParseSetKey(std::string_view text);

// The thirteen columns every protocol table is written with.
const std::vector<SetKey>& StandardColumns();
