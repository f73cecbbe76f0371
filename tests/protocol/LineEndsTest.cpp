// A protocol text reads the same with any line end, its header line included.
#include "protocol/ProtocolTable.h"

#include <gtest/gtest.h>

TEST(ProtocolLineEndsTest, EveryLineEndGivesTheSameSets) {
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        SetSequence sequence;
        const std::string text = "Name\tXMagnitude\tNumReps\t" + end + "One\t10\t2\t" + end +
                                 "Two[_]words\t2.5\t3\t" + end;
        EXPECT_TRUE(ReadProtocolText(text, sequence, nullptr).Complete());
        ASSERT_EQ(sequence.sets.size(), 2u) << testing::PrintToString(end);
        EXPECT_EQ(sequence.sets[1].Name + std::to_string(sequence.sets[1].NumReps), "Two words3");
    }
}
