// Reading a per-cycle summary by its column names and the per-set statistics of the report.
#include "recordings/SummaryTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// The header as the conversion writes it, wells 1..9.
std::string SummaryHeader() {
    std::string header = "Set,Set Name,Cycle,Start (mS),End (mS),Samples,Max Pressure (MPa)";
    for (int k = 1; k <= 9; ++k) {
        const std::string w = std::to_string(k);
        header += ",Max Position " + w + " (um),Min Position " + w + " (um),Amplitude " + w +
                  " (um),Max Force " + w + " (N) (factory),Max Force " + w + " (N) (calibrated)";
    }
    return header;
}

// One row with wells 1 and 2 filled (amplitude, factory force, calibrated force) and the rest
// empty.
std::string Row(int set, const std::string& name, int cycle, int start, double a1, double f1,
                double a2, double f2, const std::string& calibrated1 = "") {
    std::string row = std::to_string(set) + "," + name + "," + std::to_string(cycle) + "," +
                      std::to_string(start) + "," + std::to_string(start + 900) + ",10,0.050";
    auto well = [&](double amplitude, double force, const std::string& cal) {
        row += ",500.0," + std::to_string(500.0 - amplitude) + "," + std::to_string(amplitude) +
               "," + std::to_string(force) + "," + cal;
    };
    well(a1, f1, calibrated1);
    well(a2, f2, "");
    for (int k = 3; k <= 9; ++k)
        row += ",,,,,";
    return row;
}

} // namespace

TEST(SummaryTable, PerSetMeansAndDeviationsOverCycles) {
    const std::string text = SummaryHeader() + "\r\n" + Row(1, "Warmup", 1, 0, 100, 0.1, 50.5, 1) +
                             "\r\n" + Row(1, "Warmup", 2, 1000, 102, 0.2, 50.5, 1) + "\r\n" +
                             Row(1, "Warmup", 3, 2000, 104, 0.3, 50.5, 1) + "\r\n" +
                             Row(2, "Strain", 1, 3000, 200, 1.0, 60, 2) + "\n" +
                             Row(2, "Strain", 2, 4000, 210, 1.5, 61, 2) + "\r\n";
    SummaryTable table;
    std::string error;
    ASSERT_TRUE(ReadSummaryText(text, table, error)) << error;
    ASSERT_EQ(table.cycles.size(), 5u);
    EXPECT_EQ(table.cycles[3].setName, "Strain");
    EXPECT_DOUBLE_EQ(table.cycles[4].startMs, 4000);
    EXPECT_DOUBLE_EQ(table.cycles[4].endMs, 4900);
    EXPECT_DOUBLE_EQ(table.cycles[1].minPosition[0], 398);
    // Without a calibrated value anywhere, the factory force stands in.
    EXPECT_FALSE(table.calibratedForce);
    EXPECT_TRUE(table.hasAmplitude[1]);
    EXPECT_FALSE(table.hasAmplitude[2]);
    EXPECT_FALSE(table.hasForce[2]);

    const auto sets = PerSetStatistics(table);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].setName, "Warmup");
    EXPECT_EQ(sets[0].cycles, 3);
    EXPECT_DOUBLE_EQ(sets[0].amplitude[0].mean, 102.0);
    EXPECT_NEAR(sets[0].amplitude[0].deviation, 2.0, 1e-9);
    EXPECT_NEAR(sets[0].amplitude[1].deviation, 0.0, 1e-9);
    EXPECT_NEAR(sets[0].maxForce[0].mean, 0.2, 1e-9);
    EXPECT_NEAR(sets[0].maxForce[0].deviation, 0.1, 1e-9);
    EXPECT_EQ(sets[1].set, 2);
    EXPECT_DOUBLE_EQ(sets[1].amplitude[0].mean, 205.0);
    EXPECT_NEAR(sets[1].amplitude[0].deviation, std::sqrt(50.0), 1e-9);
    EXPECT_NEAR(sets[1].maxForce[1].mean, 2.0, 1e-9);
    EXPECT_EQ(sets[1].amplitude[2].count, 0);
    EXPECT_TRUE(std::isnan(sets[1].amplitude[2].mean));
}

TEST(SummaryTable, CalibratedForceColumnsOrderAndRefusals) {
    // Columns found by name in any order; the calibrated force wins for every well once any well
    // has it, so wells compare on one kind of force.
    const std::string text = "Cycle,Start (mS),Set,Amplitude 1 (um),Max Force 1 (N) (factory),"
                             "Max Force 1 (N) (calibrated),Max Force 2 (N) (factory)\n"
                             "1,0,1,10.5,0.5,0.7,0.9\n"
                             "2,,1,11,0.5,0.8,0.9\n" // no start: not a cycle row
                             "3,200,1,12,0.6,,0.9\n";
    SummaryTable table;
    std::string error;
    ASSERT_TRUE(ReadSummaryText(text, table, error)) << error;
    ASSERT_EQ(table.cycles.size(), 2u);
    EXPECT_TRUE(table.calibratedForce);
    EXPECT_DOUBLE_EQ(table.cycles[0].maxForce[0], 0.7);
    EXPECT_TRUE(std::isnan(table.cycles[1].maxForce[0]));
    EXPECT_FALSE(table.hasForce[1]);
    EXPECT_EQ(table.cycles[1].cycle, 3);

    EXPECT_FALSE(ReadSummaryText("Time (mS),Set,Cycle\n1,1,1\n", table, error));
    EXPECT_NE(error.find("not a per-cycle summary"), std::string::npos) << error;
    EXPECT_FALSE(ReadSummaryFile("/nonexistent/x_Summary.csv", table, error));
    EXPECT_NE(error.find("/nonexistent/x_Summary.csv"), std::string::npos) << error;
    EXPECT_TRUE(IsSummaryFileName("/a/Test_0001_Summary.CSV"));
    EXPECT_FALSE(IsSummaryFileName("/a/Summary.csv"));
}
