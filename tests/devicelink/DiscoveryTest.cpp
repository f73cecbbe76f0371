// Finding the controller's port: the matching rule, the port name rule and virtual ports.
#include "devicelink/Controller.h"
#include "devicelink/PortInfo.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

const PortInfo kAdafruit9{"Adafruit Feather M4", "", "COM9"};
const PortInfo kVid3{"USB Serial Device", "USB\\VID_239A&PID_800B&MI_00", "COM3"};

TEST(Discovery, IdentifierRule) {
    const struct {
        std::string hardwareId;
        bool matches;
    } cases[] = {
        {"USB\\VID_239A&PID_800B", true},       {"USB\\VID_239A&PID_000B", true},
        {"USB\\VID_239A&PID_800C", false},      {"USB\\VID_239B&PID_800B", false},
        {"USB\\vid_239a&pid_800b", false},      {"USB\\PID_800B", false},
        {"USB\\VID_239A&PID_000B&MI_00", true}, {"", false},
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
    EXPECT_FALSE(MatchControllerPort({}).has_value());
}

TEST(Discovery, FindControllerStoresThePortOnlyOnAMatch) {
    Controller controller;
    std::vector<PortInfo> present{kVid3};
    controller.SetPortEnumerator([&] { return present; });
    EXPECT_TRUE(controller.FindController());
    EXPECT_EQ(controller.portName, "COM3");
    EXPECT_EQ(controller.ports, present);

    present.clear();
    EXPECT_FALSE(controller.FindController());
    EXPECT_EQ(controller.portName, "COM3"); // left as it was
    EXPECT_TRUE(controller.ports.empty());
}

TEST(Discovery, ComPortNameRule) {
    const struct {
        const char* name;
        std::optional<int> number;
    } cases[] = {{"com12", 12},          {"COM3", 3},  {"Com0", 0},         {"COM", {}},
                 {"COM3A", {}},          {"LPT1", {}}, {"CO3", {}},         {"COM 3", {}},
                 {"COM99999999999", {}}, {"", {}},     {"/dev/ttyACM0", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(ComPortNumber(c.name), c.number) << c.name;
    EXPECT_EQ(ComPortName(12), "COM12");
}

TEST(Discovery, HardwareIdAndDescriptionText) {
    EXPECT_EQ(UsbHardwareId(0x239a, 0x800b), "USB\\VID_239A&PID_800B");
    EXPECT_EQ(UsbHardwareId(0x1, 0xb), "USB\\VID_0001&PID_000B");
    EXPECT_EQ(JoinDescription("Adafruit", "Feather M4"), "Adafruit Feather M4");
    EXPECT_EQ(JoinDescription("", "Feather M4"), "Feather M4");
    EXPECT_EQ(JoinDescription("Adafruit", ""), "Adafruit");
}

class VirtualPortsTest : public ::testing::Test {
protected:
    VirtualPortsTest() { std::ofstream(device) << ""; }

    void Register(const std::string& file, const std::string& port, long long pid,
                  const std::string& description = "Adafruit Kelvastra Simulator",
                  const std::string& serial = "") {
        std::ofstream out(folder / file);
        out << "port=" << port << "\ndescription=" << description
            << "\nhardwareId=USB\\VID_239A&PID_800B\nlocation=" << port << "\npid=" << pid
            << "\nserial=" << serial << "\n";
    }

    TempFolder temp{"ports"};
    std::filesystem::path folder = temp.Path();
    std::filesystem::path device = folder / "fake-pty";
};

TEST_F(VirtualPortsTest, OnlyLiveRegistrationsCount) {
    const long long self = ::getpid();
    Register("sim-2.port", device.string(), self, "Second");
    Register("sim-1.port", device.string(), self, "First");
    Register("sim-3.port", (folder / "gone").string(), self);   // the port path is gone
    Register("sim-4.port", device.string(), 0);                 // no process
    Register("sim-5.port", device.string(), 2147483000LL);      // no such process
    Register("sim-6.port.tmp", device.string(), self, "Draft"); // not yet renamed
    const auto ports = ReadVirtualPorts(folder);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].description, "First");
    EXPECT_EQ(ports[1].description, "Second");
    EXPECT_EQ(ports[0].portName, device.string());
    EXPECT_TRUE(ReadVirtualPorts(folder / "missing").empty());
}

// Two simulators and a board: every controller with its number, and the chosen one found by
// it without opening any port.
TEST_F(VirtualPortsTest, EveryControllerWithItsSerialNumberAndTheChosenOne) {
    const auto second = folder / "fake-pty-2";
    std::ofstream(second) << "";
    Register("sim-1.port", device.string(), ::getpid(), "Adafruit Sim", "A1");
    Register("sim-2.port", second.string(), ::getpid(), "Adafruit Sim", "B2");
    NoteSerialNumber("/dev/ttyACM7", "C3"); // learned at an earlier connect
    Controller controller;
    controller.SetPortEnumerator([&] {
        auto ports = ReadVirtualPorts(folder);
        ports.insert(ports.begin(), {{"Board", "USB\\VID_239A&PID_000B", "/dev/ttyACM7"},
                                     {"Modem", "", "/dev/ttyS0"}});
        return ports;
    });
    const auto found = controller.FindControllers(false);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].portName + " " + found[0].serialNumber, device.string() + " A1");
    EXPECT_EQ(found[1].portName + " " + found[1].serialNumber, second.string() + " B2");
    EXPECT_EQ(found[2].portName + " " + found[2].serialNumber, "/dev/ttyACM7 C3");

    for (const auto& [serial, port] : {std::pair<std::string, std::string>{"B2", second.string()},
                                       {"C3", "/dev/ttyACM7"},
                                       {"A1", device.string()}}) {
        controller.chosenSerial = serial;
        EXPECT_TRUE(controller.FindController()) << serial;
        EXPECT_EQ(controller.portName, port);
    }
    controller.chosenSerial = "Z9";
    EXPECT_FALSE(controller.FindController());
    EXPECT_EQ(controller.portName, device.string());

    for (const auto& [record, serial] :
         {std::pair<std::string, std::string>{"Serial Number SIM-0001", "SIM-0001"},
          {"SN: 42\r", "42"},
          {"serial=X-7 ", "X-7"},
          {"  ", ""}})
        EXPECT_EQ(SerialFromIdentity(record), serial) << record;
}

} // namespace
