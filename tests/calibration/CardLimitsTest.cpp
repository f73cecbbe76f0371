// Calibration values the card files cannot hold are refused rather than written (a clamped
// offset would be wrong, a coefficient too long for a card line would make the next connect drop
// the whole file); an imported file may have any line end.
#include "calibration/CalibrationMode.h"
#include "calibration/DisplacementCalibration.h"

#include "FakeCalibrationDevice.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(CardLimitsTest, AnOffsetBeyondPoscalIsRefusedAndNothingWritten) {
    FakeCalibrationDevice device;
    std::array<double, 27> direct{};
    for (int w = 0; w < kWellCount; ++w)
        direct[3 * w + 1] = 1.0; // position = reading + offset
    device.hardware.displacementCoefficients = direct;
    device.hardware.positionOffsets = std::array<int32_t, kWellCount>{};
    const OffsetsResult result = CalibratePositions(device, INT32_MIN, 2);
    const CalibrationOutcome outcome = OffsetsOutcome(result);
    EXPECT_TRUE(outcome.error);
    EXPECT_NE(outcome.message.find("Well 1 would be beyond what the controller can hold"),
              std::string::npos)
        << outcome.message;
    EXPECT_TRUE(device.writtenOffsets.empty());
}

TEST(CardLimitsTest, FactorsBeyondMagcalAreNotAppliedAndImportsTakeAnyLineEnd) {
    TempFolder temp("card-limits");
    const std::string header = "Factor,Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,"
                               "Well 9";
    for (const char* end : {"\r", "\n", "\r\n"}) {
        for (const char* a2 : {"0.5", "1e75", "nan"}) {
            const std::string text = header + end + "a,1," + a2 + ",1,1,1,1,1,1,1" + end +
                                     "b,2,2,2,2,2,2,2,2,2" + end + "c,3,3,3,3,3,3,3,3,3";
            const auto path = temp.Path() / "cal.mgg";
            WriteFile(path, text);
            DisplacementCalibration calibration;
            ASSERT_TRUE(calibration.Import(path).ok) << testing::PrintToString(std::string(end));
            EXPECT_EQ(calibration.Factors().c[8], 3.0);
            std::string refusal;
            const bool applies = calibration.ApplyValues(refusal).has_value();
            EXPECT_EQ(applies, std::string(a2) == "0.5") << a2;
            if (!applies) {
                EXPECT_EQ(refusal, "Error:  The factors of Well 2 are beyond what the controller "
                                   "can hold. Nothing was applied.");
            }
        }
    }
}

} // namespace
