// Replaying a record: recorded replies for the commands in the record's order, "Error 1" and a
// report for anything else, with the record waiting where it was.
#include "Replay.h"

#include <gtest/gtest.h>

TEST(Replay, AnswersRecordedCommandsInOrderAndRefusesOthers) {
    sim::Replay replay({{0, "", "boot noise\r"},
                        {1, "0?R 0\r", "Kelvastra\r"},
                        {2, "0F X\r", "OK\rab\n\x17"},
                        {3, "0?S\r", "Error 97\r"},
                        {4, "0?S\r", "3\r"}});
    EXPECT_EQ(replay.Total(), 4u);
    // Lines may arrive in pieces, and several in one piece.
    EXPECT_EQ(replay.Feed("0?R"), "");
    EXPECT_EQ(replay.Feed(" 0\r0?S\r"), "Kelvastra\rError 1\r");
    EXPECT_EQ(replay.TakeReports(),
              std::vector<std::string>{"replay: \"0?S\\r\" answered Error 1: the record holds "
                                       "\"0F X\\r\" next (exchange 2)"});
    EXPECT_EQ(replay.Feed("0F X\r0?S\r0?S\r"), "OK\rab\n\x17"
                                               "Error 97\r3\r");
    EXPECT_TRUE(replay.TakeReports().empty());
    EXPECT_EQ(replay.Answered(), 4u);
    EXPECT_EQ(replay.Feed("0?S\r"), "Error 1\r");
    EXPECT_EQ(
        replay.TakeReports(),
        std::vector<std::string>{"replay: \"0?S\\r\" answered Error 1: the record has ended"});
}
