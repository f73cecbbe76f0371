// A line on the link that belongs to no command (a late reply, an echo) is never read as the
// reply to the next one: it is dropped before each command goes out, and a reply whose form does
// not fit its command fails that command (asked again where asking has no effect).
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class StrayLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        controller.portName = "/dev/ttyACM0";
        fw.runState = 4;
        fw.readings[4] = 612;
        fw.listing = {"512 DATA0001.CSV", "7 DATA0001.NAM"};
        fw.readBackLines = {"1000 2000 3000 4000 5 6 1027 8 r r two|words p 2 1",
                            "90000 0 0 0 1 0 2049 0 s s B a 0 0"};
        fw.traceLines = {"0 100", "590 140"};
        fw.files["POSCAL.INI"] = "120\n-80\n5\n0\n-15\n7\n3\n-4\n10";
        fw.files["DATA0001.NAM"] = "Sample\n";
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
    {"Capacity", "0?V", "0?V\r",
     [](Controller& c) {
         int value = -1;
         const int result = c.QueryInteger("0?V\r", value);
         return std::to_string(result) + " " + std::to_string(value);
     }},
    {"Sensor", "0?D 4", "OK\r",
     [](Controller& c) {
         std::string reply;
         int length = 0;
         const int result = c.Query("0?D 4\r", reply, 512, length);
         return std::to_string(result) + " " + reply;
     }},
    {"Record", "0?R 1", "OK\r",
     [](Controller& c) {
         std::string text;
         const int result = c.QueryRecord(1, text);
         return std::to_string(result) + " " + text;
     }},
    {"Setpoint", "0A 100", "612\r",
     [](Controller& c) { return std::to_string(c.Command("0A 100\r")); }, "-3"},
    {"DisplayName", "0F DATA0001.NAM", "OK\r",
     [](Controller& c) {
         std::string first;
         const int result = c.ReadFirstLine("DATA0001.NAM", first);
         return std::to_string(result) + " " + first;
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

    // A listing whose content begins with a reply line every time.
    fw.overrides["0L"] = {"OK\rOK\r\x17", "OK\rError 5\r\x17", "OK\rOK\r\x17"};
    std::vector<std::string> lines{"old"};
    EXPECT_EQ(controller.ReadCardListing(lines), -1);
    EXPECT_TRUE(lines.empty());
    ExpectTheNextQueryGetsItsOwnReply();
}

// Offsets that no attempt brought are not taken for zeros: the connect fails.
TEST_F(StrayLineTest, AConnectWhoseOffsetsNeverFitFails) {
    fw.overrides["0F POSCAL.INI"] = {"OK\rOK\r\x17", "OK\rOK\r\x17", "OK\rOK\r\x17"};
    EXPECT_EQ(controller.Connect(), Controller::kConnectBroken);
    EXPECT_FALSE(controller.serial.IsOpen());
    EXPECT_NE(log.Text().find("does not fit the command 0F POSCAL.INI"), std::string::npos);
}

} // namespace
