// Synthetic test runs: the files they leave on the card, in the card formats, and the run
// states the program sees while they run.
#include "TestRun.h"
#include "CardSeed.h"
#include "Firmware.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>

using simtest::Joined;
using simtest::Lines;

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');)
        fields.push_back(f);
    return fields;
}

class TestRunTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim::SeedCard(card, 4050, 1100)); }
    TempFolder dir;
    sim::SimCard card{dir.Path()};
};

TEST_F(TestRunTest, SampleRunWritesDataFileCompanionsAndInfo) {
    // The seeded card already holds test 1; a run makes test 2.
    sim::Plant plant;
    sim::TestRun run(card, sim::ProgramFromTemplate(ReadFile(dir.Path() / "TEMPLATE.INI"), plant),
                     plant);
    ASSERT_TRUE(run.Start());
    EXPECT_EQ(ReadFile(dir.Path() / "INFO1.INI"), "DATA0002.CSV\n");
    EXPECT_EQ(ReadFile(dir.Path() / "DATA0002.NAM"), "Sample\n");
    EXPECT_EQ(ReadFile(dir.Path() / "DATA0002.TMT"), ReadFile(dir.Path() / "TEMPLATE.INI"));
    run.RunToEnd();

    auto lines = Lines(ReadFile(dir.Path() / "DATA0002.CSV"));
    ASSERT_EQ(lines.size(), 1u + 2 * 2 + 3 * 64) << "peaks twice a cycle, 64 a cycle for All(64)";
    EXPECT_EQ(lines[0], sim::kDataHeader);
    long previousTime = -1;
    for (size_t i = 1; i < lines.size(); ++i) {
        auto f = Fields(lines[i]);
        ASSERT_EQ(f.size(), 15u) << lines[i];
        EXPECT_GE(std::stol(f[0]), previousTime);
        previousTime = std::stol(f[0]);
        const bool warm = i <= 4;
        EXPECT_EQ(f[1] + "," + f[2], warm ? "1,Warm|up" : "2,Stretch");
        EXPECT_EQ(std::stoi(f[3]), warm ? int(i + 1) / 2 : int(i - 5) / 64 + 1) << i;
    }
    EXPECT_LT(previousTime, 19000);

    // The first peak of the warm-up is the full set point: raw counts, not hundredths.
    auto peak = Fields(lines[1]);
    DeviceProgramTable table =
        sim::ProgramFromTemplate(ReadFile(dir.Path() / "TEMPLATE.INI"), plant);
    EXPECT_EQ(std::stol(peak[4]), std::lround(table[0].magnitudeSetpoint / 100.0));
}

TEST_F(TestRunTest, RunStatesWhileRunningPausedAndAfter) {
    sim::Firmware firmware(card);
    double now = 0;
    auto state = [&] { return Joined(firmware.Feed("0?S\r", now)); };
    EXPECT_EQ(state(), "0\r");
    ASSERT_TRUE(firmware.StartTest(now, 10.0));
    EXPECT_EQ(state(), "3\r");
    EXPECT_FALSE(firmware.StartTest(now, 10.0)) << "one run at a time";
    auto data = dir.Path() / "DATA0002.CSV";

    now += 500; // 5 s of the 19 s protocol
    firmware.Tick(now);
    size_t linesAtPause = Lines(ReadFile(data)).size();
    EXPECT_GT(linesAtPause, 1u);
    ASSERT_TRUE(firmware.PauseTest(now));
    EXPECT_EQ(state(), "4\r");
    now += 5000;
    firmware.Tick(now);
    EXPECT_EQ(Lines(ReadFile(data)).size(), linesAtPause) << "nothing is recorded while paused";
    ASSERT_TRUE(firmware.ResumeTest(now));
    EXPECT_EQ(state(), "3\r");
    now += 1000;
    firmware.Tick(now);
    EXPECT_EQ(state(), "3\r");
    now += 1000;
    firmware.Tick(now);
    EXPECT_EQ(state(), "0\r");
    EXPECT_EQ(Lines(ReadFile(data)).size(), 1u + 4 + 192);
    auto events = firmware.TakeEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "test finished DATA0002.CSV 196 lines");

    // A stopped run keeps what it recorded.
    ASSERT_TRUE(firmware.StartTest(now, 1.0));
    now += 1500;
    firmware.Tick(now);
    ASSERT_TRUE(firmware.StopTest(now));
    EXPECT_EQ(state(), "0\r");
    size_t stopped = Lines(ReadFile(dir.Path() / "DATA0003.CSV")).size();
    now += 60000;
    firmware.Tick(now);
    EXPECT_EQ(Lines(ReadFile(dir.Path() / "DATA0003.CSV")).size(), stopped);
}

} // namespace
