// Ctrl-C during a card write ends the controller's write mode before the program exits.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

TEST(InterruptCli, CtrlCDuringACardWriteEndsTheWriteModeFirstAndCardGetSaysWhy) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    ASSERT_EQ(sim.Control("baud 9600").rfind("ok", 0), 0u); // about 70 ms a piece
    WriteFile(sim.Root() / "big.txt", std::string(6000, 'x'));
    ChildProcess cli;
    ASSERT_TRUE(cli.Start(KELVASTRA_BINARY_DIR "/src/kelvastra-cli",
                          {"card", "put", (sim.Root() / "big.txt").string(), "B.TXT"},
                          {"KELVASTRA_PORTS_DIR=" + sim.PortsFolder().string()}));
    for (int i = 0; i < 500 && ReadFile(sim.Card() / "B.TXT").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(10000), 128 + SIGINT);
    EXPECT_FALSE(cli.EndedBySignal()); // it ended the write mode and exited
    EXPECT_NE(cli.AllErrors().find(" bytes (interrupted)"), std::string::npos);
    EXPECT_NE(sim.Control("status").find(" mode command "), std::string::npos);

    // card get names the real cause: a name too long, a copy that cannot take its place
    std::filesystem::create_directory(sim.Root() / "folder");
    const CliRun longName = sim.Cli("card get " + std::string(60, 'A'));
    EXPECT_NE(longName.errors.find("card file name must have 1 to 59"), std::string::npos);
    const CliRun intoFolder = sim.Cli("card get DATA0001.CSV " + (sim.Root() / "folder").string());
    EXPECT_NE(intoFolder.errors.find("DATA0001.CSV arrived whole but "), std::string::npos)
        << intoFolder.errors;
}

} // namespace
