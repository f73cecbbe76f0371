#include "protocol/SetRecord.h"

#include "common/NumberText.h"

#include <array>
#include <utility>

namespace {

// Longer texts are not looked up at all rather than cut: a cut text could match a key.
constexpr size_t kMaxLookupLength = 1023;

template <size_t N>
std::string TextOf(const std::array<const char*, N>& texts, int32_t value, const char* invalid) {
    if (value >= 0 && static_cast<size_t>(value) < N) {
        return texts[static_cast<size_t>(value)];
    }
    return invalid;
}

// Looks the text up among (text, value) pairs, after upper-casing when asked.
template <size_t N>
int32_t ValueOf(const std::array<std::pair<const char*, int32_t>, N>& entries,
                std::string_view text, bool upperCase) {
    if (text.size() > kMaxLookupLength) {
        return kUnknownValue;
    }
    const std::string key = upperCase ? UpperAscii(text) : std::string(text);
    for (const auto& [entry, value] : entries) {
        if (key == entry) {
            return value;
        }
    }
    return kUnknownValue;
}

constexpr std::array<const char*, 2> kModeTexts{"Disp", "Force"};
constexpr std::array<std::pair<const char*, int32_t>, 2> kModeParse{{{"DISP", 0}, {"FORCE", 1}}};

constexpr std::array<const char*, 5> kFunctionTexts{"Ramp", "Strain", "Custom", "Step", "Sinusoid"};
constexpr std::array<std::pair<const char*, int32_t>, 6> kFunctionParse{
    {{"RAMP", 0}, {"STRAIN", 1}, {"TRUE STRAIN", 1}, {"CUSTOM", 2}, {"STEP", 3}, {"SINUSOID", 4}}};

constexpr std::array<const char*, 6> kUnitsTexts{"%", "um", "mN", "uN", "mm", "N"};
constexpr std::array<std::pair<const char*, int32_t>, 6> kUnitsParse{
    {{"%", 0}, {"um", 1}, {"mN", 2}, {"uN", 3}, {"mm", 4}, {"N", 5}}};

constexpr std::array<const char*, 3> kPreloadTexts{"None", "First", "Every"};
constexpr std::array<std::pair<const char*, int32_t>, 3> kPreloadParse{
    {{"NONE", 0}, {"FIRST", 1}, {"EVERY", 2}}};

constexpr std::array<const char*, 6> kTimeUnitNames{"Seconds", "Minutes",  "Hours",
                                                    "Days",    "mSeconds", "dSeconds"};
constexpr std::array<const char*, 6> kTimeUnitAbbreviations{"S", "m", "h", "d", "mS", "dS"};
constexpr std::array<double, 6> kTimeUnitFactors{1.0, 60.0, 3600.0, 86400.0, 0.001, 0.1};
constexpr std::array<std::pair<const char*, int32_t>, 6> kTimeUnitParse{
    {{"SECONDS", 0}, {"MINUTES", 1}, {"HOURS", 2}, {"DAYS", 3}, {"MSECONDS", 4}, {"DSECONDS", 5}}};

constexpr std::array<const char*, 4> kDataTypeTexts{"Peaks", "None", "All(64) ", "All"};
// The trailing blank of "All(64) " is a separator by the time the file is read.
constexpr std::array<std::pair<const char*, int32_t>, 5> kDataTypeParse{
    {{"Peaks", 0}, {"None", 1}, {"All(64)", 2}, {"All", 3}, {"Max", 3}}};
constexpr std::array<const char*, 4> kDataTypeEditorTexts{"Peaks Only", "None",
                                                          "All Data (Max 64/phase)", "All Data"};
constexpr std::array<std::pair<const char*, int32_t>, 4> kDataTypeEditorParse{
    {{"Peaks Only", 0}, {"None", 1}, {"All Data (Max 64/phase)", 2}, {"All Data", 3}}};

constexpr std::array<const char*, 11> kDataFrequencyTexts{"100", "60",  "30",   "15",    "10", "5",
                                                          "1",   "0.1", "0.01", "0.001", "0"};
// Compared in this order; 25 shares the 30 Hz entry and 2.5 the 5 Hz entry.
constexpr std::array<std::pair<double, int32_t>, 13> kDataFrequencyParse{{{100, 0},
                                                                          {60, 1},
                                                                          {30, 2},
                                                                          {25, 2},
                                                                          {15, 3},
                                                                          {10, 4},
                                                                          {2.5, 5},
                                                                          {5, 5},
                                                                          {1, 6},
                                                                          {0.1, 7},
                                                                          {0.01, 8},
                                                                          {0.001, 9},
                                                                          {0, 10}}};

constexpr std::array<const char*, 9> kImageFrequencyTexts{"60",  "30",   "15",    "5", "1",
                                                          "0.1", "0.01", "0.001", "0"};
// 10 Hz shares the 5 Hz entry.
constexpr std::array<std::pair<double, int32_t>, 10> kImageFrequencyParse{
    {{10, 3}, {1, 4}, {0.1, 5}, {0.01, 6}, {0.001, 7}, {0, 8}, {5, 3}, {15, 2}, {30, 1}, {60, 0}}};

constexpr std::array<const char*, 3> kAutoAdjustTexts{"false", "true (Spring)", "true (Disp.)"};

constexpr std::array<const char*, kSetKeyCount> kKeyTexts{"Name",
                                                          "XMode",
                                                          "XFunction",
                                                          "XUnits",
                                                          "XMagnitude",
                                                          "XPreloadType",
                                                          "XPreloadMag",
                                                          "YMode",
                                                          "YFunction",
                                                          "YUnits",
                                                          "YMagnitude",
                                                          "YPreloadType",
                                                          "YPreloadMag",
                                                          "ZMode",
                                                          "ZFunction",
                                                          "ZUnits",
                                                          "ZMagnitude",
                                                          "ZPreloadType",
                                                          "ZPreloadMag",
                                                          "StretchDurationSec",
                                                          "RecoveryDurationSec",
                                                          "HoldTimeSec",
                                                          "RestTimeSec",
                                                          "NumReps",
                                                          "DataFreqHz",
                                                          "DataType",
                                                          "ImageFreqHz",
                                                          "Tolerance",
                                                          "TolCorOver",
                                                          "TimeUnits",
                                                          "AutoAdjust"};

template <size_t N>
int32_t FrequencyIndex(const std::array<std::pair<double, int32_t>, N>& entries,
                       std::string_view text) {
    const double number = LeadingDouble(text);
    for (const auto& [hz, index] : entries) {
        if (number == hz) {
            return index;
        }
    }
    return kUnknownValue;
}

} // namespace

