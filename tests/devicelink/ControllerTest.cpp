// The controller's command exchange, identity, program table, raw traces and card files at the
// byte level, and card file rewrites: the old content stays until the new one is whole on the
// card, a refused delete stops the rewrite, and a write that fails has the old content written
// back.
#include "devicelink/Controller.h"
#include "common/Interruption.h"
#include "devicelink/DeviceSession.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>

namespace {

class ControllerTest : public ::testing::Test {
protected:
    ControllerTest() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        line = channel.get();
        controller = std::make_unique<Controller>(std::move(channel));
        controller->portName = "/dev/ttyACM0";
    }
    ~ControllerTest() override { interruption::Clear(); }
    void OpenLine() { ASSERT_EQ(controller->serial.Open("p", false, false, true, true, -1), 0); }
    FakeFirmware& Firmware() {
        if (!firmware)
            firmware = std::make_unique<FakeFirmware>(*line);
        return *firmware;
    }

    LogCapture log;
    ScriptedSerialChannel* line = nullptr;
    std::unique_ptr<Controller> controller;
    std::unique_ptr<FakeFirmware> firmware;
};

// An open line answered by the fake firmware.
class FirmwareLineTest : public ControllerTest {
protected:
    void SetUp() override { OpenLine(); }
    FakeFirmware& fw = Firmware();
};

// --- command exchange ----------------------------------------------------------------------

TEST_F(ControllerTest, ErrorRepliesAndTheRetryOf97) {
    struct Case {
        std::vector<std::string> replies;
        int result;
        int writes;
        int lastResult;
    };
    const Case cases[] = {
        {{"OK\r"}, 0, 1, 0},
        {{"Error 97\r", "Error 97\r", "Error 97\r"}, 97, 3, 1024},
        {{"Error 97\r", "OK\r"}, 0, 2, 0},
        {{"Error 97\r", "Error 97\r", "Error 5\r"}, 5, 3, 1024},
        {{"Error 5\r"}, 5, 1, 1024},
        // Only "Error" marks an error reply; anything else but the acknowledgement does not fit.
        {{"error 5\r"}, Controller::kUnexpectedReply, 1, 1024},
        {{"Error 97\r", "5\r"}, Controller::kUnexpectedReply, 2, 1024},
        {{"Error:12\r"}, 12, 1, 1024},
        {{"Error\r"}, Controller::kErrorWithoutNumber, 1, 1024},
        {{"Error x\r"}, Controller::kErrorWithoutNumber, 1, 1024},
        {{"Error 0\r"}, Controller::kErrorWithoutNumber, 1, 1024},
    };
    OpenLine();
    for (const Case& c : cases) {
        line->ClearWritten();
        for (const auto& reply : c.replies)
            line->Receive(reply);
        EXPECT_EQ(controller->Command("0H\r"), c.result) << c.replies.back();
        EXPECT_EQ(static_cast<int>(line->Writes().size()), c.writes) << c.replies.back();
        for (const auto& written : line->Writes())
            EXPECT_EQ(written, "0H\r");
        EXPECT_EQ(controller->lastResult, c.lastResult) << c.replies.back();
        EXPECT_EQ(line->PendingPieces(), 0u);
    }
}

TEST_F(ControllerTest, SerialFailuresGiveOneWithTheSerialStatus) {
    OpenLine();
    line->FailNextWrite(5);
    EXPECT_EQ(controller->Command("0?S\r"), 1);
    EXPECT_EQ(controller->lastResult, Serial::kWriteFailure);

    EXPECT_EQ(controller->Command("0?S\r"), 1); // nothing comes back
    EXPECT_EQ(controller->lastResult, Serial::kTimedOut);

    line->ReceiveFailure();
    EXPECT_EQ(controller->Command("0?S\r"), 1);
    EXPECT_EQ(controller->lastResult, Serial::kReadFailure);
}

