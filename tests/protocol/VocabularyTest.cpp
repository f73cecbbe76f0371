// Vocabulary texts and parses, number reading and writing, and the sequence-list texts.
#include "common/NumberText.h"
#include "protocol/SequenceDisplay.h"
#include "protocol/SetRecord.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace {

using Parse = std::function<int32_t(std::string_view)>;

struct ParseCases {
    const char* vocabulary;
    Parse parse;
    std::vector<std::pair<std::string, int32_t>> cases;
};

TEST(Vocabulary, ParsesTextsAsTabled) {
    // clang-format off
    const std::vector<ParseCases> vocabularies{
        {"mode", ParseControlMode,
         {{"force", 1}, {"Force", 1}, {"FORCE", 1}, {"disp", 0}, {"Displacement", -1}}},
        {"function", ParseControlFunction,
         {{"ramp", 0}, {"True Strain", 1}, {"strain", 1}, {"Custom", 2}, {"STEP", 3},
          {"sinusoid", 4}, {"Sine", -1}}},
        {"units", ParseMagnitudeUnits,
         {{"%", 0}, {"um", 1}, {"mN", 2}, {"uN", 3}, {"mm", 4}, {"N", 5}, {"n", -1}, {"MM", -1}}},
        {"preload", ParsePreloadType, {{"none", 0}, {"First", 1}, {"EVERY", 2}, {"Each", -1}}},
        {"time", ParseTimeUnits,
         {{"seconds", 0}, {"Minutes", 1}, {"hours", 2}, {"DAYS", 3}, {"mSeconds", 4},
          {"dseconds", 5}, {"S", -1}}},
        {"data", ParseDataType,
         {{"Peaks", 0}, {"None", 1}, {"All(64)", 2}, {"All", 3}, {"Max", 3}, {"all(64)", -1},
          {"All(64) ", -1}}},
        // No number reads as 0 Hz; 25 and 2.5 share the 30 and 5 Hz entries.
        {"data frequency", ParseDataFrequency,
         {{"100", 0}, {"60", 1}, {"30", 2}, {"25", 2}, {"15", 3}, {"10", 4}, {"5", 5}, {"2.5", 5},
          {"1", 6}, {"0.1", 7}, {"0.01", 8}, {"0.001", 9}, {"0", 10}, {"Fast", 10}, {"1Hz", 6},
          {"7", -1}}},
        {"image frequency", ParseImageFrequency,
         {{"60", 0}, {"30", 1}, {"15", 2}, {"10", 3}, {"5", 3}, {"1", 4}, {"0.1", 5}, {"0.01", 6},
          {"0.001", 7}, {"0", 8}, {"100", -1}}},
        {"key", [](std::string_view t) { return static_cast<int32_t>(ParseSetKey(t)); },
         {{"name", 0}, {"XMAGNITUDE", 4}, {"numreps", 23}, {"StretchDurationSec", 19},
          {"tolcorover", 28}, {"TimeUnits", 29}, {"AutoAdjust", 30}, {"Comment", -1}, {"", -1}}},
    };
    // clang-format on
    for (const ParseCases& v : vocabularies) {
        for (const auto& [text, expected] : v.cases) {
            EXPECT_EQ(v.parse(text), expected) << v.vocabulary << " \"" << text << "\"";
        }
    }
}

