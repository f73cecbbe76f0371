// kelvastra-cli's device commands against the simulator, found by discovery.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

struct CliRun {
    int status = -1;
    std::string output; // standard output only
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs the command-line program with the simulator's registration folder; standard error goes
// to `errors` when given.
CliRun RunCli(const LinkSimProcess& sim, const std::string& arguments,
              const std::filesystem::path& errors = "/dev/null") {
    const std::string command = "KELVASTRA_PORTS_DIR=" + Quote(sim.PortsFolder().string()) + " " +
                                Quote(KELVASTRA_BINARY_DIR "/src/kelvastra-cli") + " " + arguments +
                                " 2>" + Quote(errors.string());
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(LinkCli, PortsMarksTheSimulatorAndInfoShowsItsIdentity) {
    LinkSimProcess sim({"--firmware", "4050", "--hardware-version", "1250"});
    ASSERT_TRUE(sim.Started());
    const CliRun ports = RunCli(sim, "ports");
    EXPECT_EQ(ports.status, 0);
    EXPECT_NE(ports.output.find("* " + sim.Port() + "\tAdafruit"), std::string::npos)
        << ports.output;
    EXPECT_NE(ports.output.find("USB\\VID_239A&PID_800B"), std::string::npos);

    const CliRun info = RunCli(sim, "info");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.output.find("port: " + sim.Port() + "\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("record 3: Hardware = 1250\n"), std::string::npos);
    EXPECT_NE(info.output.find("hardware version: 1250\n"), std::string::npos);
    EXPECT_NE(info.output.find("firmware version: 4050\n"), std::string::npos);
    EXPECT_NE(info.output.find("position offsets (um):"), std::string::npos);
    EXPECT_NE(info.output.find("  well 9: "), std::string::npos);

    EXPECT_EQ(sim.Control("state 4").rfind("ok", 0), 0u);
    const CliRun status = RunCli(sim, "--port " + Quote(sim.Port()) + " status");
    EXPECT_EQ(status.status, 0);
    EXPECT_EQ(status.output, "4\n");
}

TEST(LinkCli, CardPutThenGetGivesBackTheSameBytes) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    std::string content;
    for (int i = 0; content.size() < 400000; ++i)
        content += std::to_string(i * 7919 % 100000) + (i % 9 == 8 ? "\n" : ",");
    const auto folder = sim.PortsFolder().parent_path();
    const auto local = folder / "big.csv";
    std::ofstream(local, std::ios::binary) << content;

    EXPECT_EQ(RunCli(sim, "card put " + Quote(local.string()) + " BIG.CSV").status, 0);
    EXPECT_EQ(ReadFile(sim.Card() / "BIG.CSV"), content);
    // A second put replaces the file rather than appending to it.
    EXPECT_EQ(RunCli(sim, "card put " + Quote(local.string()) + " BIG.CSV").status, 0);
    EXPECT_EQ(std::filesystem::file_size(sim.Card() / "BIG.CSV"), content.size());

    const auto back = folder / "back.csv";
    EXPECT_EQ(RunCli(sim, "card get BIG.CSV " + Quote(back.string())).status, 0);
    EXPECT_EQ(ReadFile(back), content);

    const CliRun list = RunCli(sim, "card ls");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.output.find(std::to_string(content.size()) + " BIG.CSV\n"), std::string::npos)
        << list.output;

    EXPECT_EQ(RunCli(sim, "card rm BIG.CSV").status, 0);
    EXPECT_FALSE(std::filesystem::exists(sim.Card() / "BIG.CSV"));
}

TEST(LinkCli, FailuresGoToStandardErrorWithStatusOne) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const auto folder = sim.PortsFolder().parent_path();
    const auto errors = folder / "errors.txt";

    const CliRun missing =
        RunCli(sim, "card get NOPE.CSV " + Quote((folder / "n.csv").string()), errors);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(ReadFile(errors).find("download of NOPE.CSV failed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "n.csv"));

    EXPECT_EQ(RunCli(sim, "card rm NOPE.CSV", errors).status, 1);
    EXPECT_NE(ReadFile(errors).find("NOPE.CSV not deleted"), std::string::npos);

    const auto crlf = folder / "crlf.txt";
    std::ofstream(crlf, std::ios::binary) << "a\r\nb\r\n";
    EXPECT_EQ(RunCli(sim, "card put " + Quote(crlf.string()) + " CRLF.TXT", errors).status, 1);
    EXPECT_NE(ReadFile(errors).find("carriage return"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(sim.Card() / "CRLF.TXT"));

    EXPECT_EQ(RunCli(sim, "--port /dev/kelvastra-no-such-port info", errors).status, 1);
    EXPECT_NE(ReadFile(errors).find("cannot open /dev/kelvastra-no-such-port"), std::string::npos);
    EXPECT_NE(ReadFile(errors).find("CreateFile failed with error 2."), std::string::npos);

    EXPECT_EQ(sim.Control("unplug").rfind("ok", 0), 0u);
    EXPECT_EQ(RunCli(sim, "info", errors).status, 1);
    EXPECT_NE(ReadFile(errors).find("no controller found"), std::string::npos);
}

} // namespace