TEST_F(FirmwareLineTest, IdentifyQueriesTwiceLogsTheRecordsAndKeepsFiveEntries) {
    fw.overrides["0?R 1"] = {"R1\r", "Error 5\r"}; // the kept round fails for record 1
    controller->Identify();
    ASSERT_EQ(fw.commands.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(fw.commands[static_cast<std::size_t>(i)], "0?R " + std::to_string(i % 5));
    EXPECT_EQ(controller->infoLines,
              (std::vector<std::string>{"R0", "", "VERSION 4.05", "Hardware = 1250", "R4"}));
    EXPECT_EQ(log.Messages(),
              (std::vector<std::string>{"\nR0\n", "\n", "VERSION 4.05\n", "Hardware = 1250\n",
                                        "R4\n", "Software Version 1.91\n"}));
}

// Connect reads the versions from records 2 and 3 and warns of the one firmware that cannot run
// with this program; the link stays up either way.
TEST_F(ControllerTest, ConnectReadsTheVersionsAndChecksTheFirmware) {
    struct Case {
        std::string record2, record3;
        int firmware, hardware;
        bool notice = false;
    };
    const Case cases[] = {
        {"Firmware version 74.05", "HARDWARE = 999", 74050, 999, true},
        {"VERSION 4.05", "Hardware Rev 1.25", 4050, 0}, // position 11 holds the letter V
        {"VERSION 4.05", "Hardware = ", 4050, 1000},    // too short to hold a number
        {"VERSION 4.05", "xHardware = 1400.9 beta", 4050, 1400},
        {"VERSION 4.05", "Hardware = 12345678901234567890", 4050, INT32_MAX},
        {"VERSION", "Hardware = 1250", 0, 1250},
        {"no number here", "Hardware = 1250", 1000, 1250},
        {"VERSION 0.0005", "Hardware = 1250", 1, 1250}, // rounded half away from zero
        {"VERSION 74.05", "Hardware = 1000", 74050, 1000},
        {"VERSION 74.06", "Hardware = 999", 74060, 999},
    };
    std::vector<std::string> shown;
    controller->SetNoticeHandler([&](const std::string& text, const std::string& caption) {
        shown.push_back(caption + ":" + text);
    });
    const std::vector<std::string> notice{
        "Error:This Software requires firmware Rev 4.0 or higher\nPlease exit this software\n"
        "and update firmware before continuing.\n"};
    for (const Case& c : cases) {
        shown.clear();
        Firmware().records[2] = c.record2;
        Firmware().records[3] = c.record3;
        controller->serial.Close();
        EXPECT_EQ(controller->Connect(), 1) << c.record2;
        EXPECT_TRUE(controller->serial.IsOpen());
        EXPECT_EQ(controller->hardware.FirmwareVersion, c.firmware) << c.record2;
        EXPECT_EQ(controller->hardware.hardwareVersion, c.hardware) << c.record3;
        EXPECT_EQ(shown, c.notice ? notice : std::vector<std::string>{}) << c.record2;
    }
}

TEST_F(ControllerTest, ConnectFailsWhenThePortDoesNotOpenOrNothingAnswers) {
    line->FailOpenAt(OpenStep::OpenPath, 2);
    EXPECT_EQ(controller->Connect(), -1);
    EXPECT_EQ(controller->lastResult, 2);
    EXPECT_TRUE(line->Written().empty());

    // A silent controller: the first identity query times out and nothing more is asked.
    EXPECT_EQ(controller->Connect(), Controller::kConnectNoAnswer);
    EXPECT_EQ(line->Writes(), std::vector<std::string>{"0?R 0\r"});
    EXPECT_FALSE(controller->serial.IsOpen());
}

TEST_F(FirmwareLineTest, OffsetsNeedExactlyNineLinesAndCoefficientsExactly27) {
    for (const char* text : {"1\n2\n3\n4\n5\n6\n7\n8\n", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10", "",
                             "1\n2\n3\n4\n5\n6\n7\n8\nx"}) {
        controller->hardware.positionOffsets = std::array<int32_t, 9>{5, 5, 5, 5, 5, 5, 5, 5, 5};
        fw.files["POSCAL.INI"] = text;
        EXPECT_EQ(controller->ReadPositionOffsets(), 1);
        EXPECT_EQ(*controller->hardware.positionOffsets, (std::array<int32_t, 9>{})) << text;
    }

    // The file as the program writes it: no line feed after the ninth value, which may be a
    // single digit; a stray byte after a final line feed is not a value.
    const std::pair<const char*, int32_t> lastValues[] = {
        {"1\n2\n3\n4\n5\n6\n7\n8\n9", 9},
        {"1\n2\n3\n4\n5\n6\n7\n8\n9\n\r", 9},
        {"1\n2\n3\n4\n5\n6\n7\n8\n-90", -90},
    };
    for (const auto& [text, last] : lastValues) {
        fw.files["POSCAL.INI"] = text;
        controller->ReadPositionOffsets();
        EXPECT_EQ((*controller->hardware.positionOffsets)[0], 1) << text;
        EXPECT_EQ((*controller->hardware.positionOffsets)[8], last) << text;
    }

    std::array<double, 27> previous{};
    previous[0] = 7.0;
    controller->hardware.displacementCoefficients = previous;
    std::string lines26;
    for (int i = 0; i < 26; ++i)
        lines26 += "1.0\n";
    fw.files["MAGCAL.INI"] = lines26;
    controller->ReadDisplacementCoefficients();
    EXPECT_EQ(*controller->hardware.displacementCoefficients, previous);
    fw.files["MAGCAL.INI"] = lines26 + "     2.000000\n";
    controller->ReadDisplacementCoefficients();
    EXPECT_DOUBLE_EQ((*controller->hardware.displacementCoefficients)[0], 1.0);
    EXPECT_DOUBLE_EQ((*controller->hardware.displacementCoefficients)[26], 2.0);
}

// --- device program table --------------------------------------------------------------------

TEST_F(FirmwareLineTest, UploadReportsFailedExchanges) {
    DeviceProgramTable table;
    fw.overrides["s"] = {"Error 9\r"};
    EXPECT_EQ(controller->UploadProgram(table), -1);
    EXPECT_EQ(fw.commands.back(), "\x17"); // the controller still sees the end line

    // A dead line stops the upload at once.
    fw.cutAt = "0P";
    line->ClearWritten();
    EXPECT_EQ(controller->UploadProgram(table), -1);
    EXPECT_EQ(line->Writes(), std::vector<std::string>{"0P\r"});
}

// Which lines fit the table is ParseProgramLine's (tests/protocol); here the exchange: every
// line up to the end line is read, and the table is cleared first.
TEST_F(FirmwareLineTest, ReadBackFillsEntriesUntilTheEndLine) {
    fw.readBackLines = {"1000 2000 3000 4000 5 6 1027 8 r r two|words p 2 1",
                        "90000 0 0 0 1 0 2049 0 s s B a 0 0"};
    DeviceProgramTable table;
    EXPECT_EQ(controller->ReadProgram(table), 1);
    EXPECT_EQ(FormatProgramLine(table[0]), fw.readBackLines[0]);
    EXPECT_EQ(FormatProgramLine(table[1]), fw.readBackLines[1]);
    EXPECT_EQ(line->PendingPieces(), 0u); // the end line was read all the same

    fw.readBackLines.clear();
    EXPECT_EQ(controller->ReadProgram(table), 1);
    EXPECT_EQ(table[0].repetitions, 0);
}

// A raw pressure trace says how many pairs came and whether the transfer ended properly, so a
// broken trace never passes for a complete one.
TEST_F(FirmwareLineTest, RawTraceCountsItsPairsAndFailsWhenBroken) {
    controller->serial.SetReadTimeoutMs(10);
    fw.traceLines = {"0 1200", "250 1300"};
    std::vector<uint32_t> times(53);
    std::vector<uint16_t> readings(53);
    std::size_t received = 99;
    EXPECT_EQ(controller->ReadRawTrace(0, 38, 53, times, readings, &received), 1);
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(readings[1], 1300);

    fw.overrides["0Z 0 38 53"] = {"Error 2\r\x17"};
    EXPECT_EQ(controller->ReadRawTrace(0, 38, 53, times, readings, &received), -1);
    EXPECT_EQ(received, 0u);

    // The controller stops answering in the middle of the lines.
    fw.overrides["0Z 0 38 53"] = {"OK\r0 1200\n"};
    EXPECT_EQ(controller->ReadRawTrace(0, 38, 53, times, readings, &received), -1);
    EXPECT_EQ(received, 1u);
}

// --- card files -------------------------------------------------------------------------------

TEST_F(ControllerTest, WriteCutsTheContentIntoSixtyBytePieces) {
    const struct {
        std::size_t size;
        std::vector<std::size_t> pieces;
    } cases[] = {{120, {60, 60}}, {121, {60, 60, 1}}, {0, {}}, {59, {59}}};
    OpenLine();
    for (const auto& c : cases) {
        line->ClearWritten();
        std::string content;
        for (std::size_t i = 0; i < c.size; ++i)
            content += static_cast<char>(i % 10 == 9 ? '\n' : 'a' + static_cast<char>(i % 26));
        Firmware().files.erase("DATA.TXT"); // a write appends
        EXPECT_EQ(controller->WriteCardFile("DATA.TXT", content), 1);
        const auto& writes = line->Writes();
        ASSERT_EQ(writes.size(), c.pieces.size() + 2) << c.size;
        EXPECT_EQ(writes.front(), "0W DATA.TXT\r");
        for (std::size_t i = 0; i < c.pieces.size(); ++i)
            EXPECT_EQ(writes[i + 1], content.substr(i * 60, 60) + "\r");
        EXPECT_EQ(writes.back(), std::string("\x17\r"));
        EXPECT_EQ(Firmware().files["DATA.TXT"], content);
    }
}

TEST_F(FirmwareLineTest, WriteReportsFailuresAndRefusesContentThatCannotTravel) {
    EXPECT_EQ(controller->WriteCardFile("A.INI", "line\r\nnext"), -1);
    EXPECT_EQ(controller->WriteCardFile("A.INI", std::string("x\x17y")), -1);
    EXPECT_TRUE(line->Written().empty());

    fw.overrides["0W B.INI"] = {"Error 7\r"};
    EXPECT_EQ(controller->WriteCardFile("B.INI", "text"), -1);
    fw.overrides["\x17"] = {"Error 8\r"};
    EXPECT_EQ(controller->WriteCardFile("C.INI", "text"), -1);
}

TEST_F(ControllerTest, CardNamesThatDoNotFitAreRefusedWithoutTraffic) {
    OpenLine();
    Firmware();
    const std::string longest(59, 'N');
    const std::string tooLong(60, 'N');
    std::vector<std::string> lines;
    EXPECT_EQ(controller->ReadFileLines(tooLong, lines), -1);
    EXPECT_EQ(controller->WriteCardFile(tooLong, "x"), -1);
    EXPECT_EQ(controller->DeleteCardFile(tooLong), -1);
    EXPECT_EQ(controller->DownloadFile(tooLong, "/nonexistent/x"), -1);
    EXPECT_EQ(controller->WriteCardFile("A\rB", "x"), -1);
    EXPECT_EQ(controller->WriteCardFile("", "x"), -1);
    EXPECT_TRUE(line->Written().empty());

    EXPECT_EQ(controller->WriteCardFile(longest, "x"), 1);
    EXPECT_EQ(line->Writes().front(), "0W " + longest + "\r");
}

TEST_F(ControllerTest, NameAndNumberFallBackToTheirDefaults) {
    struct Case {
        const char* name;   // NAME.INI content, nullptr for none
        const char* number; // INFO1.INI content
        std::string expectedName, expectedNumber;
    };
    const Case cases[] = {
        {nullptr, nullptr, "Test", "0001"},
        {"\nignored\n", "12345678\n", "", "0001"}, // first line exactly 8 characters
        {"Run 7", "ABCDEFGHI", "Run 7", "EFGH"},   // 9 characters
        {"A", "", "A", "0001"}, // NAME.INI has no line end: one character is still the name
    };
    OpenLine();
    FakeFirmware& fw = Firmware();
    for (const Case& c : cases) {
        fw.files.clear();
        if (c.name)
            fw.files["NAME.INI"] = c.name;
        if (c.number)
            fw.files["INFO1.INI"] = c.number;
        std::string name = "x", number = "y";
        controller->ReadNameAndNumber(name, number);
        EXPECT_EQ(name, c.expectedName);
        EXPECT_EQ(number, c.expectedNumber);
    }
}

// --- card file rewrites ---------------------------------------------------------------------

const std::string kOld = "12\n-8\n5\n0\n-15\n7\n3\n-4\n10";
const std::string kZeros = "0\n0\n0\n0\n0\n0\n0\n0\n0"; // 17 bytes, one piece

TEST_F(ControllerTest, TheCardHoldsTheNewContentTheOldOneOrSaysTheFileIsDamaged) {
    struct Case {
        const char* name;
        bool existed; // POSCAL.INI on the card before
        std::function<void(FakeFirmware&)> fault;
        int result;
        std::optional<std::string> after; // POSCAL.INI on the card afterwards
        std::string problem;
    };
    const std::string notReplaced = "POSCAL.INI was not replaced: ";
    const std::string damaged = "POSCAL.INI on the card may now be missing or incomplete: ";
    const std::string refusedPiece = "writing it stopped after 0 of 17 bytes (the controller "
                                     "answered Error 4)";
    const Case cases[] = {
        {"Replaced", true, {}, Controller::kCardReplaced, kZeros, ""},
        {"NewFile", false, {}, Controller::kCardReplaced, kZeros, ""},
        {"DeleteRefused", true, [](FakeFirmware& fw) { fw.undeletable.insert("POSCAL.INI"); },
         Controller::kCardKept, kOld,
         notReplaced + "the controller did not delete it (the controller answered Error 4); it "
                       "keeps its old content."},
        {"DeleteCommandRefused", true,
         [](FakeFirmware& fw) { fw.overrides["0X POSCAL.INI"] = {"Error 5\r"}; },
         Controller::kCardKept, kOld,
         notReplaced + "the controller did not delete it (the controller answered Error 5); it "
                       "keeps its old content."},
        {"OldContentUnreadable", true,
         [](FakeFirmware& fw) { fw.overrides["0F POSCAL.INI"] = {"Error 5\r\x17"}; },
         Controller::kCardKept, kOld,
         notReplaced + "its old content could not be read (the controller answered Error 5), and "
                       "without it a failed write could not be undone."},
        {"PieceRefused", true, [](FakeFirmware& fw) { fw.overrides[kZeros] = {"Error 4\r"}; },
         Controller::kCardKept, kOld,
         notReplaced + refusedPiece + "; its old content was written back."},
        {"PieceRefusedNewFile", false,
         [](FakeFirmware& fw) { fw.overrides[kZeros] = {"Error 4\r"}; }, Controller::kCardKept,
         std::nullopt,
         notReplaced + refusedPiece + "; the incomplete copy was deleted (there was none before)."},
        {"PieceLost", true, [](FakeFirmware& fw) { fw.overrides[kZeros] = {"OK\r"}; },
         Controller::kCardKept, kOld,
         notReplaced + "it was written but its copy on the card (0 bytes) differs from the 17 "
                       "bytes sent; its old content was written back."},
        {"StopBefore", true, [](FakeFirmware&) { interruption::Request(SIGINT); },
         Controller::kCardKept, kOld, notReplaced + "interrupted."},
        {"LinkLostInTheWrite", true, [](FakeFirmware& fw) { fw.cutAt = kZeros; },
         Controller::kCardDamaged, "",
         damaged + "writing it stopped after 0 of 17 bytes (no answer), and its old content could "
                   "not be written back (no answer)."},
        {"LinkLostAtTheDelete", true, [](FakeFirmware& fw) { fw.cutAt = "0X POSCAL.INI"; },
         Controller::kCardDamaged, kOld,
         damaged + "deleting it was not confirmed (no answer), and its old content could not be "
                   "written back (no answer)."},
        {"RestoreRefused", true,
         [](FakeFirmware& fw) {
             fw.overrides[kZeros] = {"Error 4\r"};
             fw.overrides[kOld] = {"Error 4\r"};
         },
         Controller::kCardDamaged, "",
         damaged + refusedPiece +
             ", and its old content could not be written back (the controller answered Error 4)."},
    };
    OpenLine();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        interruption::Clear();
        firmware = std::make_unique<FakeFirmware>(*line);
        FakeFirmware& fw = *firmware;
        if (c.existed)
            fw.files["POSCAL.INI"] = kOld;
        if (c.fault)
            c.fault(fw);
        EXPECT_EQ(controller->ReplaceCardFile("POSCAL.INI", kZeros), c.result);
        EXPECT_EQ(controller->WriteProblem(), c.problem);
        const auto file = fw.files.find("POSCAL.INI");
        EXPECT_EQ(file == fw.files.end() ? std::nullopt : std::optional(file->second), c.after);
        // Nothing is left waiting on the line for the next exchange to read.
        EXPECT_EQ(line->PendingPieces(), 0u);
    }
    EXPECT_TRUE(log.Text().find("POSCAL.INI") == std::string::npos) << log.Text();
}

