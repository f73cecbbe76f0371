// The traffic record's text: escaping both ways, the line layout, and reading a record back into
// exchanges.
#include "common/TrafficRecord.h"

#include <gtest/gtest.h>

TEST(TrafficRecord, EscapesWhatIsNotPrintableAndReadsEveryByteBack) {
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

TEST(TrafficRecord, LinesCarryStampDirectionExchangeAndBytes) {
    EXPECT_EQ(TrafficLine(12000034, '>', 7, "0?S\r"), "12.000034 > 7 0?S\\r\n");
    EXPECT_EQ(TrafficLine(5, '!', 0, "open"), "0.000005 ! 0 open\n");
}

TEST(TrafficRecord, ReadsExchangesInOrderAcrossSessions) {
    const std::string record = TrafficSessionHeader() + "0.000001 ! 0 open\n"
                                                        "0.000002 > 1 0F X\\r\n"
                                                        "0.000003 < 1 OK\\r\n"
                                                        "0.000004 < 1 a\\n\\x17\n"
                                                        "0.000005 > 2 0?S\\r\n" +
                               TrafficSessionHeader() + "0.000001 > 1 0?S\\r\r\n"
                                                        "0.000002 < 1 3\\r\n";
    std::vector<TrafficExchange> exchanges;
    std::string error;
    ASSERT_TRUE(ParseTrafficRecord(record, exchanges, error)) << error;
    ASSERT_EQ(exchanges.size(), 3u);
    EXPECT_EQ(exchanges[0].sent, "0F X\r");
    EXPECT_EQ(exchanges[0].received, "OK\ra\n\x17");
    EXPECT_EQ(exchanges[1].sent, "0?S\r");
    EXPECT_EQ(exchanges[1].received, "");
    EXPECT_EQ(exchanges[2].number, 1u);
    EXPECT_EQ(exchanges[2].received, "3\r");

    for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
             {"x > 1 A\n", "line 1: no time stamp"},
             {"# c\n1.0 ? 1 A\n", "line 2: direction is not >, < or !"},
             {"1.0 > one A\n", "line 1: no exchange number"},
             {"1.0 < 1 \\z\n", "line 1: bad escape in the bytes"}}) {
        EXPECT_FALSE(ParseTrafficRecord(text, exchanges, error));
        EXPECT_EQ(error, message);
    }
}
