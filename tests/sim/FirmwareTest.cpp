// Reply bytes of the simulated firmware, command group by command group, driven in-process.
#include "Firmware.h"
#include "CardSeed.h"
#include "SimTestSupport.h"

#include "recordings/ForceModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using simtest::Joined;

namespace {

const std::string kEnd(1, '\x17');

class FirmwareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim::SeedCard(card, 4050, 1100));
        firmware = std::make_unique<sim::Firmware>(card);
    }
    std::string Send(const std::string& bytes) { return Joined(firmware->Feed(bytes, now)); }
    // Sends a command and gives its first reply line's leading integer.
    int Reading(const std::string& command) { return std::atoi(Send(command).c_str()); }
    void Wait(double ms) {
        now += ms;
        firmware->Tick(now);
    }

    TempFolder dir;
    sim::SimCard card{dir.Path()};
    std::unique_ptr<sim::Firmware> firmware;
    double now = 1000;
};

TEST_F(FirmwareTest, CommandLinesMayArriveInPiecesAndTogetherAndBadOnesAreRefused) {
    EXPECT_EQ(Send("0?"), "");
    EXPECT_EQ(Send("S\r0?V\r"), "0\r3866624\r");
    // A line feed left before a command does not spoil it.
    EXPECT_EQ(Send("\n0?S\r"), "0\r");
    // Replies the program's own exchanges with the simulator do not reach: refused commands.
    for (const char* command : {"0Q\r", "hello\r", "\r"})
        EXPECT_EQ(Send(command), "Error 1\r") << command;
    for (const char* command : {"0A\r", "0?D 10\r", "0?D -1\r", "0Z 10 5 5\r", "0?R 5\r"})
        EXPECT_EQ(Send(command), "Error 2\r") << command;
}

TEST_F(FirmwareTest, LiveReadingsFollowTheSetPointThroughTheProgramsModel) {
    HardwareDescription hardware;
    const ForceModel program = simtest::CardForceModel(dir.Path(), hardware);

    // At rest every well reads position 0 and the pressure reads 0.
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.0, 0.002);
    for (int well = 1; well <= 9; ++well) {
        EXPECT_NEAR(*program.Position(well, Reading("0?D " + std::to_string(well) + "\r")), 0.0,
                    25.0);
    }

    // 0.1 MPa through the open valve.
    double setpoint = std::floor(0.1 / program.PressureScale() + 0.5);
    EXPECT_EQ(Send("0R 1\r"), "OK\r");
    EXPECT_EQ(Send("0A " + std::to_string(int(setpoint)) + "\r"), "OK\r");
    Wait(20);
    double early = *program.ActualPressure(Reading("0?D 0\r"));
    EXPECT_LT(early, 0.05) << "the regulator needs time to get there";
    Wait(2000);
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.1, 0.002);

    sim::Plant& plant = firmware->LivePlant();
    for (int well = 1; well <= 9; ++well) {
        double truth = plant.WellPositionUm(well);
        double shown = *program.Position(well, Reading("0?D " + std::to_string(well) + "\r"));
        EXPECT_GT(truth, 300.0) << well;
        EXPECT_LT(truth, 3000.0) << well;
        EXPECT_NEAR(shown, truth, 25.0) << well;
    }
    // The reference spring holds well 1 back.
    EXPECT_LT(plant.WellPositionUm(1), plant.WellPositionUm(2));

    // Closing the valve takes the load off the wells, not the regulator.
    EXPECT_EQ(Send("0R 0\r"), "OK\r");
    EXPECT_NEAR(*program.Position(5, Reading("0?D 5\r")), 0.0, 25.0);
    EXPECT_NEAR(*program.ActualPressure(Reading("0?D 0\r")), 0.1, 0.002);
}