TEST(Vocabulary, WritesTextsAndInvalidTexts) {
    // clang-format off
    const std::pair<std::string, std::string> written[] = {
        {ControlModeText(0), "Disp"}, {ControlModeText(1), "Force"},
        {ControlModeText(-1), "InvalidMode"}, {ControlFunctionText(1), "Strain"},
        {ControlFunctionText(4), "Sinusoid"}, {ControlFunctionText(5), "InvalidFunction"},
        {MagnitudeUnitsText(0), "%"}, {MagnitudeUnitsText(5), "N"},
        {MagnitudeUnitsText(6), "InvalidUnits"}, {PreloadTypeText(2), "Every"},
        {PreloadTypeText(-1), "InvalidPreloadType"}, {TimeUnitsName(4), "mSeconds"},
        {TimeUnitsName(-1), "InvalidMode"}, {TimeUnitsAbbreviation(0), "S"},
        {TimeUnitsAbbreviation(1), "m"}, {TimeUnitsAbbreviation(5), "dS"},
        {TimeUnitsAbbreviation(9), "InvalidMode"}, {DataTypeText(2), "All(64) "},
        {DataTypeText(3), "All"}, {DataTypeText(4), "InvalidDataType"},
        {DataTypeEditorText(2), "All Data (Max 64/phase)"}, {DataFrequencyText(1), "60"},
        {DataFrequencyText(11), "InvalidDataFrequency"}, {ImageFrequencyText(3), "5"},
        {ImageFrequencyText(-1), "InvalidImageFrequency"}, {AutoAdjustText(0), "false"},
        {AutoAdjustText(1), "true (Spring)"}, {AutoAdjustText(2), "true (Disp.)"},
        {SetKeyText(SetKey::RecoveryDurationSec), "RecoveryDurationSec"},
        {SetKeyText(SetKey::Invalid), "InvalidInstruction"},
    };
    // clang-format on
    for (const auto& [text, expected] : written)
        EXPECT_EQ(text, expected);
    EXPECT_EQ(ParseDataTypeEditorText("Peaks Only"), 0);
    EXPECT_EQ(ParseDataTypeEditorText("All Data"), 3);
}

TEST(Vocabulary, EveryKeyAndValueRoundTrips) {
    for (int32_t id = 0; id < kSetKeyCount; ++id) {
        const auto key = static_cast<SetKey>(id);
        EXPECT_EQ(ParseSetKey(SetKeyText(key)), key);
        EXPECT_EQ(ParseSetKey(UpperAscii(SetKeyText(key))), key);
    }
    // The shared rate entries (25 -> "30", 10 -> "5") are written as their entry's text.
    EXPECT_EQ(DataFrequencyText(ParseDataFrequency("25")), "30");
    EXPECT_EQ(ImageFrequencyText(ParseImageFrequency("10")), "5");
    for (int32_t i = 0; i <= 10; ++i) {
        EXPECT_EQ(ParseDataFrequency(DataFrequencyText(i)), i);
    }
    for (int32_t i = 0; i <= 8; ++i) {
        EXPECT_EQ(ParseImageFrequency(ImageFrequencyText(i)), i);
    }
    const std::vector<double> factors{1, 60, 3600, 86400, 0.001, 0.1};
    for (int32_t u = 0; u < 6; ++u) {
        EXPECT_EQ(ParseTimeUnits(TimeUnitsName(u)), u);
        EXPECT_EQ(TimeUnitsFactor(u), factors[static_cast<size_t>(u)]);
    }
    EXPECT_EQ(TimeUnitsFactor(-1), 1.0);
}

TEST(Vocabulary, OverlongTextsAreUnknownWithoutCutting) {
    // A text cut to its first 1023 characters could match a key; it must not.
    const std::string longKey = std::string("NumReps") + std::string(1100, ' ');
    EXPECT_EQ(ParseSetKey(longKey), SetKey::Invalid);
    const std::string justFits = std::string(1023, 'x');
    EXPECT_EQ(ParseControlMode(justFits), -1);
    EXPECT_EQ(ParseControlMode(std::string(1024, 'x')), -1);
    EXPECT_EQ(ParsePreloadType("EVERY" + std::string(1200, '\0')), -1);
    EXPECT_EQ(ParseTimeUnits(std::string(5000, 'S')), -1);
}

TEST(NumberText, ReadsLeadingNumbersLikeTheCLibrary) {
    const double infinity = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<const char*, double> doubles[] = {
        {"2.5", 2.5}, {"-0.6mm", -0.6}, {"+7", 7.0}, {".5", 0.5}, {"1.23457e+06", 1234570.0},
        {"abc", 0.0}, {"", 0.0}, {"-", 0.0}, {"1e999", infinity}, {"-1e999", -infinity},
        {"1e-999", 0.0}};
    const std::pair<const char*, int32_t> ints[] = {
        {"12abc", 12}, {"-3", -3}, {"2.9", 2}, {"x1", 0},
        {"99999999999999999999", std::numeric_limits<int32_t>::max()},
        {"-99999999999999999999", std::numeric_limits<int32_t>::min()}};
    // clang-format on
    for (const auto& [text, value] : doubles)
        EXPECT_EQ(LeadingDouble(text), value) << text;
    for (const auto& [text, value] : ints)
        EXPECT_EQ(LeadingInt(text), value) << text;
}

