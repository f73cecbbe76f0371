#include "UiTestSupport.h"

#include "protocol/ui/SetEditRules.h"
#include "protocol/ui/SetParamEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

namespace {

const char* const kSpringMessage =
    "Error:  Adjust Based on Calibration Spring\n\tRequires use of a calibration spring\n\nA "
    "calibration spring can be specified\nBy selecting Advanced Settings from Hardware Menu\n";

SetEditValues Valid() {
    SetEditValues v;
    v.name = "Data1";
    v.function = "Ramp";
    v.magnitude = 10;
    v.preload = 0;
    v.timeUnits = "Seconds";
    v.stretch = 10;
    v.recovery = 10;
    v.repetitions = 1;
    v.dataOutput = "All Data (Max 64/phase)";
    return v;
}

HardwareDescription Hardware(int32_t regulator, int32_t membrane = Membrane::M70A_794um,
                             int32_t spring = Spring::GoldSpring_13mm_Diam) {
    HardwareDescription hw;
    hw.RegulatorType = regulator;
    hw.MembraneStyle = membrane;
    hw.SpringType = spring;
    return hw;
}

struct RuleCase {
    const char* what;
    std::function<void(SetEditValues&)> change;
    HardwareDescription hardware;
    std::string expected;
};

void PrintTo(const RuleCase& c, std::ostream* out) {
    *out << c.what;
}

std::string RuleName(const testing::TestParamInfo<RuleCase>& info) {
    std::string name;
    for (const char* c = info.param.what; *c; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
}

class SetEditRule : public testing::TestWithParam<RuleCase> {};

TEST_P(SetEditRule, CollectsMessage) {
    SetEditValues values = Valid();
    GetParam().change(values);
    EXPECT_EQ(ValidateSetEdit(values, GetParam().hardware), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, SetEditRule,
    testing::Values(
        RuleCase{"valid", [](SetEditValues&) {}, Hardware(Regulator::SMC1050), ""},
        RuleCase{"no stretch ticked",
                 [](SetEditValues& v) {
                     v.stretch = 0;
                     v.doNotStretch = true;
                 },
                 Hardware(Regulator::SMC1050), ""},
        RuleCase{"stretch too short", [](SetEditValues& v) { v.stretch = 0.005; },
                 Hardware(Regulator::SMC1050),
                 "Error:  Minimum non-zero Stretch duration = 0.01 S\n"},
        RuleCase{"stretch at the minimum", [](SetEditValues& v) { v.stretch = 0.01; },
                 Hardware(Regulator::SMC1050), ""},
        RuleCase{"recovery too short", [](SetEditValues& v) { v.recovery = 0; },
                 Hardware(Regulator::SMC1050),
                 "Error:  Minimum non-zero Recovery duration = 0.01 S\n"},
        RuleCase{"negative rest", [](SetEditValues& v) { v.rest = -1; },
                 Hardware(Regulator::SMC1050), "Error:  Minimum Rest duration = 0.0 S\n"},
        RuleCase{"negative hold", [](SetEditValues& v) { v.hold = -0.5; },
                 Hardware(Regulator::SMC1050), "Error:  Minimum Hold duration = 0.0 S\n"},
        RuleCase{"no repetitions", [](SetEditValues& v) { v.repetitions = 0; },
                 Hardware(Regulator::SMC1050), "Error:  Minimum Repetitions = 1\n"},
        RuleCase{"negative repetitions", [](SetEditValues& v) { v.repetitions = -3; },
                 Hardware(Regulator::SMC1050), "Error:  Minimum Repetitions = 1\n"},
        RuleCase{"magnitude over ITV1050", [](SetEditValues& v) { v.magnitude = 300; },
                 Hardware(Regulator::ITV1050), "Error:  Maximum Compress Magnitude = 280.0 N\n"},
        RuleCase{"magnitude at ITV1050 limit", [](SetEditValues& v) { v.magnitude = 280; },
                 Hardware(Regulator::ITV1050), ""},
        RuleCase{"magnitude over ITV1030", [](SetEditValues& v) { v.magnitude = 161; },
                 Hardware(Regulator::ITV1030), "Error:  Maximum Compress Magnitude = 160.0 N\n"},
        RuleCase{"pressure over ITV1010 hydrostatic", [](SetEditValues& v) { v.magnitude = 0.2; },
                 Hardware(Regulator::ITV1010, Membrane::Hydrostatic),
                 "Error:  Maximum Compress Magnitude = 0.1 MPa\n"},
        RuleCase{"pressure at hydrostatic limit", [](SetEditValues& v) { v.magnitude = 0.9; },
                 Hardware(Regulator::SMC1030, Membrane::Hydrostatic), ""},
        RuleCase{"negative preload on QPV+-15", [](SetEditValues& v) { v.preload = -10; },
                 Hardware(Regulator::QPVPlusMinus15), ""},
        RuleCase{"negative preload elsewhere", [](SetEditValues& v) { v.preload = -10; },
                 Hardware(Regulator::ITV1050), "Error:  Minimum Preload Magnitude = 0.0 N\n"},
        RuleCase{"preload below QPV+-15 minimum", [](SetEditValues& v) { v.preload = -33; },
                 Hardware(Regulator::QPVPlusMinus15),
                 "Error:  Minimum Preload Magnitude = -32.0 N\n"},
        RuleCase{"preload over magnitude",
                 [](SetEditValues& v) {
                     v.magnitude = 5;
                     v.preload = 6;
                 },
                 Hardware(Regulator::SMC1050), "Error:  Preload Magnitude > Compress Magnitude\n"},
        RuleCase{"preload equal to a pressure magnitude",
                 [](SetEditValues& v) {
                     v.magnitude = 0.9;
                     v.preload = 0.9;
                 },
                 Hardware(Regulator::SMC1050, Membrane::Hydrostatic), ""},
        RuleCase{"spring adjustment without spring",
                 [](SetEditValues& v) {
                     v.autoAdjust = true;
                     v.adjustIndex = 0;
                 },
                 Hardware(Regulator::SMC1050, Membrane::M70A_794um, Spring::NoSpring),
                 kSpringMessage},
        RuleCase{"displacement adjustment without spring",
                 [](SetEditValues& v) {
                     v.autoAdjust = true;
                     v.adjustIndex = 1;
                 },
                 Hardware(Regulator::SMC1050, Membrane::M70A_794um, Spring::NoSpring), ""},
        RuleCase{"several failures in rule order",
                 [](SetEditValues& v) {
                     v.magnitude = 300;
                     v.preload = 301;
                     v.repetitions = 0;
                     v.stretch = 0;
                     v.hold = -1;
                 },
                 Hardware(Regulator::ITV1050),
                 "Error:  Minimum non-zero Stretch duration = 0.01 S\n"
                 "Error:  Minimum Hold duration = 0.0 S\n"
                 "Error:  Minimum Repetitions = 1\n"
                 "Error:  Maximum Compress Magnitude = 280.0 N\n"
                 "Error:  Preload Magnitude > Compress Magnitude\n"}),
    RuleName);

TEST(SetEditLimits, FollowRegulatorAndMembrane) {
    struct Case {
        int32_t regulator;
        int32_t membrane;
        float max;
        float minPreload;
        const char* unit;
    };
    const Case cases[] = {
        {Regulator::ITV1050, Membrane::M70A_794um, 280.0f, 0.0f, "N"},
        {Regulator::ITV1030, Membrane::M70A_794um, 160.0f, 0.0f, "N"},
        {Regulator::ITV1010, Membrane::M10A_794um, 32.0f, 0.0f, "N"},
        {Regulator::QPVPlusMinus15, Membrane::M70A_794um, 32.0f, -32.0f, "N"},
        {Regulator::QB3_20, Membrane::M70A_794um, 280.0f, 0.0f, "N"},
        {Regulator::ITV1050, Membrane::Hydrostatic, 0.9f, 0.0f, "MPa"},
        {Regulator::ITV1030, Membrane::Hydrostatic, 0.5f, 0.0f, "MPa"},
        {Regulator::ITV1010, Membrane::Hydrostatic, 0.1f, 0.0f, "MPa"},
        {Regulator::QPVPlusMinus15, Membrane::Hydrostatic, 0.1f, -0.1f, "MPa"},
        {Regulator::Invalid, Membrane::Hydrostatic, 0.9f, 0.0f, "MPa"},
    };
    for (const Case& c : cases) {
        const SetEditLimits limits = SetEditLimitsFor(Hardware(c.regulator, c.membrane));
        EXPECT_EQ(limits.maxMagnitude, c.max) << c.regulator << " " << c.membrane;
        EXPECT_EQ(limits.minPreload, c.minPreload) << c.regulator << " " << c.membrane;
        EXPECT_EQ(limits.unit, c.unit);
    }
}

TEST(SetEditDataRate, FollowsPausesAndDataType) {
    struct Case {
        double hold, rest;
        int32_t dataType;
        int32_t expected;
    };
    const Case cases[] = {
        {3, 3, DataType::All64, 6},     {0, 2, DataType::All64, 4},
        {2000, 0, DataType::Peaks, 8},  {5, 0, DataType::All64, 4},
        {100, 0.5, DataType::None, 7},  {100, 0, DataType::All64, 6},
        {10000, 1, DataType::All64, 9}, {10000, 0, DataType::All64, 8},
        {2000, 0, DataType::All, 4},    {0, 0, DataType::All, 4},
        {20000, 0, kUnknownValue, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DataFrequencyFor(c.hold, c.rest, c.dataType), c.expected)
            << c.hold << "+" << c.rest << " type " << c.dataType;
}

TEST(SetEditApply, WritesTheEditedFieldsOnly) {
    SetRecord set;
    set.YMagnitude = 42;
    set.ImageFreqHz = 2;
    set.Tolerance = 7;
    set.TolCorOver = true;
    set.XPreloadType = PreloadType::Every;
    SetEditValues v = Valid();
    v.name = "ABCDEFGHIJKLMNOPQRST";
    v.function = "Sinusoid";
    v.magnitude = 12.5;
    v.preload = 1.5;
    v.timeUnits = "Minutes";
    v.stretch = 2;
    v.hold = 3;
    v.recovery = 4;
    v.rest = 3;
    v.repetitions = 7;
    v.dataOutput = "Peaks Only";
    v.autoAdjust = true;
    v.adjustIndex = 1;
    ApplySetEdit(v, set);

    EXPECT_EQ(set.Name, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(set.XFunction, ControlFunction::Sinusoid);
    EXPECT_EQ(set.XUnits, MagnitudeUnits::N);
    EXPECT_EQ(set.XMagnitude, 12.5);
    EXPECT_EQ(set.XPreloadMag, 1.5);
    EXPECT_EQ(set.TimeUnits, TimeUnits::Minutes);
    EXPECT_EQ(set.StretchDurationSec, 2);
    EXPECT_EQ(set.HoldTimeSec, 3);
    EXPECT_EQ(set.RecoveryDurationSec, 4);
    EXPECT_EQ(set.RestTimeSec, 3);
    EXPECT_EQ(set.NumReps, 7);
    EXPECT_EQ(set.DataType, DataType::Peaks);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Displacement);
    EXPECT_EQ(set.DataFreqHz, DataFrequency::Hz1);
    // Untouched by the editor.
    EXPECT_EQ(set.YMagnitude, 42);
    EXPECT_EQ(set.ImageFreqHz, 2);
    EXPECT_EQ(set.Tolerance, 7);
    EXPECT_TRUE(set.TolCorOver);
    EXPECT_EQ(set.XPreloadType, PreloadType::Every);
}

TEST(SetEditApply, AdjustmentAndUnofferedListValues) {
    SetRecord set;
    set.XFunction = ControlFunction::Step;
    set.TimeUnits = TimeUnits::mSeconds;
    SetEditValues v = Valid();
    v.function.clear();
    v.timeUnits.clear();
    v.dataOutput = "All Data";
    v.autoAdjust = true;
    v.adjustIndex = 0;
    v.hold = 2000;
    ApplySetEdit(v, set);
    EXPECT_EQ(set.XFunction, ControlFunction::Step) << "nothing selected keeps the set's value";
    EXPECT_EQ(set.TimeUnits, TimeUnits::mSeconds);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Spring);
    EXPECT_EQ(set.DataType, DataType::All);
    EXPECT_EQ(set.DataFreqHz, DataFrequency::Hz10);

    v.adjustIndex = -1;
    ApplySetEdit(v, set);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Off);
    v.autoAdjust = false;
    v.adjustIndex = 1;
    ApplySetEdit(v, set);
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Off);
}

TEST(SetEditApply, NameCutNeverSplitsACharacter) {
    SetRecord set;
    SetEditValues v = Valid();
    v.name = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
             "abcdefghij";
    ApplySetEdit(v, set);
    EXPECT_EQ(set.Name, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                        "abcdefg");
}

// The dialog itself.
class SetEditor : public testing::Test {
protected:
    void SetUp() override { TestApp(); }
    RecordingPrompt prompt;
};

TEST_F(SetEditor, OpensWithTheSetsValuesSelected) {
    SetRecord set;
    set.XFunction = ControlFunction::Sinusoid;
    set.TimeUnits = TimeUnits::Hours;
    set.DataType = DataType::Peaks;
    set.AutoAdjust = AutoAdjustMode::Displacement;
    set.StretchDurationSec = 0;
    HardwareDescription hw;
    CSetParamEditor editor(set, hw, prompt);
    EXPECT_EQ(editor.FunctionList()->currentText(), "Sinusoid");
    EXPECT_EQ(editor.TimeUnitsList()->currentText(), "Hours");
    EXPECT_EQ(editor.DataOutputList()->currentText(), "Peaks Only");
    EXPECT_TRUE(editor.AutoAdjustCheck()->isChecked());
    EXPECT_TRUE(editor.DisplacementRadio()->isChecked());
    EXPECT_TRUE(editor.SpringRadio()->isEnabled());
    EXPECT_TRUE(editor.DoNotStretchCheck()->isChecked());
    EXPECT_FALSE(editor.StretchEdit()->isEnabled());
    EXPECT_FALSE(editor.DoNotRecoverCheck()->isChecked());
    EXPECT_TRUE(editor.RecoveryEdit()->isEnabled());
    EXPECT_EQ(editor.MagnitudeLabel()->text(), "Compress Magnitude (N)");
}

TEST_F(SetEditor, UnofferedValuesLeaveListsUnselected) {
    SetRecord set;
    set.XFunction = ControlFunction::Step;
    set.TimeUnits = TimeUnits::dSeconds;
    HardwareDescription hw;
    CSetParamEditor editor(set, hw, prompt);
    EXPECT_EQ(editor.FunctionList()->currentIndex(), -1);
    EXPECT_EQ(editor.TimeUnitsList()->currentIndex(), -1);
    ASSERT_TRUE(editor.TryAccept());
    EXPECT_EQ(set.XFunction, ControlFunction::Step);
    EXPECT_EQ(set.TimeUnits, TimeUnits::dSeconds);
}

TEST_F(SetEditor, HydrostaticMembraneSwitchesToPressure) {
    SetRecord set;
    set.AutoAdjust = AutoAdjustMode::Spring;
    set.XMagnitude = 0.1;
    HardwareDescription hw;
    hw.MembraneStyle = Membrane::Hydrostatic;
    CSetParamEditor editor(set, hw, prompt);
    EXPECT_FALSE(editor.AutoAdjustCheck()->isChecked());
    EXPECT_FALSE(editor.AutoAdjustCheck()->isEnabled());
    EXPECT_FALSE(editor.SpringRadio()->isChecked());
    EXPECT_FALSE(editor.DisplacementRadio()->isChecked());
    EXPECT_FALSE(editor.SpringRadio()->isEnabled());
    EXPECT_EQ(editor.MagnitudeLabel()->text(), "Compress Magnitude (MPa)");
    EXPECT_EQ(editor.PreloadLabel()->text(), "Preload Magnitude (MPa)");
    ASSERT_TRUE(editor.TryAccept());
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Off);
    EXPECT_EQ(set.XUnits, MagnitudeUnits::N);
}

