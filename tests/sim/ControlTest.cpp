// The control channel: each command's reply and the state it changes, without a terminal, and
// the FIFO the commands may come through.
#include "CardSeed.h"
#include "SimTestSupport.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <sstream>

using simtest::Joined;

namespace {

class ControlTest : public ::testing::Test {
protected:
    ControlTest() {
        sim::SimCard card(dir.Path());
        sim::SeedCard(card, 4050, 1100);
        sim::SimulatorOptions options;
        options.card = dir.Path();
        options.registerPort = false;
        options.quiet = true;
        simulator = std::make_unique<sim::Simulator>(options, out, log);
    }
    std::string Ask(const std::string& command) {
        return Joined(simulator->Device().Feed(command, simulator->NowMs()));
    }

    TempFolder dir;
    std::ostringstream out, log;
    std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(ControlTest, FaultsAndSettingsReachTheLine) {
    EXPECT_EQ(simulator->Control("state 3"), "ok state 3");
    EXPECT_EQ(Ask("0?S\r"), "3\r");
    EXPECT_EQ(simulator->Control("state auto"), "ok state auto");
    EXPECT_EQ(Ask("0?S\r"), "0\r");
    // A trigger's verb is matched in any case: the reply shows it as it is matched.
    EXPECT_EQ(simulator->Control("when 0?s state 4"), "ok when 0?S");
    EXPECT_EQ(simulator->Control("when off"), "ok when off");

    // A card that refuses every delete, a write struck at a piece: clear ends both.
    EXPECT_EQ(simulator->Control("protect *"), "ok protect *");
    EXPECT_EQ(Ask("0X POSCAL.INI\r"), "OK\rError 4\r");
    EXPECT_EQ(simulator->Control("fail-write poscal.ini 1 unplug"),
              "ok fail-write poscal.ini 1 unplug");
    EXPECT_EQ(simulator->Control("clear"), "ok clear");
    EXPECT_EQ(Ask("0X POSCAL.INI\r0W POSCAL.INI\r0\r\x17\r"), "OK\rDeleted\rOK\rOK\rOK\r");

    EXPECT_EQ(simulator->Control("error97 2"), "ok error97 2");
    EXPECT_EQ(simulator->Control("error 12"), "ok error 12 x1");
    EXPECT_EQ(simulator->Control("inject 1 error 5"), "ok inject 1");
    EXPECT_EQ(simulator->Control("inject 1 Error"), "ok inject 1");
    EXPECT_EQ(Ask("0?S\r0?S\r0?S\r0?S\r0?S\r0?S\r"),
              "Error 97\rError 97\rError 12\rerror 5\rError\r0\r");

    EXPECT_EQ(simulator->Control("firmware 1500"), "ok firmware 1500");
    EXPECT_EQ(Ask("0?R 2\r"), "Firmware Version 1.500\r");
    EXPECT_EQ(Ask("0L\r").substr(0, 5), "OK\r[F");
    // INFOW.INI, where the program reads the version after connecting, says the same.
    EXPECT_NE(ReadFile(dir.Path() / "INFOW.INI").find("\nFirmwareVersion 1500\n"),
              std::string::npos);
    EXPECT_EQ(simulator->Control("hardware-version 1800"), "ok hardware-version 1800");
    EXPECT_EQ(Ask("0?R 3\r"), "Hardware = 1800\r");
    EXPECT_EQ(simulator->Control("identity 0 Board  Two"), "ok identity 0 Board  Two");
    EXPECT_EQ(Ask("0?R 0\r"), "Board  Two\r");
    EXPECT_EQ(simulator->Control("identity 0 default"), "ok identity 0 Kelvastra Controller");
    EXPECT_EQ(simulator->Control("capacity 1000000"), "ok capacity 1000000");
    EXPECT_EQ(Ask("0?V\r"), "1000000\r");

    EXPECT_EQ(simulator->Control("drop 64 500"), "ok drop 64");
    EXPECT_EQ(simulator->Output().DropArmed(), 64);
    EXPECT_EQ(simulator->Control("drop off"), "ok drop off");
    EXPECT_FALSE(simulator->Output().DropArmed());

    EXPECT_EQ(simulator->Control("end-byte apart 50"), "ok end-byte apart 50");
    EXPECT_EQ(simulator->Device().Feed("0F NAME.INI\r", 0).at(2).delayMs, 50);

    EXPECT_EQ(simulator->Control("garbage 17"), "ok garbage 17");
    EXPECT_EQ(simulator->Output().PendingBytes(), 17u);
    auto garbage = simulator->Output().Take(simulator->NowMs()).bytes;
    EXPECT_EQ(garbage.find_first_of("\r\x17"), std::string::npos) << "garbage keeps the framing";
    EXPECT_EQ(simulator->Control("garbage-hex 0d17"), "ok garbage-hex 2");
    EXPECT_EQ(simulator->Output().Take(simulator->NowMs()).bytes, "\r\x17");

    // One line more with the next reply: in front of it, or behind all of a transfer.
    EXPECT_EQ(simulator->Control("stray"), "ok stray before OK");
    EXPECT_EQ(Ask("0?S\r"), "OK\r0\r");
    EXPECT_EQ(Ask("0?S\r"), "0\r");
    EXPECT_EQ(simulator->Control("stray after 0?S"), "ok stray after 0?S");
    const std::string listing = Ask("0L\r");
    EXPECT_EQ(listing.substr(0, 3), "OK\r");
    EXPECT_EQ(listing.substr(listing.size() - 5), "\x17"
                                                  "0?S\r");
    EXPECT_EQ(simulator->Control("stray before"), "ok stray before OK");
    EXPECT_EQ(simulator->Control("stray off"), "ok stray off");
    EXPECT_EQ(Ask("0?S\r"), "0\r");
    EXPECT_EQ(simulator->Control("stray"), "ok stray before OK");
    EXPECT_EQ(simulator->Control("latency 40"), "ok latency 40");
    EXPECT_EQ(simulator->Control("clear"), "ok clear");
    EXPECT_EQ(Ask("0?S\r"), "0\r");
    EXPECT_NE(simulator->Control("status").find(" latency 0 "), std::string::npos);

    EXPECT_EQ(simulator->Control("silence 100000"), "ok silence 100000");
    EXPECT_TRUE(simulator->Silent(simulator->NowMs()));

    EXPECT_EQ(simulator->Control("spacer 750"), "ok spacer 750");
    EXPECT_DOUBLE_EQ(simulator->Device().LivePlant().WellPositionUm(4), 750.0);
    EXPECT_EQ(simulator->Control("spacer off"), "ok spacer off");
    EXPECT_DOUBLE_EQ(simulator->Device().LivePlant().WellPositionUm(4), 0.0);
}

TEST_F(ControlTest, TestRunCommands) {
    // The run states and lines themselves are the test run's (TestRunTest).
    EXPECT_EQ(simulator->Control("start 2"), "ok start DATA0002.CSV");
    EXPECT_EQ(simulator->Control("start"), "error a test is already running");
    EXPECT_EQ(simulator->Control("pause"), "ok pause");
    EXPECT_EQ(Ask("0?S\r"), "4\r");
    EXPECT_EQ(simulator->Control("resume"), "ok resume");
    EXPECT_EQ(simulator->Control("finish"), "ok finish DATA0002.CSV");
    EXPECT_EQ(Ask("0?S\r"), "0\r");
    EXPECT_EQ(simulator->Control("stop"), "ok stop (no test)");
    EXPECT_EQ(simulator->Control("status").rfind("ok state 0 port - firmware 4050", 0), 0u);
}

// Control commands also come through a FIFO (scripts/run.sh gives one), made when missing and
// removed when the simulator ends on SIGTERM.
TEST(SimulatorProcess, TakesControlCommandsFromAFifo) {
    TempFolder dir;
    const auto fifo = dir.Path() / "control";
    LinkSimProcess sim({"--control", fifo.string()});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(std::filesystem::exists(fifo)) << "the FIFO is made when missing";
    std::ofstream(fifo) << "state 3\n";
    EXPECT_EQ(sim.ReadLine(), "kelvastra-sim: ok state 3");
    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(fifo)) << "a FIFO the simulator made goes with it";
}

} // namespace
