// Finding the controller's port: the matching rule, the texts it matches and virtual ports.
#include "devicelink/Controller.h"
#include "devicelink/PortInfo.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace {

const PortInfo kAdafruit9{"Adafruit Feather M4", "", "COM9"};
const PortInfo kVid3{"USB Serial Device", "USB\\VID_239A&PID_800B&MI_00", "COM3"};

TEST(Discovery, IdentifierRule) {
    const struct {
        std::string hardwareId;
        bool matches;
    } cases[] = {
        {"USB\\VID_239A&PID_800B", true},  {"USB\\VID_239A&PID_000B", true},
        {"USB\\VID_239A&PID_800C", false}, {"USB\\VID_239B&PID_800B", false},
        {"USB\\vid_239a&pid_800b", false}, {"USB\\VID_239A&PID_000B&MI_00", true},
    };
    for (const auto& c : cases) {
        const std::vector<PortInfo> ports{{"Generic", c.hardwareId, "/dev/ttyACM4"}};
        EXPECT_EQ(MatchControllerPort(ports).has_value(), c.matches) << c.hardwareId;
    }
}

// A description match wins over an identifier match in any order; within a pass the earliest.
TEST(Discovery, DescriptionFirstThenIdentifierEarliestWins) {
    EXPECT_EQ(MatchControllerPort({kAdafruit9, kVid3}), "COM9");
    EXPECT_EQ(MatchControllerPort({kVid3, kAdafruit9}), "COM9");
    EXPECT_FALSE(MatchControllerPort({{"adafruit board", "", "COM1"}}).has_value());
    EXPECT_EQ(MatchControllerPort(
                  {{"x", "", "COM1"}, {"Adafruit A", "", "COM7"}, {"Adafruit B", "", "COM2"}}),
              "COM7");
    EXPECT_EQ(MatchControllerPort({{"x", "USB\\VID_239A&PID_000B", "COM8"},
                                   {"y", "USB\\VID_239A&PID_800B", "COM2"}}),
              "COM8");
}

TEST(Discovery, HardwareIdAndDescriptionText) {
    EXPECT_EQ(UsbHardwareId(0x239a, 0x800b), "USB\\VID_239A&PID_800B");
    EXPECT_EQ(UsbHardwareId(0x1, 0xb), "USB\\VID_0001&PID_000B");
    EXPECT_EQ(JoinDescription("Adafruit", "Feather M4"), "Adafruit Feather M4");
}

class VirtualPortsTest : public ::testing::Test {
protected:
    VirtualPortsTest() { WriteFile(device, ""); }

    void Register(const std::string& file, const std::string& port, long long pid,
                  const std::string& description = "Adafruit Kelvastra Simulator",
                  const std::string& serial = "") {
        WriteFile(folder / file, "port=" + port + "\ndescription=" + description +
                                     "\nhardwareId=USB\\VID_239A&PID_800B\nlocation=" + port +
                                     "\npid=" + std::to_string(pid) + "\nserial=" + serial + "\n");
    }

    TempFolder temp{"ports"};
    std::filesystem::path folder = temp.Path();
    std::filesystem::path device = folder / "fake-pty";
};

TEST_F(VirtualPortsTest, OnlyLiveRegistrationsCount) {
    const long long self = ::getpid();
    Register("sim-2.port", device.string(), self, "Second");
    Register("sim-1.port", device.string(), self, "First", "A1");
    Register("sim-3.port", (folder / "gone").string(), self);   // the port path is gone
    Register("sim-4.port", device.string(), 0);                 // no process
    Register("sim-5.port", device.string(), 2147483000LL);      // no such process
    Register("sim-6.port.tmp", device.string(), self, "Draft"); // not yet renamed
    const auto ports = ReadVirtualPorts(folder);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].description, "First");
    EXPECT_EQ(ports[1].description, "Second");
    EXPECT_EQ(ports[0].portName + " " + ports[0].serialNumber, device.string() + " A1");
    EXPECT_TRUE(ReadVirtualPorts(folder / "missing").empty());
}

// A simulator (its serial number from its registration) and a board (its number learned at an
// earlier connect): each listed once, and the chosen one found by its number without opening any
// port.
TEST(Discovery, EveryControllerWithItsSerialNumberAndTheChosenOne) {
    NoteSerialNumber("/dev/ttyACM7", "C3");
    const std::vector<PortInfo> present{
        {"Board", "USB\\VID_239A&PID_000B", "/dev/ttyACM7"},
        {"Modem", "", "/dev/ttyS0"},
        {"Adafruit Sim", "USB\\VID_239A&PID_800B", "/dev/pts/4", "A1"}};
    Controller controller;
    controller.SetPortEnumerator([&] { return present; });
    const auto found = controller.FindControllers(false);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].portName + " " + found[0].serialNumber, "/dev/pts/4 A1");
    EXPECT_EQ(found[1].portName + " " + found[1].serialNumber, "/dev/ttyACM7 C3");

    for (const auto& [serial, port] :
         {std::pair<std::string, std::string>{"C3", "/dev/ttyACM7"}, {"A1", "/dev/pts/4"}}) {
        controller.chosenSerial = serial;
        EXPECT_TRUE(controller.FindController()) << serial;
        EXPECT_EQ(controller.portName, port);
    }
    controller.chosenSerial = "Z9";
    EXPECT_FALSE(controller.FindController());
    EXPECT_EQ(controller.portName, "/dev/pts/4");

    for (const auto& [record, serial] :
         {std::pair<std::string, std::string>{"Serial Number SIM-0001", "SIM-0001"},
          {"SN: 42\r", "42"},
          {"serial=X-7 ", "X-7"},
          {"  ", ""}})
        EXPECT_EQ(SerialFromIdentity(record), serial) << record;
}

} // namespace
