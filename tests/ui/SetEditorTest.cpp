// The set editor: its rules as one table, then the dialog wired to them.
#include "UiTestSupport.h"

#include "protocol/SetEditRules.h"
#include "protocol/ui/SetParamEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

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
    ApplySetEdit(v, set);

    SetRecord expected;
    expected.YMagnitude = 42;
    expected.Tolerance = 7;
    expected.XPreloadType = PreloadType::Every;
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

// The dialog itself.
class SetEditor : public WidgetTest {
protected:
    SetRecord set;
    HardwareDescription hw;
};

TEST_F(SetEditor, OpensWithTheSetsValuesAndTheMembranesUnit) {
    set.XFunction = ControlFunction::Sinusoid;
    set.TimeUnits = TimeUnits::Hours;
    set.DataType = DataType::Peaks;
    set.AutoAdjust = AutoAdjustMode::Displacement;
    set.StretchDurationSec = 0;
    CSetParamEditor editor(set, hw, prompt);
    EXPECT_EQ(editor.FunctionList()->currentText(), "Sinusoid");
    EXPECT_EQ(editor.TimeUnitsList()->currentText(), "Hours");
    EXPECT_EQ(editor.DataOutputList()->currentText(), "Peaks Only");
    EXPECT_TRUE(editor.DisplacementRadio()->isChecked());
    EXPECT_TRUE(editor.DoNotStretchCheck()->isChecked());
    EXPECT_FALSE(editor.StretchEdit()->isEnabled());
    EXPECT_TRUE(editor.RecoveryEdit()->isEnabled());
    EXPECT_EQ(editor.MagnitudeLabel()->text(), "Compress Magnitude (N)");

    editor.DoNotRecoverCheck()->setChecked(true);
    EXPECT_EQ(editor.RecoveryEdit()->text(), "0");
    EXPECT_FALSE(editor.RecoveryEdit()->isEnabled());

    // Values the lists do not offer stay unselected and survive OK.
    SetRecord odd;
    odd.XFunction = ControlFunction::Step;
    odd.TimeUnits = TimeUnits::dSeconds;
    CSetParamEditor other(odd, hw, prompt);
    EXPECT_EQ(other.FunctionList()->currentIndex(), -1);
    EXPECT_EQ(other.TimeUnitsList()->currentIndex(), -1);
    EXPECT_FALSE(other.SpringRadio()->isEnabled());
    ASSERT_TRUE(other.TryAccept());
    EXPECT_EQ(odd.XFunction, ControlFunction::Step);
    EXPECT_EQ(odd.TimeUnits, TimeUnits::dSeconds);

    // On a hydrostatic membrane: pressure, and no adjustment whatever the set says.
    set.AutoAdjust = AutoAdjustMode::Spring;
    set.XMagnitude = 0.1;
    hw.MembraneStyle = Membrane::Hydrostatic;
    CSetParamEditor pressure(set, hw, prompt);
    EXPECT_FALSE(pressure.AutoAdjustCheck()->isChecked());
    EXPECT_FALSE(pressure.AutoAdjustCheck()->isEnabled());
    EXPECT_EQ(pressure.MagnitudeLabel()->text(), "Compress Magnitude (MPa)");
    ASSERT_TRUE(pressure.TryAccept()) << prompt.Last();
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Off);
}

TEST_F(SetEditor, FailedRulesShowOneBoxAndLeaveTheSetAlone) {
    const SetRecord before = set;
    hw.RegulatorType = Regulator::ITV1050;
    hw.SpringType = Spring::NoSpring;
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

    editor.PreloadEdit()->setText("0");
    editor.RepetitionsEdit()->setText("1");
    editor.AutoAdjustCheck()->setChecked(true);
    EXPECT_TRUE(editor.SpringRadio()->isChecked()) << "radio index AutoAdjust - 1, at least 0";
    EXPECT_FALSE(editor.TryAccept());
    EXPECT_EQ(prompt.Last(), kSpringMessage);
    // The editor judges by the description it was opened with, whatever happens to the
    // caller's meanwhile (the device worker may rewrite the document's).
    hw.SpringType = Spring::SilverSpring_9mm_Diam;
    EXPECT_FALSE(editor.TryAccept());
    CSetParamEditor withSpring(set, hw, prompt);
    withSpring.AutoAdjustCheck()->setChecked(true);
    EXPECT_TRUE(withSpring.TryAccept()) << prompt.Last();
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Spring);
}

// Which field goes where is ApplySetEdit's (above); here the dialog's reading of the boxes.
TEST_F(SetEditor, OkTakesTypedNumbersOnly) {
    const SetRecord before = set;
    CSetParamEditor editor(set, hw, prompt);
    for (const char* text : {"abc", "", "inf", "nan", "-inf"}) {
        editor.HoldEdit()->setText(text);
        EXPECT_FALSE(editor.TryAccept()) << text;
        EXPECT_EQ(prompt.Last(), "Please enter a number.") << text;
    }
    editor.HoldEdit()->setText(" 3 ");
    editor.RepetitionsEdit()->setText("3000000000");
    EXPECT_FALSE(editor.TryAccept());
    EXPECT_EQ(prompt.Last(), "Please enter a positive integer.");
    EXPECT_EQ(set, before);

    prompt.shown.clear();
    editor.FunctionList()->setCurrentText("Sinusoid");
    editor.MagnitudeEdit()->setText("0.7");
    editor.StretchEdit()->setText("0.7");
    editor.RestEdit()->setText("3");
    editor.RepetitionsEdit()->setText("4");
    ASSERT_TRUE(editor.TryAccept()) << prompt.Last();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(set.XMagnitude, 0.7) << "stored as typed, not widened from 32 bits";
    EXPECT_EQ(set.StretchDurationSec, 0.7);
    EXPECT_EQ(set.HoldTimeSec, 3);
}

} // namespace
