// A clean line: stale and over-long replies do not shift later ones, a controller left in a
// transfer mode is brought back, a failed or interrupted card write stops and says so, and a
// number query takes only numbers.
#include "common/Interruption.h"
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class CleanLineTest : public ::testing::Test {
protected:
    CleanLineTest() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        line = channel.get();
        fw = std::make_unique<FakeFirmware>(*line);
        controller = std::make_unique<Controller>(std::move(channel));
        controller->portName = "/dev/ttyACM0";
    }
    ~CleanLineTest() override { interruption::Clear(); }
    std::size_t Count(const std::string& command) const {
        return static_cast<std::size_t>(
            std::count(fw->commands.begin(), fw->commands.end(), command));
    }

    LogCapture log;
    ScriptedSerialChannel* line = nullptr;
    std::unique_ptr<FakeFirmware> fw;
    std::unique_ptr<Controller> controller;
};

TEST_F(CleanLineTest, StaleAndOverlongRepliesDoNotShiftTheNextOnes) {
    // Left over from an earlier session: a whole reply and a piece of one.
    line->Receive("OK\rab");
    fw->records[0] = std::string(600, 'x');
    fw->files["POSCAL.INI"] = "1\n2\n3\n4\n5\n6\n7\n8\n9";
    EXPECT_EQ(controller->Connect(), 1);
    EXPECT_EQ(controller->infoLines[0], ""); // too long for a record: a failed query
    EXPECT_EQ(controller->infoLines[2], "VERSION 4.05");
    EXPECT_EQ(controller->hardware.FirmwareVersion, 4050);
    EXPECT_EQ(controller->hardware.hardwareVersion, 1250);
    EXPECT_EQ((*controller->hardware.positionOffsets)[8], 9);
}

TEST_F(CleanLineTest, AControllerLeftInATransferModeIsEndedOnConnect) {
    // A card write cut off before its end line: the firmware takes every line as content.
    line->Write("0W OLD.INI\r", 11);
    line->DiscardInput(0);
    fw->commands.clear();
    EXPECT_EQ(controller->Connect(), 1);
    EXPECT_EQ(fw->commands.at(1), "\x17");
    EXPECT_EQ(controller->infoLines[0], "R0");
    EXPECT_EQ(controller->hardware.FirmwareVersion, 4050);
    EXPECT_EQ(fw->files.count("OLD.INI"), 1u);
    EXPECT_NE(log.Text().find("still taking a file or program"), std::string::npos);

    // One that says "OK" to everything, the end line included, is not connected.
    Controller stuck(std::make_unique<ScriptedSerialChannel>());
    auto* raw = static_cast<ScriptedSerialChannel*>(&stuck.serial.Channel());
    raw->SetResponder(
        [](ScriptedSerialChannel& channel, const std::string&) { channel.Receive("OK\r"); });
    EXPECT_EQ(stuck.Connect(), Controller::kConnectNotTakingCommands);
    EXPECT_FALSE(stuck.serial.IsOpen());
    EXPECT_EQ(raw->Writes(), (std::vector<std::string>{"0?R 0\r", "\x17\r", "0?R 0\r"}));
}

TEST_F(CleanLineTest, AFailedPieceEndsTheWriteAndSaysTheCopyIsIncomplete) {
    ASSERT_EQ(controller->serial.Open("p", false, false, true, true, -1), 0);
    const std::string content = std::string(60, 'a') + std::string(60, 'b') + "tail";
    fw->overrides[std::string(60, 'b')] = {"Error 4\r"};
    EXPECT_EQ(controller->WriteCardFile("TEMPLATE.INI", content), -1);
    EXPECT_EQ(fw->commands, (std::vector<std::string>{"0W TEMPLATE.INI", std::string(60, 'a'),
                                                      std::string(60, 'b'), "\x17"}));
    EXPECT_EQ(controller->WriteProblem(),
              "TEMPLATE.INI on the card is incomplete: writing it stopped after 60 of 124 bytes "
              "(the controller answered Error 4).");
    EXPECT_NE(log.Text().find("Error:  " + controller->WriteProblem()), std::string::npos);
}

TEST_F(CleanLineTest, AStopRequestEndsAWriteAndThenTheSessionButLetsAnUploadFinish) {
    Controller device(std::make_unique<ScriptedSerialChannel>());
    auto* raw = static_cast<ScriptedSerialChannel*>(&device.serial.Channel());
    int lines = 0;
    // Ctrl-C arrives while the second line is on its way.
    raw->SetResponder([&lines](ScriptedSerialChannel& channel, const std::string&) {
        if (++lines == 2)
            interruption::Request(SIGINT);
        channel.Receive("OK\r");
    });
    ASSERT_EQ(device.serial.Open("p", false, false, true, true, -1), 0);
    EXPECT_EQ(device.WriteCardFile("BIG.CSV", std::string(200, 'x')), -1);
    EXPECT_EQ(raw->Writes(),
              (std::vector<std::string>{"0W BIG.CSV\r", std::string(60, 'x') + "\r", "\x17\r"}));
    EXPECT_NE(device.WriteProblem().find("after 60 of 200 bytes (interrupted)"), std::string::npos);
    // Nothing new starts after the stop request.
    EXPECT_EQ(device.Command("0?S\r"), 1);
    EXPECT_EQ(device.lastResult, Controller::kInterrupted);
    EXPECT_EQ(raw->Writes().size(), 3u);

    // A program upload is short: it goes to its end line.
    interruption::Clear();
    lines = 0;
    raw->ClearWritten();
    DeviceProgramTable table{};
    EXPECT_EQ(device.UploadProgram(table), 1);
    EXPECT_EQ(raw->Writes().size(), 1u + 10 * 14 + 1);
    EXPECT_EQ(raw->Writes().back(), "\x17\r");
}

TEST_F(CleanLineTest, NumberQueriesTakeOnlyNumbers) {
    ASSERT_EQ(controller->serial.Open("p", false, false, true, true, -1), 0);
    const std::pair<std::string, int> cases[] = {
        {"3", 3},
        {" -12 ", -12},
        {"+7", 7},
        {"\n4", 4},
        {"x3", Controller::kNotANumber},
        {"3x", Controller::kNotANumber},
        {"", Controller::kNotANumber},
        {"error 5", Controller::kNotANumber},
        {"Error 5", 5},
    };
    for (const auto& [reply, expected] : cases) {
        fw->overrides["0?S"] = {reply + "\r"};
        int value = -100;
        const int result = controller->QueryInteger("0?S\r", value);
        EXPECT_EQ(result == 0 ? value : result, expected) << reply;
    }
}

} // namespace
