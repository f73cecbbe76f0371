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
    qputenv("KELVASTRA_PORTS_DIR", QByteArray::fromStdString(sim.PortsFolder().string()));
    QProcess cli;
    cli.start(KELVASTRA_BINARY_DIR "/src/kelvastra-cli",
              {"card", "put", QString::fromStdString((sim.Root() / "big.txt").string()), "B.TXT"});
    for (int i = 0; i < 500 && ReadFile(sim.Card() / "B.TXT").empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    EXPECT_TRUE(cli.waitForFinished(10000) && cli.exitCode() == 128 + SIGINT);
    EXPECT_TRUE(cli.readAllStandardError().contains(" bytes (interrupted)"));
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
