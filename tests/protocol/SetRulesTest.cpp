// The set editor's rules: their messages in order, the data rate, the fields Apply writes, and
// the same rules applied to sets read from protocol text.
#include "protocol/ProtocolTable.h"
#include "protocol/SetEditRules.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const char* const kSpringMessage =
    "Error:  Adjust Based on Calibration Spring\n\tRequires use of a calibration spring\n\nA "
    "calibration spring can be specified\nBy selecting Advanced Settings from Hardware Menu\n";

SetEditValues Valid() {
    SetEditValues v;
    v.name = "Data1";
    v.function = "Ramp";
    v.magnitude = 10;
    v.timeUnits = "Seconds";
    v.stretch = 10;
    v.recovery = 10;
    v.repetitions = 1;
    v.dataOutput = "All Data (Max 64/phase)";
    return v;
}

HardwareDescription Hw(int32_t regulator, int32_t membrane = Membrane::M70A_794um,
                       int32_t spring = Spring::GoldSpring_13mm_Diam) {
    HardwareDescription hw;
    hw.RegulatorType = regulator;
    hw.MembraneStyle = membrane;
    hw.SpringType = spring;
    return hw;
}

using V = SetEditValues;
namespace R = Regulator;
constexpr int32_t kHydro = Membrane::Hydrostatic;
constexpr int32_t kFoam = Membrane::M70A_794um;

TEST(SetEditRules, CollectTheirMessagesInOrder) {
    const struct {
        const char* what;
        std::function<void(V&)> change;
        HardwareDescription hw;
        std::string expected;
    } cases[] = {
        {"valid", [](V&) {}, Hw(R::SMC1050), ""},
        {"no stretch ticked", [](V& v) { v.stretch = 0, v.doNotStretch = true; }, Hw(R::SMC1050),
         ""},
        {"stretch too short", [](V& v) { v.stretch = 0.005; }, Hw(R::SMC1050),
         "Error:  Minimum non-zero Stretch duration = 0.01 S\n"},
        {"stretch at the minimum", [](V& v) { v.stretch = 0.01; }, Hw(R::SMC1050), ""},
        {"recovery too short", [](V& v) { v.recovery = 0; }, Hw(R::SMC1050),
         "Error:  Minimum non-zero Recovery duration = 0.01 S\n"},
        {"negative rest", [](V& v) { v.rest = -1; }, Hw(R::SMC1050),
         "Error:  Minimum Rest duration = 0.0 S\n"},
        {"no repetitions", [](V& v) { v.repetitions = 0; }, Hw(R::SMC1050),
         "Error:  Minimum Repetitions = 1\n"},
        {"magnitude over ITV1050", [](V& v) { v.magnitude = 300; }, Hw(R::ITV1050),
         "Error:  Maximum Compress Magnitude = 280.0 N\n"},
        {"magnitude at ITV1050 limit", [](V& v) { v.magnitude = 280; }, Hw(R::ITV1050), ""},
        {"ITV1010 hydrostatic", [](V& v) { v.magnitude = 0.2; }, Hw(R::ITV1010, kHydro),
         "Error:  Maximum Compress Magnitude = 0.1 MPa\n"},
        {"at the hydrostatic limit", [](V& v) { v.magnitude = 0.9; }, Hw(R::SMC1030, kHydro), ""},
        {"negative preload on QPV+-15", [](V& v) { v.preload = -10; }, Hw(R::QPVPlusMinus15), ""},
        {"negative preload elsewhere", [](V& v) { v.preload = -10; }, Hw(R::ITV1050),
         "Error:  Minimum Preload Magnitude = 0.0 N\n"},
        {"under the QPV+-15 minimum", [](V& v) { v.preload = -33; }, Hw(R::QPVPlusMinus15),
         "Error:  Minimum Preload Magnitude = -32.0 N\n"},
        {"preload over magnitude", [](V& v) { v.magnitude = 5, v.preload = 6; }, Hw(R::SMC1050),
         "Error:  Preload Magnitude > Compress Magnitude\n"},
        {"preload equal to pressure", [](V& v) { v.magnitude = 0.9, v.preload = 0.9; },
         Hw(R::SMC1050, kHydro), ""},
        {"spring adjustment, no spring", [](V& v) { v.autoAdjust = true, v.adjustIndex = 0; },
         Hw(R::SMC1050, kFoam, Spring::NoSpring), kSpringMessage},
        {"displacement, no spring", [](V& v) { v.autoAdjust = true, v.adjustIndex = 1; },
         Hw(R::SMC1050, kFoam, Spring::NoSpring), ""},
        {"several failures",
         [](V& v) {
             v.magnitude = 300, v.preload = 301, v.repetitions = 0, v.stretch = 0, v.hold = -1;
         },
         Hw(R::ITV1050),
         "Error:  Minimum non-zero Stretch duration = 0.01 S\n"
         "Error:  Minimum Hold duration = 0.0 S\n"
         "Error:  Minimum Repetitions = 1\n"
         "Error:  Maximum Compress Magnitude = 280.0 N\n"
         "Error:  Preload Magnitude > Compress Magnitude\n"},
    };
    for (const auto& c : cases) {
        SetEditValues values = Valid();
        c.change(values);
        EXPECT_EQ(ValidateSetEdit(values, c.hw), c.expected) << c.what;
    }
}