TEST_F(SetEditor, CheckBoxesEnableTheirControls) {
    SetRecord set;
    HardwareDescription hw;
    CSetParamEditor editor(set, hw, prompt);
    editor.DoNotRecoverCheck()->setChecked(true);
    EXPECT_EQ(editor.RecoveryEdit()->text(), "0");
    EXPECT_FALSE(editor.RecoveryEdit()->isEnabled());
    editor.DoNotRecoverCheck()->setChecked(false);
    EXPECT_TRUE(editor.RecoveryEdit()->isEnabled());
    EXPECT_EQ(editor.RecoveryEdit()->text(), "0") << "the value stays 0 until typed";

    EXPECT_FALSE(editor.SpringRadio()->isEnabled());
    editor.AutoAdjustCheck()->setChecked(true);
    EXPECT_TRUE(editor.SpringRadio()->isEnabled());
    EXPECT_TRUE(editor.DisplacementRadio()->isEnabled());
    EXPECT_TRUE(editor.SpringRadio()->isChecked()) << "radio index AutoAdjust - 1, at least 0";
}

TEST_F(SetEditor, FailedRulesShowOneBoxAndLeaveTheSetAlone) {
    SetRecord set;
    const SetRecord before = set;
    HardwareDescription hw;
    hw.RegulatorType = Regulator::ITV1050;
    CSetParamEditor editor(set, hw, prompt);
    editor.MagnitudeEdit()->setText("5");
    editor.PreloadEdit()->setText("6");
    editor.RepetitionsEdit()->setText("0");
    EXPECT_FALSE(editor.TryAccept());
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.Last(), "Error:  Minimum Repetitions = 1\n"
                             "Error:  Preload Magnitude > Compress Magnitude\n");
    EXPECT_EQ(set, before);
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(editor.MagnitudeEdit()->text(), "5") << "the user's values stay";
}