TEST_F(FirmwareLineTest, OffsetsInMemoryFollowTheCard) {
    const std::array<int32_t, 9> old{12, -8, 5, 0, -15, 7, 3, -4, 10};
    controller->hardware.positionOffsets = old;
    fw.files["POSCAL.INI"] = kOld;
    fw.undeletable.insert("POSCAL.INI");
    EXPECT_EQ(controller->ResetPositionOffsets(), Controller::kCardKept);
    EXPECT_EQ(controller->hardware.positionOffsets, old);
    fw.undeletable.clear();
    EXPECT_EQ(controller->ResetPositionOffsets(), Controller::kCardReplaced);
    EXPECT_EQ(controller->hardware.positionOffsets, (std::array<int32_t, 9>{}));
}

TEST_F(ControllerTest, BrokenDownloadOrUnwritableFileLeavesNoCompleteLookingFile) {
    OpenLine();
    TempFolder temp{"download"};
    const std::filesystem::path& folder = temp.Path();
    EXPECT_EQ(controller->DownloadFile("DATA0001.CSV", (folder / "no" / "x").string()), -1);
    EXPECT_TRUE(line->Written().empty());

    const auto target = folder / "raw.csv";
    WriteFile(target, "previous");
    line->Receive("OK\r");
    line->Receive(std::string(500, 'x')); // then silence
    EXPECT_EQ(controller->DownloadFile("DATA0001.CSV", target.string()), 0);
    EXPECT_EQ(ReadFile(target), "previous");
    EXPECT_FALSE(std::filesystem::exists(folder / "raw.csv.part"));

    // An error reply to the read command: whatever follows is not a file.
    line->Receive("Error 2\r");
    line->Receive("\x17");
    const auto fresh = folder / "fresh.csv";
    EXPECT_EQ(controller->DownloadFile("NOPE.CSV", fresh.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(line->PendingPieces(), 0u);
}

// A tool shows what the link logged after connecting, not the identity lines before it.
TEST(DeviceSession, KeepsTheLogAndGivesWhatCameAfterTheMark) {
    DeviceSession session;
    MessageLog::Instance().WriteMessage("identity\n");
    session.MarkLog();
    MessageLog::Instance().WriteMessage("failed\n");
    EXPECT_EQ(session.LogSinceMark(), "failed\n");
    EXPECT_EQ(session.LogText(), "identity\nfailed\n");
}

} // namespace
