// Factors MAGCAL.INI cannot hold are not applied; an import takes any line end.
#include "calibration/DisplacementCalibration.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(CardLimitsTest, FactorsBeyondMagcalAreNotAppliedAndImportsTakeAnyLineEnd) {
    TempFolder temp("card-limits");
    for (const std::string end : {"\r", "\n", "\r\n"}) {
        for (const std::string a2 : {"0.5", "1e75"}) {
            WriteFile(temp.Path() / "c.mgg", "Factor" + end + "a,1," + a2 + ",1,1,1,1,1,1,1" + end +
                                                 "b,2,2,2,2,2,2,2,2,2" + end +
                                                 "c,3,3,3,3,3,3,3,3,3");
            DisplacementCalibration calibration;
            std::string refusal;
            EXPECT_EQ(calibration.Import(temp.Path() / "c.mgg").ok &&
                          calibration.ApplyValues(refusal).has_value(),
                      a2 == "0.5")
                << a2 << refusal;
        }
    }
}
