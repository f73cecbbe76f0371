// A protocol text reads the same with any line end, header line included.
#include "protocol/ProtocolTable.h"

#include <gtest/gtest.h>

namespace {

TEST(ProtocolLineEndsTest, EveryLineEndGivesTheSameSets) {
    const std::string rows[] = {"Name\tXMagnitude\tNumReps\t", "One\t10\t2\t",
                                "Two[_]words\t2.5\t3\t"};
    for (const char* end : {"\n", "\r\n", "\r"}) {
        std::string text;
        for (const std::string& row : rows)
            text += row + end;
        SetSequence sequence;
        const ProtocolReadResult result = ReadProtocolText(text, sequence, nullptr);
        EXPECT_TRUE(result.Complete()) << testing::PrintToString(std::string(end));
        ASSERT_EQ(sequence.sets.size(), 2u) << testing::PrintToString(std::string(end));
        EXPECT_EQ(sequence.columns.size(), 3u);
        EXPECT_EQ(sequence.sets[1].Name, "Two words");
        EXPECT_EQ(sequence.sets[1].XMagnitude, 2.5);
        EXPECT_EQ(sequence.sets[1].NumReps, 3);
    }
}

} // namespace
