// Ctrl-C during a card write ends the controller's write mode before the program exits; during a
// rewrite it has the old content written back first.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

TEST(InterruptCli, CtrlCDuringACardWriteEndsTheWriteModeAndDuringARewriteWritesTheOldBack) {
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

    // Ctrl-C while the factory copy is rewritten: it is written back, the offsets still reset.
    const auto card = [&sim](const char* name) { return ReadFile(sim.Card() / name); };
    WriteFile(sim.Root() / "cal.csv", FlatCalibrationSession());
    const std::string factory = card("MAGCAL0.INI");
    ChildProcess apply;
    ASSERT_TRUE(apply.Start(
        KELVASTRA_BINARY_DIR "/src/kelvastra-cli",
        {"calibrate", "apply", "--factory", "--session", (sim.Root() / "cal.csv").string()},
        {"KELVASTRA_PORTS_DIR=" + sim.PortsFolder().string()}));
    // The first piece of the new factory copy is on the card.
    for (int i = 0; i < 1000 && card("MAGCAL0.INI").rfind("    0.000100\n", 0) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    apply.Signal(SIGINT);
    EXPECT_EQ(apply.Wait(20000), 128 + SIGINT);
    EXPECT_NE(apply.AllErrors().find(" bytes (interrupted); its old content was written back.\n"),
              std::string::npos)
        << apply.AllErrors();
    EXPECT_EQ(card("MAGCAL0.INI"), factory);
    EXPECT_EQ(card("MAGCAL.INI").rfind(kFlatWellCoefficients, 0), 0u);
    EXPECT_EQ(card("POSCAL.INI"), "0\n0\n0\n0\n0\n0\n0\n0\n0");
}

} // namespace
