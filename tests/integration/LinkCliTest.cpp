// kelvastra-cli's device commands against the simulator, found by discovery.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

namespace {

TEST(LinkCli, PortsAndInfoShowTheSimulatorAndItsIdentity) {
    LinkSimProcess sim({"--firmware", "4050", "--hardware-version", "1250"});
    ASSERT_TRUE(sim.Started());
    const CliRun ports = sim.Cli("ports");
    EXPECT_EQ(ports.status, 0);
    EXPECT_EQ(ports.output, sim.Port() + "\tSIM-0001\tAdafruit Kelvastra Simulator\n");

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

TEST(LinkCli, SeveralControllersAreChosenBySerialNumber) {
    LinkSimProcess a({"--serial", "A1"});
    ASSERT_TRUE(a.Started());
    LinkSimProcess b({"--serial", "B2"}, LinkSimProcess::DefaultSimulator(), a.PortsFolder());
    ASSERT_TRUE(b.Started());
    const CliRun ports = a.Cli("ports");
    EXPECT_EQ(ports.status, 0);
    for (const LinkSimProcess* sim : {&a, &b}) {
        const std::string serial = sim == &a ? "A1" : "B2";
        EXPECT_NE(ports.output.find(sim->Port() + "\t" + serial + "\tAdafruit"), std::string::npos)
            << ports.output;
        const CliRun info = a.Cli("--serial " + serial + " info");
        EXPECT_EQ(info.status, 0) << info.errors;
        EXPECT_NE(info.output.find("port: " + sim->Port() + "\n"), std::string::npos)
            << info.output;
    }
    const CliRun unknown = a.Cli("--serial C3 status");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.errors.find("Error:  no controller with serial number C3; present: "),
              std::string::npos)
        << unknown.errors;
    const CliRun ambiguous = a.Cli("status");
    EXPECT_EQ(ambiguous.status, 1);
    EXPECT_NE(ambiguous.errors.find("Error:  2 controllers present ("), std::string::npos)
        << ambiguous.errors;
    for (const CliRun* run : {&unknown, &ambiguous}) {
        EXPECT_NE(run->errors.find("A1 on " + a.Port()), std::string::npos);
        EXPECT_NE(run->errors.find("B2 on " + b.Port()), std::string::npos);
    }
    EXPECT_NE(ambiguous.errors.find("choose one with --serial SN"), std::string::npos);
}

TEST(LinkCli, FailuresGoToStandardErrorWithStatusOne) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const auto folder = sim.Root();
    WriteFile(folder / "crlf.txt", "a\r\nb\r\n");
    std::filesystem::create_directory(folder / "folder");
    const std::pair<std::string, std::string> cases[] = {
        {"card get NOPE.CSV " + ShellQuote((folder / "n.csv").string()),
         "download of NOPE.CSV failed"},
        // card get names the real cause: a name too long, a copy that cannot take its place
        {"card get " + std::string(60, 'A'), "card file name must have 1 to 59"},
        {"card get DATA0001.CSV " + ShellQuote((folder / "folder").string()),
         "DATA0001.CSV arrived whole but "},
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
