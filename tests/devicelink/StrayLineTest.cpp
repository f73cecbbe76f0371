// A line on the link that belongs to no command (a late reply, an echo, the tail of an earlier
// session) is never read as the reply to the next one: it is dropped before each command goes
// out, and a reply whose form does not fit its command fails that command (asked again where
// asking has no effect). A card write that fails or stops still ends the write mode.
#include "common/Interruption.h"
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>

namespace {

class StrayLineTest : public ::testing::Test {
protected:
    ~StrayLineTest() override { interruption::Clear(); }
    void SetUp() override {
        controller.portName = "/dev/ttyACM0";
        fw.runState = 4;
        fw.readings[4] = 612;
        fw.listing = {"512 DATA0001.CSV", "7 DATA0001.NAM"};
        fw.readBackLines = {"1000 2000 3000 4000 5 6 1027 8 r r two|words p 2 1",
                            "90000 0 0 0 1 0 2049 0 s s B a 0 0"};
        fw.traceLines = {"0 100", "590 140"};
        fw.files["POSCAL.INI"] = "120\n-80\n5\n0\n-15\n7\n3\n-4\n10";
        fw.files["DATA0001.CSV"] = "0,1,2\n3,4,5\n";
    }
    void Open() { ASSERT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0); }
    // Each stray line, once it has done its harm, must leave the next query its own reply.
    void ExpectTheNextQueryGetsItsOwnReply() {
        int state = -1;
        EXPECT_EQ(controller.QueryInteger("0?S\r", state), 0);
        EXPECT_EQ(state, 4);
    }

    LogCapture log;
    Controller controller{std::make_unique<ScriptedSerialChannel>()};
    ScriptedSerialChannel& line = static_cast<ScriptedSerialChannel&>(controller.serial.Channel());
    FakeFirmware fw{line};
};

// Every operation that reads replies, summed up as text; the stray line strikes at `command`.
struct Operation {
    const char* name;
    const char* command;
    const char* stray;
    std::function<std::string(Controller&)> run;
    // The result when the stray line comes late (after the command went out), where no form
    // check can tell it from the reply it precedes (empty: the clean result).
    std::string late = {};
};

std::string Offsets(const Controller& c) {
    std::string text;
    for (int32_t offset : c.hardware.positionOffsets.value_or(std::array<int32_t, 9>{}))
        text += std::to_string(offset) + " ";
    return text;
}

const Operation kOperations[] = {
    {"RunState", "0?S", "OK\r",
     [](Controller& c) {
         int value = -1;
         const int result = c.QueryInteger("0?S\r", value);
         return std::to_string(result) + " " + std::to_string(value);
     }},
    {"Sensor", "0?D 4", "OK\r",
     [](Controller& c) {
         std::string reply;
         int length = 0;
         const int result = c.Query("0?D 4\r", reply, 512, length);
         return std::to_string(result) + " " + reply;
     }},
    {"Listing", "0L", "OK\r",
     [](Controller& c) {
         std::vector<std::string> lines;
         std::string text = std::to_string(c.ReadCardListing(lines));
         for (const auto& l : lines)
             text += "|" + l;
         return text;
     }},
    {"Download", "0F DATA0001.CSV", "OK\r",
     [](Controller& c) {
         std::string bytes;
         long long count = 0;
         const int result = c.DownloadInto(
             "DATA0001.CSV",
             [&bytes](std::string_view piece) {
                 bytes += piece;
                 return true;
             },
             count);
         return std::to_string(result) + " " + bytes;
     }},
    // The controller said "Deleted" behind the stray line, but the program cannot know.
    {"Delete", "0X DATA0001.CSV", "OK\r",
     [](Controller& c) { return std::to_string(c.DeleteCardFile("DATA0001.CSV")); }, "-1"},
    {"ReadBack", "0I", "OK\r",
     [](Controller& c) {
         DeviceProgramTable table;
         const int result = c.ReadProgram(table);
         return std::to_string(result) + " " + FormatProgramLine(table[0]) + "|" +
                FormatProgramLine(table[1]);
     }},
    // A trace is not asked for again: the regulator would start from elsewhere.
    {"Trace", "0Z 1 2 2", "OK\r",
     [](Controller& c) {
         std::vector<uint32_t> times(2);
         std::vector<uint16_t> readings(2);
         const int result = c.ReadRawTrace(1, 2, 2, times, readings);
         return std::to_string(result) + " " + std::to_string(times[1]) + " " +
                std::to_string(readings[1]);
     },
     "-1 0 0"},
    {"Connect", "0?R 0", "OK\r",
     [](Controller& c) {
         c.serial.Close();
         const int result = c.Connect();
         return std::to_string(result) + " " + (c.infoLines.empty() ? "-" : c.infoLines[0]) + " " +
                Offsets(c);
     }},
};

