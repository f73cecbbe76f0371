// The per-cycle summary: made from a converted full file or during the conversion, and read
// back by its column names with the per-set statistics of the report.
#include "recordings/CycleSummary.h"

#include "recordings/ConvertFile.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"
#include "recordings/SummaryTable.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace fs = std::filesystem;

namespace {

// The header as the conversion writes it, wells 1..9.
std::string SummaryHeader() {
    std::string header = "Set,Set Name,Cycle,Start (mS),End (mS),Samples,Max Pressure (MPa)";
    for (int well = 1; well <= kWellCount; ++well) {
        const std::string k = std::to_string(well);
        header += ",Max Position " + k + " (um),Min Position " + k + " (um),Amplitude " + k +
                  " (um),Max Force " + k + " (N) (factory),Max Force " + k + " (N) (calibrated)";
    }
    return header;
}

// A summary line from its first seven cells and the cells of the first wells (five each); the
// other wells' cells are empty.
std::string Line(const std::string& cycle, std::vector<std::string> wells) {
    wells.resize(kWellCount, ",,,,");
    std::string line = cycle;
    for (const std::string& well : wells)
        line += "," + well;
    return line + "\r\n";
}

std::string Summarize(const fs::path& folder, const std::string& full) {
    WriteFile(folder / "t_Full.csv", full);
    std::string error;
    EXPECT_EQ(SummarizeFullFile(folder / "t_Full.csv", folder / "t_Summary.csv", error), 0)
        << error;
    return ReadFile(folder / "t_Summary.csv");
}

TEST(CycleSummary, OneLinePerRunOfSetAndCycleWithTheCellsAsWritten) {
    TempFolder temp("summary");
    // Wells 1 and 2 only, well 2 without calibrated forces; runs that change by cycle, by set,
    // and one that comes back without merging. Cells as a full file writes them, plus decimals,
    // long numbers and texts that only a hand-made file holds.
    const std::string full =
        "Time (mS),Set,Set Name,Cycle,Specified Pressure (MPa),Pressure (MPa),Position 1 (um),"
        "Force 1 (N) (factory),Force 1 (N) (calibrated),Spring Force (N),Position 2 (um),"
        "Force 2 (N) (factory)\r\n"
        "100,1,Warm up,1,0.0500,0.0490,150,2.81,8.24,--,-3,-0.05\r\n"
        "200,1,Warm up,1,0.0800,0.0784,280,4.40,12.36,4.40,-0,-0.00\r\n"
        "300,1,Warm up,1,0.0500,0.0512,140,2.75,,--,0,0.00\r\n"
        "400,1,Warm up,2,0.0500,0.0400,12.50,1.00,,--,,\r\n"
        "500,1,Warm up,2,0.0800,0.1000,-3.25,3.10,,--,,\r\n"
        "600,2,Hold,2,0.1000,0.0999,99999999999999,5.00,9.00,--,7,n/a\r\n"
        "\r\n"
        "700,2,Hold,2,0.1000,0.1001,100000000000000,5.01,9.01,--,7,1.5\n"
        "800,2,Hold,2,0.1000,0.1000,-1,4.99,8.99,--,8\r\n"
        "900,1,Warm up,1,0.0500,,150,,,--,5,\r\n";
    const std::string header = SummaryHeader();
    EXPECT_EQ(Summarize(temp.Path(), full),
              header + "\r\n" +
                  Line("1,Warm up,1,100,300,3,0.0784", {"280,140,140,4.40,12.36", "0,-3,3,0.00,"}) +
                  Line("1,Warm up,2,400,500,2,0.1000", {"12.50,-3.25,15.75,3.10,"}) +
                  Line("2,Hold,2,600,800,3,0.1001",
                       {"100000000000000,-1,100000000000001,5.01,9.01", "8,7,1,1.5,"}) +
                  Line("1,Warm up,1,900,900,1,", {"150,150,0,,", "5,5,0,,"}));

    // Peaks of a hydrostatic test: no positions, no time, no names.
    EXPECT_EQ(Summarize(temp.Path(), "Set,Cycle,Specified Pressure (MPa),Pressure (MPa)\n"
                                     "1,1,0.2000,0.0100\n1,1,0.2000,0.1950\n"
                                     "1,2,0.2000,0.0098\n1,2,0.2000,0.1962\n"),
              header + "\r\n" + Line("1,,1,,,2,0.1950", {}) + Line("1,,2,,,2,0.1962", {}));
}

// The converter hands its records over as numbers: signed zeros, NaN and infinities (written as
// empty cells) must come out as from the cells themselves.
TEST(CycleSummary, RecordsGiveTheBytesOfTheirCells) {
    TempFolder temp("summary");
    const std::vector<std::string> titles = {
        ColumnTitle(ColumnCode::Time),           ColumnTitle(ColumnCode::Set),
        ColumnTitle(ColumnCode::Cycle),          ColumnTitle(ColumnCode::SetName),
        ColumnTitle(ColumnCode::ActualPressure), ColumnTitle(ColumnCode::Position1),
        ColumnTitle(ColumnCode::FactoryForce1)};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        int time, set, cycle;
        double pressure, position, force;
        const char* cells;
    };
    const Row rows[] = {{10, 1, 1, -0.0, -0.0, nan, "10,1,1,A,-0.0000,-0,"},
                        {20, 1, 1, 0.0, 0.0, inf, "20,1,1,A,0.0000,0,"},
                        {30, 1, 1, -0.01, -0.3, 1.004, "30,1,1,A,-0.0100,-0,1.00"},
                        {40, 1, 2, -inf, -2.0, -0.0, "40,1,2,A,,-2,-0.00"},
                        {50, 1, 2, nan, -0.0, -0.001, "50,1,2,A,,-0,-0.00"},
                        {60, 2, 2, nan, nan, nan, "60,2,2,A,,,"}};
    std::string full;
    for (size_t i = 0; i < titles.size(); ++i)
        full += (i ? "," : "") + titles[i];
    full += "\r\n";
    CycleSummary summary(temp.Path() / "records.csv");
    ASSERT_TRUE(summary.Open());
    const std::vector<std::string_view> views(titles.begin(), titles.end());
    ASSERT_TRUE(summary.Header(views.data(), views.size()));
    for (const Row& row : rows) {
        DataRecord record;
        record.time = row.time;
        record.set = row.set;
        record.cycle = row.cycle;
        record.name = "A";
        record.actualPressure = row.pressure;
        record.position.fill(nan);
        record.force.fill(nan);
        record.position[0] = row.position;
        record.force[0] = row.force;
        summary.Record(record);
        full += std::string(row.cells) + "\r\n";
    }
    ASSERT_TRUE(summary.Commit());
    const std::string fromCells = Summarize(temp.Path(), full);
    EXPECT_EQ(ReadFile(temp.Path() / "records.csv"), fromCells);
    EXPECT_NE(fromCells.find("\r\n" + Line("1,A,1,10,30,3,0.0000", {"0,-0,0,1.00,"})),
              std::string::npos)
        << fromCells;
    EXPECT_NE(fromCells.find("\r\n" + Line("1,A,2,40,50,2,", {"-0,-2,2,-0.00,"})),
              std::string::npos)
        << fromCells;
}

