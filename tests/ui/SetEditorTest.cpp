// The set editor dialog: the set and hardware it opens with, its boxes read into the set, one
// message box for the rules that fail.
#include "UiTestSupport.h"

#include "protocol/ui/SetParamEditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace {

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
    ASSERT_EQ(prompt.shown.size(), 1u); // both rules' texts: SetEditRules
    EXPECT_EQ(set, before);
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(editor.MagnitudeEdit()->text(), "5") << "the user's values stay";

    editor.PreloadEdit()->setText("0");
    editor.RepetitionsEdit()->setText("1");
    editor.AutoAdjustCheck()->setChecked(true);
    EXPECT_TRUE(editor.SpringRadio()->isChecked()) << "radio index AutoAdjust - 1, at least 0";
    EXPECT_FALSE(editor.TryAccept());
    EXPECT_NE(prompt.Last().find("Requires use of a calibration spring"), std::string::npos);
    // The editor judges by the description it was opened with, whatever happens to the
    // caller's meanwhile (the device worker may rewrite the document's).
    hw.SpringType = Spring::SilverSpring_9mm_Diam;
    EXPECT_FALSE(editor.TryAccept());
    CSetParamEditor withSpring(set, hw, prompt);
    withSpring.AutoAdjustCheck()->setChecked(true);
    EXPECT_TRUE(withSpring.TryAccept()) << prompt.Last();
    EXPECT_EQ(set.AutoAdjust, AutoAdjustMode::Spring);
}

// Which field goes where is ApplySetEdit's; here the dialog's reading of the boxes.
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
    editor.MagnitudeEdit()->setText("0.7");
    editor.StretchEdit()->setText("0.7");
    editor.RepetitionsEdit()->setText("4");
    ASSERT_TRUE(editor.TryAccept()) << prompt.Last();
    EXPECT_TRUE(prompt.shown.empty());
    EXPECT_EQ(editor.result(), QDialog::Accepted);
    EXPECT_EQ(set.XMagnitude, 0.7) << "stored as typed, not widened from 32 bits";
    EXPECT_EQ(set.StretchDurationSec, 0.7);
    EXPECT_EQ(set.HoldTimeSec, 3);
}

} // namespace
