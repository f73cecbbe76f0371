// Vocabulary texts and parses, and the sequence-list texts.
#include "common/NumberText.h"
#include "protocol/SequenceDisplay.h"
#include "protocol/SetRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Each vocabulary's texts round-trip below; here the parses that are not plain round trips:
// case, synonyms, near misses and the texts that stand for invalid values.
TEST(Vocabulary, ParsesSynonymsAndCaseAndRefusesNearMisses) {
    // clang-format off
    const std::pair<int32_t, int32_t> parsed[] = {
        {ParseControlMode("FORCE"), 1},        {ParseControlMode("Displacement"), -1},
        {ParseControlFunction("strain"), 1},   {ParseControlFunction("Sine"), -1},
        {ParseMagnitudeUnits("n"), -1},        {ParseMagnitudeUnits("MM"), -1},
        {ParsePreloadType("Each"), -1},        {ParseTimeUnits("S"), -1},
        {ParseDataType("Max"), 3},             {ParseDataType("all(64)"), -1},
        {ParseDataType("All(64) "), -1},       {ParseDataFrequency("Fast"), 10},
        {ParseDataFrequency("1Hz"), 6},        {ParseDataFrequency("7"), -1},
        {ParseImageFrequency("100"), -1},      {static_cast<int32_t>(ParseSetKey("")), -1},
        {static_cast<int32_t>(ParseSetKey("Comment")), -1},
    };
    // clang-format on
    for (const auto& [value, expected] : parsed)
        EXPECT_EQ(value, expected);
    EXPECT_EQ(ParseDataTypeEditorText("Peaks Only"), 0);
    EXPECT_EQ(ParseDataTypeEditorText("All Data"), 3);
    EXPECT_EQ(TimeUnitsAbbreviation(5), "dS");
    for (const std::string& invalid :
         {ControlModeText(-1), TimeUnitsName(-1), TimeUnitsAbbreviation(9)})
        EXPECT_EQ(invalid, "InvalidMode");
    EXPECT_EQ(DataFrequencyText(11), "InvalidDataFrequency");
    EXPECT_EQ(SetKeyText(SetKey::Invalid), "InvalidInstruction");
}

TEST(Vocabulary, EveryKeyAndValueRoundTrips) {
    for (int32_t id = 0; id < kSetKeyCount; ++id) {
        const auto key = static_cast<SetKey>(id);
        EXPECT_EQ(ParseSetKey(SetKeyText(key)), key);
        EXPECT_EQ(ParseSetKey(UpperAscii(SetKeyText(key))), key);
    }
    // Texts are read without regard to case.
    const auto roundTrips = [](auto parse, auto text, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            EXPECT_EQ(parse(text(i)), i) << text(i);
            EXPECT_EQ(parse(UpperAscii(text(i))), i) << text(i);
        }
    };
    roundTrips(ParseControlMode, ControlModeText, 2);
    roundTrips(ParseControlFunction, ControlFunctionText, 5);
    roundTrips(ParsePreloadType, PreloadTypeText, 3);
    for (int32_t i = 0; i < 6; ++i)
        EXPECT_EQ(ParseMagnitudeUnits(MagnitudeUnitsText(i)), i); // units keep their case
    for (int32_t i = 0; i < 4; ++i) { // "All(64) " reads back as the token before its blank
        const std::string text = DataTypeText(i);
        EXPECT_EQ(ParseDataType(text.substr(0, text.find(' '))), i) << text;
    }
    // The shared rate entries (25 -> "30", 10 -> "5") are written as their entry's text.
    EXPECT_EQ(DataFrequencyText(ParseDataFrequency("25")), "30");
    EXPECT_EQ(ImageFrequencyText(ParseImageFrequency("10")), "5");
    for (int32_t i = 0; i <= 10; ++i)
        EXPECT_EQ(ParseDataFrequency(DataFrequencyText(i)), i);
    for (int32_t i = 0; i <= 8; ++i)
        EXPECT_EQ(ParseImageFrequency(ImageFrequencyText(i)), i);
    for (int32_t u = 0; u < 6; ++u)
        EXPECT_EQ(ParseTimeUnits(TimeUnitsName(u)), u);
}

TEST(Vocabulary, OverlongTextsAreUnknownWithoutCutting) {
    // A text cut to its first 1023 characters could match a key; it must not.
    const std::string longKey = std::string("NumReps") + std::string(1100, ' ');
    EXPECT_EQ(ParseSetKey(longKey), SetKey::Invalid);
    EXPECT_EQ(ParsePreloadType("EVERY" + std::string(1200, '\0')), -1);
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

TEST(SequenceList, ShowsNoneDurationsUnitsInvalidTextsAndLongValues) {
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
    // Magnitudes round as printf rounds the binary value.
    EXPECT_EQ(Row(set, true),
              (std::vector<std::string>{"Data1", "Sinusoid 0.062", "0.031", "true (Disp.)", "None",
                                        "2.2 (m)", "None", "0.0 (m)", "250", "InvalidDataType"}));
    set.TimeUnits = -1;
    set.XUnits = -1;
    auto row = Row(set, false);
    EXPECT_EQ(row[5], "2.2 (InvalidMode)");
    EXPECT_EQ(row[1], "Sinusoid 0.1 (InvalidUnits)");

    // Long names and numbers are shown whole.
    set = SetRecord{};
    set.Name = std::string(200, 'n');
    set.XMagnitude = 1e100;
    row = Row(set, false);
    EXPECT_EQ(row[0].size(), 200u);
    EXPECT_EQ(row[1].substr(0, 6), "Ramp 1");
    EXPECT_GT(row[1].size(), 100u);
}

} // namespace
