// kelvastra-cli monitor against the simulator: a test started after the monitor began is seen
// running in its first set with a time left that falls; Ctrl-C and --count end it with status 0.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

namespace {

TEST(MonitorCli, SeesATestStartAndItsTimeLeftFall) {
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const auto protocol = sim.Root() / "two.tmt";
    WriteFile(protocol, "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\t"
                        "RecoveryDurationSec\tHoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t"
                        "DataType\tAutoAdjust\t\n"
                        "First\tSinusoid\tN\t2.5\t0\t15\t15\t0\t0\t1\tSeconds\tNone\t0\t\n"
                        "Second\tSinusoid\tN\t2.5\t0\t15\t15\t0\t0\t1\tSeconds\tNone\t0\t\n");
    ASSERT_EQ(sim.Cli("program " + ShellQuote(protocol.string())).status, 0);

    ChildProcess monitor;
    ASSERT_TRUE(monitor.Start(KELVASTRA_BINARY_DIR "/src/kelvastra-cli",
                              {"monitor", "--interval", "0.5"},
                              {"KELVASTRA_PORTS_DIR=" + sim.PortsFolder().string()}));
    const std::string idle = monitor.ReadLine(20000);
    ASSERT_EQ(idle.find(':'), 2u) << idle; // HH:MM:SS
    EXPECT_EQ(idle.substr(8), "\tidle\t-\t-\t-");

    ASSERT_EQ(sim.Control("start").rfind("ok start", 0), 0u);
    std::vector<std::string> running;
    while (running.size() < 6) {
        const std::string line = monitor.ReadLine(20000);
        ASSERT_FALSE(line.empty());
        if (line.find("\trunning\t") == 8)
            running.push_back(line);
    }
    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(10000), 0);
    EXPECT_EQ(monitor.AllErrors(), "");
    EXPECT_EQ(running.front().substr(8, 16), "\trunning\t1 of 2\t");
    const auto left = [](const std::string& line) { return line.substr(line.rfind('\t') + 1); };
    EXPECT_LT(left(running.back()), left(running.front())); // HH:MM:SS texts of one width

    const CliRun counted = sim.Cli("monitor --interval 0.05 --count 2");
    EXPECT_EQ(counted.status, 0);
    EXPECT_EQ(std::count(counted.output.begin(), counted.output.end(), '\n'), 2);
}

} // namespace
