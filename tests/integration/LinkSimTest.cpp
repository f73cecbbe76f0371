// The device link against kelvastra-sim over a real pseudo-terminal: a link dropped in the middle
// of a download. Connect, identity and card files run end to end through the command line
// (LinkCliTest); the matching rules, error replies and retries are checked byte by byte in
// tests/devicelink.
#include "LinkSimProcess.h"

#include "common/MessageLog.h"
#include "devicelink/Controller.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class LinkSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EnsureCoreApplication();
        MessageLog::Instance().SetEchoToStdout(false);
    }

    // A controller on the simulator's port, found by discovery in its registration folder.
    void ConnectTo(LinkSimProcess& sim, Controller& controller) {
        ASSERT_TRUE(sim.Started());
        const auto folder = sim.PortsFolder();
        controller.SetPortEnumerator([folder] { return ReadVirtualPorts(folder); });
        ASSERT_TRUE(controller.FindController());
        ASSERT_EQ(controller.portName, sim.Port());
        ASSERT_EQ(controller.Connect(), 1);
        // A broken link shows within seconds rather than the controller's twenty.
        controller.serial.SetReadTimeoutMs(3000);
    }
};

TEST_F(LinkSimTest, DroppedLinkMidDownloadFailsAndLeavesNoFile) {
    LinkSimProcess sim;
    Controller controller;
    ConnectTo(sim, controller);
    std::string content;
    while (content.size() < 60000)
        content += "1234,56789\n";
    { std::ofstream(sim.Card() / "DATA0009.CSV", std::ios::binary) << content; }
    EXPECT_EQ(sim.Control("drop 20000").rfind("ok", 0), 0u);
    const auto local = sim.Root() / "DATA0009.CSV";
    EXPECT_EQ(controller.DownloadFile("DATA0009.CSV", local.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(local));
    EXPECT_FALSE(std::filesystem::exists(local.string() + ".part"));
    EXPECT_NE(controller.lastResult, 0);
}

} // namespace