TEST_F(StrayLineTest, AStrayLineNeverBecomesTheReplyToACommand) {
    Open();
    for (const Operation& op : kOperations) {
        SCOPED_TRACE(op.name);
        SetUp();
        log.Clear();
        fw.commands.clear();
        const std::string clean = op.run(controller);
        const std::vector<std::string> cleanCommands = fw.commands;
        ExpectTheNextQueryGetsItsOwnReply();
        ASSERT_EQ(log.Text().find("not used"), std::string::npos) << clean;

        // Waiting before the command: dropped without a time-out, and nothing asked twice.
        SetUp();
        log.Clear();
        fw.commands.clear();
        line.ReceiveWaiting(op.stray);
        EXPECT_EQ(op.run(controller), clean);
        EXPECT_EQ(fw.commands, cleanCommands);
        EXPECT_EQ(log.Text().find("Timed Out"), std::string::npos) << log.Text();
        ExpectTheNextQueryGetsItsOwnReply();

        // In front of the reply: the reply does not fit and the command fails, or is asked again.
        SetUp();
        log.Clear();
        fw.strayBefore[op.command] = op.stray;
        EXPECT_EQ(op.run(controller), op.late.empty() ? clean : op.late);
        if (!op.late.empty()) {
            EXPECT_NE(log.Text().find("does not fit the command " + std::string(op.command) +
                                      "; it was not used."),
                      std::string::npos)
                << log.Text();
        }
        EXPECT_EQ(log.Text().find("still taking a file"), std::string::npos) << log.Text();
        ExpectTheNextQueryGetsItsOwnReply();
        EXPECT_EQ(line.PendingPieces(), 0u);
    }
}

TEST_F(StrayLineTest, AReplyThatNeverFitsFailsAfterThreeAttempts) {
    Open();
    fw.overrides["0?R 2"] = {"0?R 2\r", "OK\r", "OK\r"};
    std::string text = "kept";
    EXPECT_EQ(controller.QueryRecord(2, text), 1);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(controller.lastResult, Controller::kErrorReply);
    EXPECT_EQ(fw.commands.size(), 3u);
    EXPECT_EQ(log.Text(), "\nThe controller's reply \"OK\" does not fit the command 0?R 2; it was "
                          "not used.\n");
    ExpectTheNextQueryGetsItsOwnReply();
}

// A file whose content begins with a reply line every time is asked for three times; offsets that
// no attempt brought are not taken for zeros: the connect fails.
TEST_F(StrayLineTest, AConnectWhoseOffsetsNeverFitFails) {
    fw.overrides["0F POSCAL.INI"] = {"OK\rOK\r\x17", "OK\rError 5\r\x17", "OK\rOK\r\x17"};
    EXPECT_EQ(controller.Connect(), Controller::kConnectBroken);
    EXPECT_EQ(std::count(fw.commands.begin(), fw.commands.end(), "0F POSCAL.INI"), 3);
    EXPECT_FALSE(controller.serial.IsOpen());
    EXPECT_NE(log.Text().find("does not fit the command 0F POSCAL.INI"), std::string::npos);
}

TEST_F(StrayLineTest, StaleAndOverlongRepliesOrALeftOpenWriteDoNotShiftTheNextOnes) {
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

TEST_F(StrayLineTest, AFailedPieceEndsTheWrite) {
    Open();
    fw.overrides[std::string(60, 'b')] = {"Error 4\r"};
    EXPECT_EQ(controller.WriteCardFile("T.INI", std::string(60, 'a') + std::string(64, 'b')), -1);
    EXPECT_EQ(fw.commands, (std::vector<std::string>{"0W T.INI", std::string(60, 'a'),
                                                     std::string(60, 'b'), "\x17"}));
    EXPECT_EQ(controller.WriteProblem(),
              "T.INI on the card is incomplete: writing it stopped "
              "after 60 of 124 bytes (the controller answered Error 4).");
}

TEST_F(StrayLineTest, AStopRequestEndsTheWriteAndTheSession) {
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

TEST_F(StrayLineTest, NumberQueriesTakeOnlyNumbersAndAskAgainForThem) {
    Open();
    const struct {
        std::deque<std::string> replies; // then the firmware's own "4"
        int expected;
        std::size_t writes;
    } cases[] = {{{" -12 \r"}, -12, 1},
                 {{"x3\r", "3x\r", "OK\r"}, Controller::kNotANumber, 3},
                 {{"Error 97\r", "0?S\r"}, 4, 3}};
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
