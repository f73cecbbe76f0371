// The traffic record's text: escaping both ways, the line layout, and reading a record back into
// exchanges.
#include "common/TrafficRecord.h"

#include <gtest/gtest.h>

TEST(TrafficRecord, LinesEscapeWhatIsNotPrintableAndReadEveryByteBack) {
    EXPECT_EQ(TrafficLine(12000034, '>', 7, "0?S\r"), "12.000034 > 7 0?S\\r\n");
    EXPECT_EQ(TrafficLine(5, '!', 0, "open"), "0.000005 ! 0 open\n");
    EXPECT_EQ(EscapeTrafficBytes("0F A\\B.INI\r\n\t\x17\x80 x "),
              "0F A\\\\B.INI\\r\\n\\t\\x17\\x80 x\\x20");
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    std::string back;
    ASSERT_TRUE(UnescapeTrafficBytes(EscapeTrafficBytes(all), back));
    EXPECT_EQ(back, all);
    for (const char* bad : {"\\", "\\q", "\\x1", "\\xG0"})
        EXPECT_FALSE(UnescapeTrafficBytes(bad, back)) << bad;
}

TEST(TrafficRecord, ReadsExchangesInOrderAcrossSessions) {
    const std::string session = "0.000001 ! 0 open\n0.000002 > 1 0F X\\r\n0.000003 < 1 OK\\r\n"
                                "0.000004 < 1 a\\n\\x17\r\n0.000005 > 2 0?S\\r\n";
    std::vector<TrafficExchange> exchanges;
    std::string error;
    // A new session starts new exchanges even where the numbers meet.
    ASSERT_TRUE(ParseTrafficRecord(TrafficSessionHeader() + session + TrafficSessionHeader() +
                                       "0.000001 > 2 0?S\\r\n",
                                   exchanges, error))
        << error;
    const std::vector<TrafficExchange> one{{1, "0F X\r", "OK\ra\n\x17"}, {2, "0?S\r", ""}};
    EXPECT_EQ(exchanges, std::vector<TrafficExchange>({one[0], one[1], one[1]}));

    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {"x > 1 A\n", "line 1: no time stamp"},
             {"# c\n1.0 ? 1 A\n", "line 2: direction is not >, < or !"},
             {"1.0 < 1 \\z\n", "line 1: bad escape in the bytes"}}) {
        EXPECT_FALSE(ParseTrafficRecord(text, exchanges, error));
        EXPECT_EQ(error, message);
    }
}