TEST_F(SetEditor, TextThatIsNotANumberIsRefusedFirst) {
    SetRecord set;
    const SetRecord before = set;
    HardwareDescription hw;
    CSetParamEditor editor(set, hw, prompt);
    for (const char* text : {"abc", "", "inf", "nan", "-inf"}) {
        editor.HoldEdit()->setText(text);
        EXPECT_FALSE(editor.TryAccept()) << text;
        EXPECT_EQ(prompt.Last(), "Please enter a number.") << text;
    }
    editor.HoldEdit()->setText(" 2.5 ");
    editor.MagnitudeEdit()->setText("nan");
    EXPECT_FALSE(editor.TryAccept());
    editor.MagnitudeEdit()->setText("10");
    editor.HoldEdit()->setText("1");
    editor.RepetitionsEdit()->setText("3000000000");
    EXPECT_FALSE(editor.TryAccept());
    EXPECT_EQ(prompt.Last(), "Please enter a positive integer.");
    EXPECT_EQ(set, before);
}

TEST_F(SetEditor, OkWritesTypedValuesAndDerivedRate) {
    SetRecord set;
    HardwareDescription hw;
    CSetParamEditor editor(set, hw, prompt);
    editor.NameEdit()->setText("Stretch A");
    editor.FunctionList()->setCurrentText("Sinusoid");
    editor.MagnitudeEdit()->setText("0.7");
    editor.TimeUnitsList()->setCurrentText("Minutes");
    editor.StretchEdit()->setText("0.7");
    editor.HoldEdit()->setText("3");
    editor.RestEdit()->setText("3");
    editor.RepetitionsEdit()->setText("4");
    ASSERT_TRUE(editor.TryAccept()) << prompt.Last();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(set.Name, "Stretch A");
    EXPECT_EQ(set.XFunction, ControlFunction::Sinusoid);
    EXPECT_EQ(set.XMagnitude, 0.7) << "stored as typed, not widened from 32 bits";
    EXPECT_EQ(set.StretchDurationSec, 0.7);
    EXPECT_EQ(set.TimeUnits, TimeUnits::Minutes);
    EXPECT_EQ(set.NumReps, 4);
    EXPECT_EQ(set.DataFreqHz, DataFrequency::Hz1);

    editor.DataOutputList()->setCurrentText("All Data");
    ASSERT_TRUE(editor.TryAccept());
    EXPECT_EQ(set.DataType, DataType::All);
    EXPECT_EQ(set.DataFreqHz, DataFrequency::Hz10);
}

TEST_F(SetEditor, LongNameIsCutTo15Characters) {
    SetRecord set;
    set.Name = "ABCDEFGHIJKLMNOPQRST";
    HardwareDescription hw;
    CSetParamEditor editor(set, hw, prompt);
    ASSERT_TRUE(editor.TryAccept());
    EXPECT_EQ(set.Name, "ABCDEFGHIJKLMNO");
}

TEST_F(SetEditor, SpringAdjustmentNeedsASpring) {
    SetRecord set;
    HardwareDescription hw;
    hw.SpringType = Spring::NoSpring;
    CSetParamEditor editor(set, hw, prompt);
    editor.AutoAdjustCheck()->setChecked(true);
    editor.SpringRadio()->setChecked(true);
    EXPECT_FALSE(editor.TryAccept());
    EXPECT_EQ(prompt.Last(), kSpringMessage);

    hw.SpringType = Spring::SilverSpring_9mm_Diam;
    EXPECT_TRUE(editor.TryAccept());
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Spring);
}

} // namespace
