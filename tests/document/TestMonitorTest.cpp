// The test monitor's arithmetic: the set running and the time left from the programmed table,
// and the elapsed time counted between polls, paused time left out.
#include "document/TestMonitor.h"

#include <gtest/gtest.h>

namespace {

// "Warm up" 3 x 2 s, then "Main" 20 x 3 min: 01:00:06 in all (entries as "0I" sends them).
DeviceProgramTable TwoSets() {
    DeviceProgramTable table{};
    ParseProgramLine("1000 0 1000 0 3 0 1025 0 r r Warm|up n 0 0", table[0]);
    ParseProgramLine("60000 30000 60000 30000 20 0 1025 0 s s Main n 0 0", table[1]);
    return table;
}

TEST(TestMonitor, ProgressFromTheTable) {
    const DeviceProgramTable table = TwoSets();
    const struct {
        int64_t elapsedMs;
        int set;
        const char* name;
        int64_t leftMs;
    } cases[] = {
        {0, 1, "Warm up", 3606000}, {5999, 1, "Warm up", 3600001},
        {6000, 2, "Main", 3600000}, {3605999, 2, "Main", 1},
        {3606000, 2, "Main", 0},    {9000000, 2, "Main", 0}, // past the end: the last set
    };
    for (const auto& c : cases) {
        const ProgramProgress progress = ProgressAt(table, c.elapsedMs);
        EXPECT_EQ(progress.set, c.set) << c.elapsedMs;
        EXPECT_EQ(progress.setCount, 2);
        EXPECT_EQ(progress.name, c.name) << c.elapsedMs;
        EXPECT_EQ(progress.leftMs, c.leftMs) << c.elapsedMs;
    }

    // Durations are unsigned on the controller: 30 days of stretch pass 2^31 ms.
    DeviceProgramTable days{};
    ParseProgramLine("2592000000 0 0 0 1 0 1 0 s s Long n 0 0", days[0]);
    EXPECT_EQ(ProgressAt(days, 0).leftMs, 2592000000);
    EXPECT_EQ(ClockText(ProgressAt(days, 1000).leftMs), "719:59:59");
}

TEST(TestMonitor, ElapsedCountsRunningTimeSeenFromTheStart) {
    TestMonitor monitor;
    monitor.SetProgram(TwoSets());
    // Running at the first poll: the start was not seen, so nothing is counted.
    EXPECT_FALSE(monitor.Note(3, 0));
    EXPECT_EQ(monitor.StatusText(), "Test running");
    EXPECT_EQ(monitor.LineFields(), "running\t-\t-\t-");
    EXPECT_TRUE(monitor.Note(0, 2000)); // that test has ended
    EXPECT_EQ(monitor.StatusText(), "");

    EXPECT_FALSE(monitor.Note(3, 4000));
    EXPECT_EQ(monitor.StatusText(),
              "Test running: set 1 of 2 (Warm up), 00:00:00 elapsed, about 01:00:06 left");
    EXPECT_FALSE(monitor.Note(3, 6000));
    EXPECT_FALSE(monitor.Note(4, 8000)); // ran until this poll, then paused
    EXPECT_EQ(monitor.LineFields(), "paused\t1 of 2\t00:00:04\t01:00:02");
    EXPECT_FALSE(monitor.Note(4, 68000));
    EXPECT_FALSE(monitor.Note(std::nullopt, 70000)); // a failed poll changes nothing
    EXPECT_FALSE(monitor.Note(3, 80000));
    EXPECT_EQ(monitor.LineFields(), "running\t1 of 2\t00:00:04\t01:00:02");
    EXPECT_FALSE(monitor.Note(3, 90000));
    EXPECT_EQ(monitor.StatusText(),
              "Test running: set 2 of 2 (Main), 00:00:14 elapsed, about 00:59:52 left");

    // Without a table only the elapsed time is known; a lost link forgets the start.
    monitor.SetProgram(DeviceProgramTable{});
    EXPECT_EQ(monitor.StatusText(), "Test running: 00:00:14 elapsed");
    monitor.Reset();
    EXPECT_FALSE(monitor.Note(4, 92000));
    EXPECT_EQ(monitor.StatusText(), "Test paused");
}

} // namespace