TEST(NumberText, WritesTheStreamDefaultNotation) {
    // clang-format off
    const std::pair<std::string, std::string> written[] = {
        {DefaultDoubleText(10.0), "10"}, {DefaultDoubleText(2.5), "2.5"},
        {DefaultDoubleText(0.1), "0.1"}, {DefaultDoubleText(0.123456789), "0.123457"},
        {DefaultDoubleText(1234567.0), "1.23457e+06"}, {DefaultDoubleText(0.00001), "1e-05"},
        {DefaultDoubleText(0.0), "0"}, {FixedText(10.0, 1), "10.0"}, {FixedText(0.1, 3), "0.100"},
        {FixedText(-0.05, 1), "-0.1"}, {FixedText(1e20, 1), "100000000000000000000.0"}};
    // clang-format on
    for (const auto& [text, expected] : written)
        EXPECT_EQ(text, expected);
}

std::vector<std::string> Row(const SetRecord& set, bool hydrostatic) {
    const SetSequence sequence{{set}, {}};
    const auto cells = SequenceListRow(sequence, 0, hydrostatic);
    return {cells.begin(), cells.end()};
}

TEST(SequenceList, ShowsDefaultAndInsertedSets) {
    SetRecord set;
    EXPECT_EQ(Row(set, false),
              (std::vector<std::string>{"Data1", "Ramp 10.0 (%)", "0.0 (%)", "false", "10.0 (S)",
                                        "0.0 (S)", "10.0 (S)", "0.0 (S)", "1", "All(64) "}));
    set.XUnits = MagnitudeUnits::N;
    EXPECT_EQ(Row(set, false)[1], "Ramp 10.0 (N)");
    EXPECT_EQ(Row(set, false)[2], "0.0 (N)");
    EXPECT_EQ(Row(set, true)[1], "Ramp 10.000");
    EXPECT_EQ(Row(set, true)[2], "0.000");
}

TEST(SequenceList, ShowsNoneDurationsUnitsAndInvalidTexts) {
    SetRecord set;
    set.StretchDurationSec = 0;
    set.RecoveryDurationSec = -1;
    set.HoldTimeSec = 2.25;
    set.RestTimeSec = 0;
    set.TimeUnits = TimeUnits::Minutes;
    set.XFunction = ControlFunction::Sinusoid;
    set.XMagnitude = 0.0625;
    set.XPreloadMag = 0.03125;
    set.AutoAdjust = AutoAdjustMode::Displacement;
    set.NumReps = 250;
    set.DataType = -1;
    auto row = Row(set, true);
    EXPECT_EQ(row[1], "Sinusoid 0.062"); // rounded as printf rounds the binary value
    EXPECT_EQ(row[2], "0.031");
    EXPECT_EQ(row[3], "true (Disp.)");
    EXPECT_EQ(row[4], "None");
    EXPECT_EQ(row[5], "2.2 (m)");
    EXPECT_EQ(row[6], "None");
    EXPECT_EQ(row[7], "0.0 (m)");
    EXPECT_EQ(row[8], "250");
    EXPECT_EQ(row[9], "InvalidDataType");
    set.TimeUnits = -1;
    set.XUnits = -1;
    row = Row(set, false);
    EXPECT_EQ(row[5], "2.2 (InvalidMode)");
    EXPECT_EQ(row[1], "Sinusoid 0.1 (InvalidUnits)");
}

TEST(SequenceList, LongNamesAreShownWhole) {
    SetRecord set;
    set.Name = std::string(200, 'n');
    set.XMagnitude = 1e100;
    const auto row = Row(set, false);
    EXPECT_EQ(row[0].size(), 200u);
    EXPECT_EQ(row[1].substr(0, 6), "Ramp 1");
    EXPECT_GT(row[1].size(), 100u);
}

} // namespace
