// The doctor's checks against fake /sys, /proc, /dev, /etc and /run trees: each failing check
// gives its verdict and fix, and the verdict on whether the controller can be used.
#include "devicelink/Doctor.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class FakeSystem {
public:
    FakeSystem() {
        system.root = m_dir.Path() / "root";
        system.portsFolder = m_dir.Path() / "ports";
        system.user = "lab";
        system.selfPid = 1;
    }
    void File(const std::string& path, const std::string& text) {
        fs::create_directories((system.root / path).parent_path());
        WriteFile(system.root / path, text);
    }
    void Board() {
        File("sys/bus/usb/devices/1-2/idVendor", "239a\n");
        File("sys/bus/usb/devices/1-2/idProduct", "800b\n");
        File("sys/bus/usb/devices/1-2/product", "Kelvastra\n");
        File("sys/bus/usb/devices/usb1/idVendor", "1d6b\n");
    }
    // The serial device node, readable and writable by its group only, which is "dialout"; the
    // user is someone else, in that group when `member`.
    void Node(bool member = true, const std::string& groupMembers = "") {
        fs::create_directories(system.root / "sys/bus/usb/devices/1-2:1.0/tty/ttyACM0");
        File("sys/class/tty/ttyACM0/dev", "166:0\n");
        File("dev/ttyACM0", "");
        ::chmod((system.root / "dev/ttyACM0").c_str(), 0660);
        struct stat info {};
        ::stat((system.root / "dev/ttyACM0").c_str(), &info);
        system.uid = info.st_uid + 1;
        system.groups = {member ? info.st_gid : info.st_gid + 1};
        File("etc/group", "dialout:x:" + std::to_string(info.st_gid) + ":" + groupMembers + "\n");
    }
    void Process(int pid, const std::string& name, const std::string& openFile = "") {
        File("proc/" + std::to_string(pid) + "/comm", name + "\n");
        if (!openFile.empty()) {
            fs::create_directories(system.root / ("proc/" + std::to_string(pid) + "/fd"));
            fs::create_symlink(openFile, system.root / ("proc/" + std::to_string(pid) + "/fd/3"));
        }
    }
    void Rule() {
        File("usr/lib/udev/rules.d/99-kelvastra.rules",
             "ATTRS{idVendor}==\"239a\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
    }
    void Registration(int pid, const std::string& port) {
        fs::create_directories(system.portsFolder);
        WriteFile(system.portsFolder / ("sim-" + std::to_string(pid) + ".port"),
                  "port=" + port + "\npid=" + std::to_string(pid) + "\n");
    }
    std::string PortsFolder() const { return system.portsFolder.string(); }

    DoctorSystem system;

private:
    TempFolder m_dir{"doctor"};
};

struct Case {
    const char* name;
    std::function<void(FakeSystem&)> setUp;
    std::string usablePort;
    std::vector<std::string> expected; // pieces of the report, each found in it
};

TEST(Doctor, ReportsEachFailingCheckWithItsFixAndWhetherTheControllerCanBeUsed) {
    const auto healthy = [](FakeSystem& f) {
        f.Board();
        f.Node();
        f.Rule();
        f.Process(300, "ModemManager");
        f.File("run/udev/data/c166:0", "E:ID_MM_DEVICE_IGNORE=1\n");
    };
    const Case cases[] = {
        {"healthy", healthy, "/dev/ttyACM0",
         {"ok    USB board: 239A:800B at 1-2 (Kelvastra)\nok    serial device: /dev/ttyACM0\n"
          "ok    permission: you may open /dev/ttyACM0\nok    in use: no other process holds "
          "/dev/ttyACM0\nok    ModemManager: running, and told to ignore the board\n"
          "ok    udev rule: /usr/lib/udev/rules.d/99-kelvastra.rules\n--    simulator: none "
          "registered\nThe controller can be used on /dev/ttyACM0.\n"}},
        {"nothing plugged in", [](FakeSystem&) {}, "",
         {"FAIL  USB board: none with vendor 239A and product 800B or 000B\n      fix: plug",
          "--    serial device: no board\n",
          "warn  udev rule: not installed\n      fix: install the kelvastra package",
          "The controller cannot be used: see the fixes above.\n"}},
        {"no CDC ACM driver", [](FakeSystem& f) { f.Board(); }, "",
         {"FAIL  serial device: the board has none: the kernel's CDC ACM driver (cdc_acm) is "
          "missing\n      fix: sudo modprobe cdc_acm",
          "--    permission: no serial device\n"}},
        {"not in the group",
         [](FakeSystem& f) {
             f.Board();
             f.Node(false);
         },
         "",
         {"FAIL  permission: /dev/ttyACM0 belongs to group dialout, which you are not in\n"
          "      fix: sudo usermod -aG dialout lab, then log out and in again\n"}},
        {"added to the group after logging in",
         [](FakeSystem& f) {
             f.Board();
             f.Node(false, "root,lab");
         },
         "",
         {"FAIL  permission: you were added to group dialout after you logged in, so this "
          "session is not in it yet\n      fix: log out and in again (or, for one shell: newgrp "
          "dialout)\n"}},
        {"open in another program",
         [](FakeSystem& f) {
             f.Board();
             f.Node();
             f.Process(4242, "minicom", "/dev/ttyACM0");
         },
         "",
         {"FAIL  in use: /dev/ttyACM0 is open in process 4242 (minicom)\n      fix: close that "
          "program, or end it: kill 4242\n"}},
        {"locked by a live process, a stale lock elsewhere",
         [](FakeSystem& f) {
             f.Board();
             f.Node();
             f.Process(77, "screen");
             f.File("var/lock/LCK..ttyACM0", "     99\n");
             f.File("run/lock/LCK..ttyACM0", "77\nscreen\nhost\n");
         },
         "",
         {"FAIL  in use: /dev/ttyACM0 is locked by process 77 (screen) (/run/lock/LCK..ttyACM0)"}},
        {"ModemManager not told to ignore the board",
         [](FakeSystem& f) {
             f.Board();
             f.Node();
             f.Process(300, "ModemManager");
         },
         "",
         {"FAIL  ModemManager: running, and not told to ignore the board: it sends modem "
          "commands that the controller answers with errors\n      fix: install the udev rule, "
          "then plug the board in again: install the kelvastra package"}},
        {"a live simulator and a dead one, no board",
         [](FakeSystem& f) {
             f.Process(500, "kelvastra-sim");
             f.File("dev/pts/7", "");
             f.Registration(500, "/dev/pts/7");
             f.Registration(99, "/dev/pts/3");
         },
         "/dev/pts/7",
         {"warn  USB board: none with vendor 239A",
          "ok    simulator: /dev/pts/7, process 500 (kelvastra-sim)\n",
          "warn  simulator: sim-99.port registers /dev/pts/3 for process 99, which is gone\n"
          "      fix: rm ",
          "The controller can be used on /dev/pts/7.\n"}},
    };
    for (const Case& c : cases) {
        FakeSystem fake;
        c.setUp(fake);
        const DoctorReport report = RunDoctor(fake.system);
        const std::string text = DoctorReportText(report);
        EXPECT_EQ(report.usablePort, c.usablePort) << c.name << "\n" << text;
        for (const std::string& piece : c.expected)
            EXPECT_NE(text.find(piece), std::string::npos) << c.name << ": " << piece << "\n"
                                                          << text;
    }
}

} // namespace
