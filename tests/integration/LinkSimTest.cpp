// The device link against kelvastra-sim over a real pseudo-terminal: discovery, connect,
// identity, program upload and read-back, card files and a link dropped mid-download. The
// matching rules, error replies and retries are checked byte by byte in tests/devicelink.
#include "LinkSimProcess.h"

#include "common/MessageLog.h"
#include "devicelink/Controller.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

// Text with bare line feeds and lines shorter than 80 characters, as the card's files.
std::string SampleText(std::size_t size) {
    std::string text;
    unsigned value = 12345;
    std::size_t lineStart = 0;
    while (text.size() < size) {
        value = value * 1103515245u + 12345u;
        text += std::to_string(value % 100000);
        if (value % 7 == 0 || text.size() - lineStart > 60) {
            text += '\n';
            lineStart = text.size();
        } else {
            text += ',';
        }
    }
    text.resize(size);
    text.back() = '\n';
    return text;
}

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

TEST_F(LinkSimTest, ConnectReadsIdentityAndCalibration) {
    LinkSimProcess sim({"--firmware", "4050", "--hardware-version", "1250"});
    Controller controller;
    std::vector<std::string> notices;
    controller.SetNoticeHandler(
        [&](const std::string& text, const std::string&) { notices.push_back(text); });
    ConnectTo(sim, controller);
    ASSERT_EQ(controller.infoLines.size(), 5u);
    for (const auto& record : controller.infoLines)
        EXPECT_FALSE(record.empty());
    EXPECT_EQ(controller.hardware.FirmwareVersion, 4050);
    EXPECT_EQ(controller.hardware.hardwareVersion, 1250);
    EXPECT_TRUE(controller.hardware.positionOffsets.has_value());
    EXPECT_TRUE(controller.hardware.displacementCoefficients.has_value());
    EXPECT_TRUE(notices.empty());

    int state = -1;
    EXPECT_EQ(controller.QueryInteger("0?S\r", state), 0);
    EXPECT_EQ(sim.Control("state 3").rfind("ok", 0), 0u);
    EXPECT_EQ(controller.QueryInteger("0?S\r", state), 0);
    EXPECT_EQ(state, 3);
}

TEST_F(LinkSimTest, ProgramTableGoesUpAndComesBack) {
    LinkSimProcess sim;
    Controller controller;
    ConnectTo(sim, controller);
    DeviceProgramTable table;
    for (int i = 0; i < 3; ++i) {
        DeviceProgramEntry& entry = table[static_cast<std::size_t>(i)];
        entry.stretchMs = 1000 * (i + 1);
        entry.holdMs = 500;
        entry.recoveryMs = 1500;
        entry.restMs = 90000;
        entry.repetitions = 10 + i;
        entry.magnitudeSetpoint = 12345 + i;
        entry.flags = 0x0403;
        entry.preloadSetpoint = 100;
        entry.shapeCode = entry.shapeCode2 = i == 1 ? 'r' : 's';
        // Blanks travel as '|'; an empty name goes out as an empty line.
        entry.SetName(i == 0 ? "warm up" : i == 1 ? "Set 2" : "");
        entry.dataTypeCode = "pam"[i];
        entry.dataRateCode = '2';
        entry.autoAdjust = i;
    }
    EXPECT_EQ(controller.UploadProgram(table), 1);
    EXPECT_EQ(table[0].name, "warm|up");

    DeviceProgramTable back;
    EXPECT_EQ(controller.ReadProgram(back), 1);
    for (std::size_t i = 0; i < kDeviceProgramEntries; ++i) {
        DeviceProgramEntry expected = table[i];
        for (char& c : expected.name)
            c = c == '|' ? ' ' : c;
        EXPECT_EQ(back[i], expected) << "entry " << i;
    }
    // The link is still in step.
    int state = -1;
    EXPECT_EQ(controller.QueryInteger("0?S\r", state), 0);
}

TEST_F(LinkSimTest, CardFilesAreWrittenReadAndDeleted) {
    LinkSimProcess sim;
    Controller controller;
    ConnectTo(sim, controller);
    const std::string content = SampleText(5000);
    controller.DeleteCardFile("LINKTEST.TXT");
    EXPECT_EQ(controller.WriteCardFile("LINKTEST.TXT", content), 1);
    EXPECT_EQ(ReadFile(sim.Card() / "LINKTEST.TXT"), content);

    std::vector<std::string> lines;
    EXPECT_EQ(controller.ReadFileLines("LINKTEST.TXT", lines), 1);
    EXPECT_EQ(static_cast<long>(lines.size()), std::count(content.begin(), content.end(), '\n'));

    // Listing and download of a present file are checked through the command line.
    EXPECT_EQ(controller.DeleteCardFile("LINKTEST.TXT"), 1);
    EXPECT_FALSE(std::filesystem::exists(sim.Card() / "LINKTEST.TXT"));

    // A missing file: an error reply, then the end byte; nothing is written locally.
    const auto missing = sim.Root() / "missing.txt";
    EXPECT_EQ(controller.DownloadFile("LINKTEST.TXT", missing.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(missing));
    std::string first;
    EXPECT_EQ(controller.ReadFirstLine("LINKTEST.TXT", first), -1);

    // Offsets and coefficients written through the card come back at the next read.
    EXPECT_EQ(controller.ResetPositionOffsets(), 1);
    EXPECT_EQ(ReadFile(sim.Card() / "POSCAL.INI"), "0\n0\n0\n0\n0\n0\n0\n0\n0");
    std::array<double, 27> values{};
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = 0.5 * static_cast<double>(i) - 3.25;
    EXPECT_EQ(controller.WriteCoefficientFile(values, "MAGCAL.INI"), 1);
    controller.hardware.displacementCoefficients.reset();
    controller.ReadDisplacementCoefficients();
    ASSERT_TRUE(controller.hardware.displacementCoefficients.has_value());
    EXPECT_EQ(*controller.hardware.displacementCoefficients, values);
}

TEST_F(LinkSimTest, DroppedLinkMidDownloadFailsAndLeavesNoFile) {
    LinkSimProcess sim;
    Controller controller;
    ConnectTo(sim, controller);
    const std::string content = SampleText(60000);
    { std::ofstream(sim.Card() / "DATA0009.CSV", std::ios::binary) << content; }
    EXPECT_EQ(sim.Control("drop 20000").rfind("ok", 0), 0u);
    const auto local = sim.Root() / "DATA0009.CSV";
    EXPECT_EQ(controller.DownloadFile("DATA0009.CSV", local.string()), 0);
    EXPECT_FALSE(std::filesystem::exists(local));
    EXPECT_FALSE(std::filesystem::exists(local.string() + ".part"));
    EXPECT_NE(controller.lastResult, 0);
}

} // namespace