TEST(SetEditRules, DataRateFollowsPausesAndDataType) {
    const struct {
        double hold, rest;
        int32_t dataType, expected;
    } cases[] = {
        {3, 3, DataType::All64, 6},     {0, 2, DataType::All64, 4},
        {2000, 0, DataType::Peaks, 8},  {5, 0, DataType::All64, 4},
        {100, 0.5, DataType::None, 7},  {100, 0, DataType::All64, 6},
        {10000, 1, DataType::All64, 9}, {10000, 0, DataType::All64, 8},
        {2000, 0, DataType::All, 4},    {20000, 0, kUnknownValue, 9},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DataFrequencyFor(c.hold, c.rest, c.dataType), c.expected)
            << c.hold << "+" << c.rest << " type " << c.dataType;
}

TEST(SetEditRules, ApplyWritesTheEditedFieldsOnly) {
    SetRecord set;
    set.YMagnitude = 42;
    set.Tolerance = 7;
    set.XPreloadType = PreloadType::Every;
    SetEditValues v = Valid();
    v.name = "ABCDEFGHIJKLMNOPQRST";
    v.function = "Sinusoid";
    v.magnitude = 12.5;
    v.preload = 1.5;
    v.timeUnits = "Minutes";
    v.stretch = 2, v.hold = 3, v.recovery = 4, v.rest = 3, v.repetitions = 7;
    v.dataOutput = "Peaks Only";
    v.autoAdjust = true, v.adjustIndex = 1;
    SetRecord expected = set; // the fields the editor does not show stay
    ApplySetEdit(v, set);
    expected.Name = "ABCDEFGHIJKLMNO";
    expected.XFunction = ControlFunction::Sinusoid;
    expected.XUnits = MagnitudeUnits::N;
    expected.XMagnitude = 12.5;
    expected.XPreloadMag = 1.5;
    expected.TimeUnits = TimeUnits::Minutes;
    expected.StretchDurationSec = 2, expected.HoldTimeSec = 3, expected.RecoveryDurationSec = 4;
    expected.RestTimeSec = 3, expected.NumReps = 7;
    expected.DataType = DataType::Peaks;
    expected.AutoAdjust = AutoAdjustMode::Displacement;
    expected.DataFreqHz = DataFrequency::Hz1;
    EXPECT_EQ(set, expected);

    // Nothing selected in a list keeps the set's value; the adjustment needs box and radio.
    set.XFunction = ControlFunction::Step;
    v.function.clear();
    v.dataOutput = "All Data";
    v.hold = 2000;
    v.adjustIndex = 0;
    ApplySetEdit(v, set);
    EXPECT_EQ(set.XFunction, ControlFunction::Step);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Spring);
    EXPECT_EQ(set.DataType, DataType::All);
    EXPECT_EQ(set.DataFreqHz, DataFrequency::Hz10);
    v.adjustIndex = -1;
    ApplySetEdit(v, set);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Off);
    v.autoAdjust = false, v.adjustIndex = 1;
    ApplySetEdit(v, set);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Off);

    // The 15-character cut never splits a character.
    v.name = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
             "abcdefghij";
    ApplySetEdit(v, set);
    EXPECT_EQ(set.Name, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                        "abcdefg");
}

TEST(SetRules, SetsFromTextAreCheckedAsTheEditorChecksThem) {
    HardwareDescription hydrostatic;
    hydrostatic.RegulatorType = Regulator::ITV1010;
    hydrostatic.MembraneStyle = Membrane::Hydrostatic;
    const std::string nan = ":  Please enter a number.\n";
    const struct {
        std::string row; // XMagnitude XPreloadMag StretchDurationSec HoldTimeSec NumReps
        HardwareDescription hardware;
        std::string expected;
    } cases[] = {
        {"nan inf 1 0 1", {}, "Set 2 (A)\nCompress Magnitude" + nan + "Preload Magnitude" + nan},
        {"1 0 -nan 1e999 1", {}, "Set 2 (A)\nCompress Duration" + nan + "Hold Duration" + nan},
        {"12.25 0 1 0 -3", hydrostatic,
         "Set 2 (A)\nError:  Minimum Repetitions = 1\nError:  Maximum Compress Magnitude = 0.1 "
         "MPa\n"},
        {"0.1 0 0 0 1", hydrostatic, ""}, // no stretch is "Do Not Stretch"
    };
    for (const auto& c : cases) {
        SetSequence sequence;
        ReadProtocolText("Name XMagnitude XPreloadMag StretchDurationSec HoldTimeSec NumReps\n"
                         "ok 0.05 0 1 0 1\nA " +
                             c.row + "\n",
                         sequence, nullptr);
        EXPECT_EQ(SequenceRuleProblems(sequence, c.hardware), c.expected) << c.row;
    }
    // Any AutoAdjust other than 0 and 2 asks for the spring, the most negative number too.
    HardwareDescription noSpring;
    noSpring.SpringType = Spring::NoSpring;
    std::string spring[2];
    for (int i = 0; i < 2; ++i) {
        SetSequence sequence;
        ReadProtocolText(std::string("Name AutoAdjust\nA ") + (i ? "-2147483648" : "1") + "\n",
                         sequence, nullptr);
        spring[i] = SequenceRuleProblems(sequence, noSpring);
    }
    EXPECT_NE(spring[0].find("Requires use of a calibration spring"), std::string::npos);
    EXPECT_EQ(spring[1], spring[0]);
    // Without a rate column each set gets the editor's rate; without a known column, no protocol.
    SetSequence sequence;
    ReadProtocolText("HoldTimeSec RestTimeSec DataType\n3 3 Max\n3 3 Peaks\n", sequence, nullptr);
    EXPECT_EQ(sequence.sets.at(0).DataFreqHz, DataFrequency::Hz10);
    EXPECT_EQ(sequence.sets.at(1).DataFreqHz, DataFrequency::Hz1);
    EXPECT_TRUE(ReadProtocolText("Colour Size\nred 3\n", sequence, nullptr).noTable);
}

} // namespace
