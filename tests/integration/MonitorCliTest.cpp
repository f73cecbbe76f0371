// kelvastra-cli monitor against the simulator: a test started after the monitor began is seen
// running in its first set with a time left that falls; Ctrl-C and --count end it with status 0.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <sstream>

namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');)
        fields.push_back(field);
    return fields;
}

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
    const std::vector<std::string> idle = Fields(monitor.ReadLine(20000));
    ASSERT_EQ(idle.size(), 5u);
    EXPECT_EQ(idle[0].size(), 8u);
    EXPECT_EQ(idle[0][2], ':');
    EXPECT_EQ(std::vector<std::string>(idle.begin() + 1, idle.end()),
              (std::vector<std::string>{"idle", "-", "-", "-"}));

    ASSERT_EQ(sim.Control("start").rfind("ok start", 0), 0u);
    std::vector<std::vector<std::string>> running;
    while (running.size() < 6) {
        const std::vector<std::string> fields = Fields(monitor.ReadLine(20000));
        ASSERT_EQ(fields.size(), 5u);
        if (fields[1] == "running")
            running.push_back(fields);
    }
    monitor.Signal(SIGINT);
    EXPECT_EQ(monitor.Wait(10000), 0);
    EXPECT_EQ(monitor.AllErrors(), "");
    EXPECT_EQ(running.front()[2], "1 of 2");
    EXPECT_EQ(running.back()[2], "1 of 2");
    EXPECT_LT(running.back()[4], running.front()[4]); // HH:MM:SS texts of one width

    const CliRun counted = sim.Cli("monitor --interval 0.05 --count 2");
    EXPECT_EQ(counted.status, 0);
    EXPECT_EQ(std::count(counted.output.begin(), counted.output.end(), '\n'), 2);
}

} // namespace
