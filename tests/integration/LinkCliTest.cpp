// kelvastra-cli's device commands against the simulator, found by discovery.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

namespace {

TEST(LinkCli, PortsMarksTheSimulatorAndInfoShowsItsIdentity) {
    LinkSimProcess sim({"--firmware", "4050", "--hardware-version", "1250"});
    ASSERT_TRUE(sim.Started());
    const CliRun ports = sim.Cli("ports");
    EXPECT_EQ(ports.status, 0);
    EXPECT_NE(ports.output.find("* " + sim.Port() + "\tAdafruit"), std::string::npos)
        << ports.output;

    const CliRun info = sim.Cli("info");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.output.find("port: " + sim.Port() + "\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("hardware version: 1250\nfirmware version: 4050\n"),
              std::string::npos);
    EXPECT_NE(info.output.find("  well 9: "), std::string::npos);

    EXPECT_EQ(sim.Control("state 4").rfind("ok", 0), 0u);
    const CliRun status = sim.Cli("--port " + ShellQuote(sim.Port()) + " status");
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(status.output, "4\n");
}

TEST(LinkCli, FailuresGoToStandardErrorWithStatusOne) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const auto folder = sim.Root();
    WriteFile(folder / "crlf.txt", "a\r\nb\r\n");
    const std::pair<std::string, std::string> cases[] = {
        {"card get NOPE.CSV " + ShellQuote((folder / "n.csv").string()),
         "download of NOPE.CSV failed"},
        {"card rm NOPE.CSV", "NOPE.CSV not deleted"},
        {"card put " + ShellQuote((folder / "crlf.txt").string()) + " CRLF.TXT", "carriage return"},
        {"--port /dev/kelvastra-no-such-port info", "cannot open /dev/kelvastra-no-such-port"},
    };
    for (const auto& [arguments, said] : cases) {
        const CliRun run = sim.Cli(arguments);
        EXPECT_EQ(run.status, 1) << arguments;
        EXPECT_NE(run.errors.find(said), std::string::npos) << run.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "n.csv"));
    EXPECT_EQ(sim.Control("unplug"), "ok unplug");
    const CliRun gone = sim.Cli("info");
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.errors.find("no controller found"), std::string::npos) << gone.errors;
    EXPECT_FALSE(std::filesystem::exists(sim.Card() / "CRLF.TXT"));
}

} // namespace