std::string ControlModeText(int32_t value) {
    return TextOf(kModeTexts, value, "InvalidMode");
}
int32_t ParseControlMode(std::string_view text) {
    return ValueOf(kModeParse, text, true);
}

std::string ControlFunctionText(int32_t value) {
    return TextOf(kFunctionTexts, value, "InvalidFunction");
}
int32_t ParseControlFunction(std::string_view text) {
    return ValueOf(kFunctionParse, text, true);
}

std::string MagnitudeUnitsText(int32_t value) {
    return TextOf(kUnitsTexts, value, "InvalidUnits");
}
int32_t ParseMagnitudeUnits(std::string_view text) {
    return ValueOf(kUnitsParse, text, false);
}

std::string PreloadTypeText(int32_t value) {
    return TextOf(kPreloadTexts, value, "InvalidPreloadType");
}
int32_t ParsePreloadType(std::string_view text) {
    return ValueOf(kPreloadParse, text, true);
}

std::string TimeUnitsName(int32_t value) {
    return TextOf(kTimeUnitNames, value, "InvalidMode");
}
std::string TimeUnitsAbbreviation(int32_t value) {
    return TextOf(kTimeUnitAbbreviations, value, "InvalidMode");
}
double TimeUnitsFactor(int32_t value) {
    if (value >= 0 && static_cast<size_t>(value) < kTimeUnitFactors.size()) {
        return kTimeUnitFactors[static_cast<size_t>(value)];
    }
    return 1.0;
}
int32_t ParseTimeUnits(std::string_view text) {
    return ValueOf(kTimeUnitParse, text, true);
}

std::string DataTypeText(int32_t value) {
    return TextOf(kDataTypeTexts, value, "InvalidDataType");
}
int32_t ParseDataType(std::string_view text) {
    return ValueOf(kDataTypeParse, text, false);
}
std::string DataTypeEditorText(int32_t value) {
    return TextOf(kDataTypeEditorTexts, value, "InvalidDataType");
}
int32_t ParseDataTypeEditorText(std::string_view text) {
    return ValueOf(kDataTypeEditorParse, text, false);
}

std::string DataFrequencyText(int32_t index) {
    return TextOf(kDataFrequencyTexts, index, "InvalidDataFrequency");
}
int32_t ParseDataFrequency(std::string_view text) {
    return FrequencyIndex(kDataFrequencyParse, text);
}

std::string ImageFrequencyText(int32_t index) {
    return TextOf(kImageFrequencyTexts, index, "InvalidImageFrequency");
}
int32_t ParseImageFrequency(std::string_view text) {
    return FrequencyIndex(kImageFrequencyParse, text);
}

std::string AutoAdjustText(int32_t value) {
    // Values outside the three modes have no text of their own; they read as switched on.
    return TextOf(kAutoAdjustTexts, value, value == 0 ? "false" : "true");
}

std::string SetKeyText(SetKey key) {
    return TextOf(kKeyTexts, static_cast<int32_t>(key), "InvalidInstruction");
}

SetKey ParseSetKey(std::string_view text) {
    if (text.size() > kMaxLookupLength) {
        return SetKey::Invalid;
    }
    const std::string upper = UpperAscii(text);
    for (size_t i = 0; i < kKeyTexts.size(); ++i) {
        if (upper == UpperAscii(kKeyTexts[i])) {
            return static_cast<SetKey>(i);
        }
    }
    return SetKey::Invalid;
}

const std::vector<SetKey>& StandardColumns() {
    static const std::vector<SetKey> columns{SetKey::Name,
                                             SetKey::XFunction,
                                             SetKey::XUnits,
                                             SetKey::XMagnitude,
                                             SetKey::XPreloadMag,
                                             SetKey::StretchDurationSec,
                                             SetKey::RecoveryDurationSec,
                                             SetKey::HoldTimeSec,
                                             SetKey::RestTimeSec,
                                             SetKey::NumReps,
                                             SetKey::TimeUnits,
                                             SetKey::DataType,
                                             SetKey::AutoAdjust};
    return columns;
}