TEST(CycleSummary, MadeDuringTheConversionAsFromTheFullFile) {
    TempFolder temp("summary");
    const fs::path data = fs::path(KELVASTRA_SOURCE_DIR) / "tests" / "recordings" / "data";
    HardwareDescription hardware;
    hardware.SpringType = Spring::GoldSpring_13mm_Diam;
    const SpringModel spring(hardware.SpringType);
    ForceModel model(std::nullopt, std::nullopt, hardware, &spring);
    CycleSummary summary(temp.Path() / "during.csv");
    ASSERT_TRUE(summary.Open());
    ASSERT_EQ(ConvertFile(model, data / "sample_raw.csv", temp.Path() / "t_Full.csv", true, true,
                          {}, &summary),
              ConvertSuccess);
    ASSERT_TRUE(summary.Commit());

    const std::string during = ReadFile(temp.Path() / "during.csv");
    EXPECT_EQ(during, Summarize(temp.Path(), ReadFile(data / "sample_full.csv")));
    // Well 1 of each cycle; the Hold cycle's times are the first and the last, not the extremes.
    EXPECT_EQ(std::count(during.begin(), during.end(), '\n'), 5);
    for (const char* start : {"1,Stretch A,1,137,2466,18,0.4312,1840,150,1690,60.91,59.87,",
                              "1,Stretch A,2,2603,3151,5,0.2940,1200,600,600,30.40,,",
                              "2,Hold,1,3288,3699,5,0.3430,1450,-3414,4864,34.70,50.66,",
                              "3,Rest,1,3836,3973,2,0.0098,900,0,900,0.86,,"})
        EXPECT_NE(during.find(std::string("\r\n") + start), std::string::npos) << start;

    // A failed conversion commits nothing; a file that is no converted file is refused.
    CycleSummary failed(temp.Path() / "failed.csv");
    ASSERT_TRUE(failed.Open());
    EXPECT_EQ(ConvertFile(model, temp.Path() / "absent.csv", temp.Path() / "x.csv", true, true, {},
                          &failed),
              ConvertInputNotOpened);
    failed.Abort();
    WriteFile(temp.Path() / "raw.csv", "Time(mS),Set,Cycle\n0,1,1\n");
    std::string error;
    EXPECT_EQ(SummarizeFullFile(temp.Path() / "raw.csv", temp.Path() / "s.csv", error), -3);
    EXPECT_EQ(SummarizeFullFile(temp.Path() / "absent.csv", temp.Path() / "s.csv", error), -1);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator()), 4);
    EXPECT_EQ(DefaultSummaryPath("a/T_Full.csv"), fs::path("a/T_Summary.csv"));
    EXPECT_EQ(DefaultSummaryPath("a/T.csv"), fs::path("a/T_Summary.csv"));
}

TEST(SummaryTable, PerSetMeansAndDeviationsOverCycles) {
    // Wells 1 and 2 filled, without a calibrated force.
    const std::string text =
        SummaryHeader() + "\r\n" +
        Line("1,Warmup,1,0,900,10,0.050", {"500,400,100,0.1,", "500,449.5,50.5,1,"}) +
        Line("1,Warmup,2,1000,1900,10,0.050", {"500,398,102,0.2,", "500,449.5,50.5,1,"}) +
        Line("1,Warmup,3,2000,2900,10,0.050", {"500,396,104,0.3,", "500,449.5,50.5,1,"}) +
        Line("2,Strain,1,3000,3900,10,0.050", {"500,300,200,1,", "500,440,60,2,"}) +
        Line("2,Strain,2,4000,4900,10,0.050", {"500,290,210,1.5,", "500,439,61,2,"});
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

} // namespace
