// The set editor's rules applied to sets read from protocol text, and the rate the reader derives.
#include "protocol/ProtocolTable.h"
#include "protocol/SetEditRules.h"

#include <gtest/gtest.h>

namespace {

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