TEST_F(FirmwareTest, FileWriteReadAndDeleteFrameEveryStep) {
    std::string content(121, 'x');
    content[59] = '\n';
    content[60] = '\n'; // pieces start and end inside lines
    EXPECT_EQ(Send("0W new.txt\r"), "OK\r");
    for (size_t at = 0; at < content.size(); at += 60)
        EXPECT_EQ(Send(content.substr(at, 60) + "\r"), "OK\r");
    EXPECT_EQ(Send(kEnd + "\r"), "OK\r");
    // Stored upper case as a card shows it, found in any case.
    EXPECT_EQ(ReadFile(dir.Path() / "NEW.TXT"), content);
    EXPECT_EQ(Send("0F New.Txt\r"), "OK\r" + content + kEnd);
    // A write appends (FileFaultTest); the program deletes before writing.
    EXPECT_EQ(Send("0X new.TXT\r"), "OK\rDeleted\r");
    // A missing file still ends with the end byte, so a reader waiting for it returns.
    EXPECT_EQ(Send("0F NEW.TXT\r"), "Error 3\r" + kEnd);
    // An empty content creates an empty file.
    Send("0W EMPTY.INI\r");
    EXPECT_EQ(Send(kEnd + "\r"), "OK\r");
    EXPECT_EQ(Send("0F EMPTY.INI\r"), "OK\r" + kEnd);

    // The end byte rides with the last content, in the transfer.
    auto joined = firmware->Feed("0F NAME.INI\r", now);
    ASSERT_EQ(joined.size(), 2u);
    EXPECT_EQ(joined[0].bytes, "OK\r");
    EXPECT_FALSE(joined[0].transfer);
    EXPECT_EQ(joined[1].bytes, "Sample" + kEnd);
    EXPECT_TRUE(joined[1].transfer);
}

TEST_F(FirmwareTest, WriteModeTakesCommandLookingLinesAsContent) {
    Send("0W NOTE.TXT\r");
    EXPECT_EQ(Send("0X NAME.INI\r"), "OK\r");
    EXPECT_EQ(Send("0?S\r"), "OK\r");
    Send(kEnd + "\r");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "NAME.INI"));
    EXPECT_EQ(ReadFile(dir.Path() / "NOTE.TXT"), "0X NAME.INI0?S");
    EXPECT_EQ(Send("0?S\r"), "0\r");
}

TEST_F(FirmwareTest, UnsafeNamesNeverLeaveTheCard) {
    for (const char* name :
         {"../OUT.TXT", "/etc/passwd", "A//B", "..", "SUB/../../X", "a/./b", "ok\x01.txt"}) {
        EXPECT_EQ(Send(std::string("0F ") + name + "\r"), "Error 3\r" + kEnd) << name;
        EXPECT_EQ(Send(std::string("0X ") + name + "\r"), "OK\rError 3\r") << name;
        EXPECT_EQ(Send(std::string("0W ") + name + "\r"), "Error 2\r") << name;
        EXPECT_EQ(Send("data\r"), "Error 4\r") << "content is dropped";
        EXPECT_EQ(Send(kEnd + "\r"), "Error 4\r");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Path().parent_path() / "OUT.TXT"));
}

TEST_F(FirmwareTest, InjectedRepliesStandInForTheCommandWithoutActingOnIt) {
    firmware->InjectReplies("Error 97", 2);
    EXPECT_EQ(Send("0X NAME.INI\r"), "Error 97\r");
    EXPECT_EQ(Send("0X NAME.INI\r"), "Error 97\r");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "NAME.INI"));
    EXPECT_EQ(Send("0X NAME.INI\r"), "OK\rDeleted\r");

    // A busy reply in the middle of a write: the repeated piece is stored once.
    Send("0W BUSY.TXT\r");
    firmware->InjectReplies("Error 97", 1);
    EXPECT_EQ(Send("piece\r"), "Error 97\r");
    EXPECT_EQ(Send("piece\r"), "OK\r");
    Send(kEnd + "\r");
    EXPECT_EQ(ReadFile(dir.Path() / "BUSY.TXT"), "piece");
}

} // namespace
