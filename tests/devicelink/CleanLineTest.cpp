// Stale, over-long and non-number replies, a write left open, a card write that fails or stops.
#include "common/Interruption.h"
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class CleanLineTest : public ::testing::Test {
protected:
    ~CleanLineTest() override { interruption::Clear(); }
    void Open() { ASSERT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0); }

    LogCapture log;
    Controller controller{std::make_unique<ScriptedSerialChannel>()};
    ScriptedSerialChannel& line = static_cast<ScriptedSerialChannel&>(controller.serial.Channel());
    FakeFirmware fw{line};
};

TEST_F(CleanLineTest, StaleAndOverlongRepliesOrALeftOpenWriteDoNotShiftTheNextOnes) {
    line.Receive("OK\rab"); // left over from an earlier session
    fw.records[0] = std::string(600, 'x');
    EXPECT_EQ(controller.Connect(), 1);
    EXPECT_EQ(controller.hardware.FirmwareVersion, 4050);

    controller.serial.Close();
    line.Write("0W OLD.INI\r", 11); // a session cut off before its end line
    fw.commands.clear();
    EXPECT_EQ(controller.Connect(), 1);
    EXPECT_EQ(fw.commands.at(1), "\x17");
    EXPECT_EQ(fw.files.count("OLD.INI"), 1u);
}

TEST_F(CleanLineTest, AFailedPieceEndsTheWrite) {
    Open();
    fw.overrides[std::string(60, 'b')] = {"Error 4\r"};
    EXPECT_EQ(controller.WriteCardFile("T.INI", std::string(60, 'a') + std::string(64, 'b')), -1);
    EXPECT_EQ(fw.commands, (std::vector<std::string>{"0W T.INI", std::string(60, 'a'),
                                                     std::string(60, 'b'), "\x17"}));
    EXPECT_EQ(controller.WriteProblem(),
              "T.INI on the card is incomplete: writing it stopped "
              "after 60 of 124 bytes (the controller answered Error 4).");
}

TEST_F(CleanLineTest, AStopRequestEndsTheWriteAndTheSession) {
    int lines = 0;
    line.SetResponder([&lines](ScriptedSerialChannel& channel, const std::string&) {
        if (++lines == 2)
            interruption::Request(SIGINT); // Ctrl-C while the first piece is on its way
        channel.Receive("OK\r");
    });
    Open();
    EXPECT_EQ(controller.WriteCardFile("B.CSV", std::string(200, 'x')), -1);
    EXPECT_EQ(line.Writes(),
              (std::vector<std::string>{"0W B.CSV\r", std::string(60, 'x') + "\r", "\x17\r"}));
    EXPECT_EQ(controller.Command("0?S\r"), 1); // nothing new starts
    EXPECT_EQ(line.Writes().size(), 3u);
}

TEST_F(CleanLineTest, NumberQueriesTakeOnlyNumbersAndAskAgainForThem) {
    Open();
    const struct {
        std::deque<std::string> replies; // then the firmware's own "0"
        int expected;
        std::size_t writes;
    } cases[] = {{{" -12 \r"}, -12, 1},
                 {{"x3\r", "3x\r", "OK\r"}, Controller::kNotANumber, 3},
                 {{"OK\r"}, 0, 2},
                 {{"Error 97\r", "0?S\r"}, 0, 3}};
    for (const auto& c : cases) {
        fw.overrides["0?S"] = c.replies;
        fw.commands.clear();
        int value = -100;
        const int result = controller.QueryInteger("0?S\r", value);
        EXPECT_EQ(result == 0 ? value : result, c.expected) << c.replies.front();
        EXPECT_EQ(fw.commands.size(), c.writes) << c.replies.front();
    }
}

} // namespace
