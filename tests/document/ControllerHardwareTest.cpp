// The hardware settings' Program on a scripted line: the card's INFOW.INI, "0H", the empty
// program, and what the user is told when a step fails.
#include "document/ControllerHardware.h"

#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"
#include "protocol/DeviceProgram.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

HardwareDescription Edited() {
    HardwareDescription edited;
    edited.WellDepth_mm = 20;
    edited.MagnetStyle = Magnet::A25_10;
    edited.MembraneStyle = Membrane::Hydrostatic;
    edited.RegulatorType = Regulator::QB3_20;
    edited.SpringType = Spring::NoSpring;
    return edited;
}

class ProgramHardwareTest : public ::testing::Test {
protected:
    ProgramHardwareTest() : controller(MakeChannel()) {
        controller.portName = "/dev/ttyACM0";
        controller.hardware.FirmwareVersion = 4050;
        controller.hardware.hardwareVersion = 1250;
        EXPECT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0);
        NewFirmware();
    }
    std::unique_ptr<ISerialChannel> MakeChannel() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        line = channel.get();
        return channel;
    }
    void NewFirmware() {
        firmware = std::make_unique<FakeFirmware>(*line);
        firmware->files[kHardwareInfoFile] = "old";
    }

    LogCapture log;
    ScriptedSerialChannel* line = nullptr;
    Controller controller;
    std::unique_ptr<FakeFirmware> firmware;
};

TEST_F(ProgramHardwareTest, ReplacesInfowTakesItAndClearsTheProgram) {
    const HardwareProgramResult result = ProgramHardware(controller, Edited());
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(HardwareProgramFailureText(result), "");
    EXPECT_EQ(firmware->files[kHardwareInfoFile],
              "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 20\n"
              "MagnetStyle A25_10\nMembraneStyle Hydrostatic\nRegulatorType QB3_20\n"
              "SpringType NoSpring\n");

    // Delete, write (the pieces are the controller's), take it, then the empty program.
    std::vector<std::string> order;
    for (const auto& c : firmware->commands)
        if (c.rfind("0X", 0) == 0 || c.rfind("0W", 0) == 0 || c == "0H" || c == "0P")
            order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"0X INFOW.INI", "0W INFOW.INI", "0H", "0P"}));
    DeviceProgramTable cleared{};
    ClearDeviceProgram(cleared);
    const std::vector<std::string> upload = ProgramUploadLines(cleared); // "0P", entries, end
    std::vector<std::string> entries;
    for (std::size_t i = 1; i + 1 < upload.size(); ++i)
        entries.push_back(upload[i].substr(0, upload[i].size() - 1));
    EXPECT_EQ(firmware->programLines, entries);

    // Only the edited fields change; the versions stay the controller's.
    EXPECT_EQ(controller.hardware.MembraneStyle, Membrane::Hydrostatic);
    EXPECT_EQ(controller.hardware.WellDepth_mm, 20);
    EXPECT_EQ(controller.hardware.FirmwareVersion, 4050);
    EXPECT_EQ(controller.hardware.hardwareVersion, 1250);
}

TEST_F(ProgramHardwareTest, FailedStepsAreReportedAndAFailedWriteChangesNothing) {
    // The refused command (none: INFOW.INI is missing, which is no failure), its reply (none:
    // the line is lost there), which steps then succeed (written, reloaded, program cleared)
    // and what the box says.
    const struct {
        const char *command, *reply, *steps, *says;
    } cases[] = {
        {"", "", "111", ""},
        {"0W INFOW.INI", "Error 4\r", "000",
         "could not be written to the device's card (INFOW.INI).\nNothing was changed.\n"},
        {"0H", "Error 1\r", "101", "did not confirm"},
        {"0P", "Error 2\r", "110",
         "test program could not be cleared.\nThe hardware settings were written"},
        // The old file could not be put back: the box says what the card may now hold.
        {"0X INFOW.INI", nullptr, "000",
         "(INFOW.INI).\nINFOW.INI on the card may now be missing or incomplete: deleting it was "
         "not confirmed (no answer), and its old content could not be written back (no "
         "answer).\nProgram the hardware settings again.\n"},
    };
    const HardwareDescription before = controller.hardware;
    for (const auto& c : cases) {
        controller.hardware = before;
        NewFirmware();
        if (!*c.command)
            firmware->files.erase(kHardwareInfoFile);
        else if (c.reply)
            firmware->overrides[c.command] = {c.reply};
        else
            firmware->cutAt = c.command;
        const HardwareProgramResult result = ProgramHardware(controller, Edited());
        const std::string steps{char('0' + result.infoWritten), char('0' + result.reloaded),
                                char('0' + result.programCleared)};
        EXPECT_EQ(steps, c.steps) << c.command;
        const std::string text = HardwareProgramFailureText(result);
        EXPECT_NE(text.find(c.says), std::string::npos) << c.command << ": " << text;
        EXPECT_EQ(text.empty(), result.Succeeded()) << c.command;
        if (result.infoWritten) {
            EXPECT_EQ(controller.hardware.MembraneStyle, Membrane::Hydrostatic) << c.command;
            continue;
        }
        EXPECT_EQ(controller.hardware, before) << c.command;
        EXPECT_EQ(std::count(firmware->commands.begin(), firmware->commands.end(), "0H"), 0);
        EXPECT_EQ(std::count(firmware->commands.begin(), firmware->commands.end(), "0P"), 0);
        EXPECT_EQ(text.rfind("Error:  ", 0), 0u);
    }
}

} // namespace
