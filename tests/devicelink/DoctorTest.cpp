// The doctor's checks against fake /sys, /proc, /dev, /etc and /run trees: each failing check
// gives its verdict and fix, and the verdict on whether the controller can be used.
#include "devicelink/Doctor.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

// Entries end with '|': "path|" is an empty file, "path=text|" a file, "path->target|" a link,
// "path~|" a FIFO.
const std::string kBoard = "sys/bus/usb/devices/usb1/idVendor=1d6b|sys/bus/usb/devices/1-2/"
                           "idVendor=239a|sys/bus/usb/devices/1-2/idProduct=800b\n|"
                           "sys/bus/usb/devices/1-2/product=Kelvastra|";
const std::string kNode = "sys/bus/usb/devices/1-2:1.0/tty/ttyACM0/dev=166:0|"
                          "sys/class/tty/ttyACM0/dev=166:0\n|dev/ttyACM0|";
const std::string kModemManager = "proc/300/comm=ModemManager\n|";

enum class Member { Yes, No, SinceLogin };

// The serial device node is open to its owner and its group "dialout"; the user "lab" is neither
// owner nor, unless `member` says so, in the group.
DoctorReport Diagnose(const TempFolder& dir, const std::string& tree, Member member) {
    DoctorSystem system;
    system.root = dir.Path();
    system.portsFolder = dir.Path() / "ports";
    system.user = "lab";
    std::istringstream entries(tree);
    for (std::string entry; std::getline(entries, entry, '|');) {
        const std::size_t link = entry.find("->");
        const std::size_t equals = entry.find('=');
        const bool fifo = entry.back() == '~';
        const fs::path path =
            dir.Path() / entry.substr(0, std::min({link, equals, entry.size() - fifo}));
        fs::create_directories(path.parent_path());
        if (link != std::string::npos)
            fs::create_symlink(entry.substr(link + 2), path);
        else if (fifo)
            EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
        else
            WriteFile(path, equals == std::string::npos ? "" : entry.substr(equals + 1));
    }
    struct stat node {};
    const fs::path nodePath = dir.Path() / "dev/ttyACM0";
    if (::chmod(nodePath.c_str(), 0660) == 0 && ::stat(nodePath.c_str(), &node) == 0) {
        system.uid = node.st_uid + 1;
        system.groups = {member == Member::Yes ? node.st_gid : node.st_gid + 1};
        fs::create_directories(dir.Path() / "etc");
        WriteFile(dir.Path() / "etc/group", "dialout:x:" + std::to_string(node.st_gid) + ":root" +
                                                (member == Member::SinceLogin ? ",lab" : "") +
                                                "\n");
    }
    return RunDoctor(system);
}

struct Case {
    const char* name;
    std::string tree;
    Member member;
    std::string usablePort;
    std::vector<std::string> expected; // pieces of the report, each found in it
};

TEST(Doctor, ReportsEachFailingCheckWithItsFixAndWhetherTheControllerCanBeUsed) {
    const std::string rule = "usr/lib/udev/rules.d/99-kelvastra.rules=ATTRS{idVendor}==\"239a\", "
                             "ENV{ID_MM_DEVICE_IGNORE}=\"1\"|";
    const Case cases[] = {
        {"healthy",
         kBoard + kNode + kModemManager + rule + "run/udev/data/c166:0=E:ID_MM_DEVICE_IGNORE=1|",
         Member::Yes,
         "/dev/ttyACM0",
         {"ok    USB board: 239A:800B at 1-2 (Kelvastra)\nok    serial device: /dev/ttyACM0\n"
          "ok    permission: you may open /dev/ttyACM0\nok    in use: no other process holds "
          "/dev/ttyACM0\nok    ModemManager: running, and told to ignore the board\n"
          "ok    udev rule: /usr/lib/udev/rules.d/99-kelvastra.rules\n--    simulator: none "
          "registered\nThe controller can be used on /dev/ttyACM0.\n"}},
        {"nothing plugged in",
         "",
         Member::Yes,
         "",
         {"FAIL  USB board: none with vendor 239A and product 800B or 000B\n      fix: plug",
          "--    serial device: no board\n",
          "warn  udev rule: not installed\n      fix: install the kelvastra package",
          "The controller cannot be used: see the fixes above.\n"}},
        {"no CDC ACM driver",
         kBoard,
         Member::Yes,
         "",
         {"FAIL  serial device: the board has none: the kernel's CDC ACM driver (cdc_acm) is "
          "missing\n      fix: sudo modprobe cdc_acm",
          "--    permission: no serial device\n"}},
        {"not in the group",
         kBoard + kNode,
         Member::No,
         "",
         {"FAIL  permission: /dev/ttyACM0 belongs to group dialout, which you are not in\n"
          "      fix: sudo usermod -aG dialout lab, then log out and in again\n"}},
        {"added to the group after logging in",
         kBoard + kNode,
         Member::SinceLogin,
         "",
         {"FAIL  permission: you were added to group dialout after you logged in, so this "
          "session is not in it yet\n      fix: log out and in again (or, for one shell: newgrp "
          "dialout)\n"}},
        {"open in another program",
         kBoard + kNode + "proc/4242/comm=minicom|proc/4242/fd/3->/dev/ttyACM0|",
         Member::Yes,
         "",
         {"FAIL  in use: /dev/ttyACM0 is open in process 4242 (minicom)\n      fix: close that "
          "program, or end it: kill 4242\n"}},
        {"locked by a live process, a stale lock elsewhere",
         kBoard + kNode +
             "proc/77/comm=screen|proc/77/fd/4->/dev/ttyACM0|var/lock/LCK..ttyACM0=     "
             "99\n|run/lock/LCK..ttyACM0=77\nscreen\n|",
         Member::Yes,
         "",
         {"FAIL  in use: /dev/ttyACM0 is locked by process 77 (screen) (/run/lock/LCK..ttyACM0)"}},
        {"a lock whose process number another program took since",
         kBoard + kNode + "proc/77/comm=bash|proc/77/fd/0->/dev/pts/1|run/lock/LCK..ttyACM0=77|",
         Member::Yes,
         "/dev/ttyACM0",
         {"ok    in use: no other process holds /dev/ttyACM0\n"}},
        // Only a regular lock file is read: a FIFO would block, /dev/zero never ends.
        {"lock files that are not regular files",
         kBoard + kNode + "var/lock/LCK..ttyACM0~|run/lock/LCK..ttyACM0->/dev/zero|",
         Member::Yes,
         "/dev/ttyACM0",
         {"ok    in use: no other process holds /dev/ttyACM0\n"}},
        {"ModemManager not told to ignore the board",
         kBoard + kNode + kModemManager,
         Member::Yes,
         "",
         {"FAIL  ModemManager: running, and not told to ignore the board: it sends modem "
          "commands that the controller answers with errors\n      fix: install the udev rule, "
          "then plug the board in again: install the kelvastra package"}},
        {"a live simulator and a dead one, no board",
         "proc/500/comm=kelvastra-sim|dev/pts/7|ports/sim-500.port=port=/dev/pts/7\npid=500|"
         "ports/sim-99.port=port=/dev/pts/3\npid=99|",
         Member::Yes,
         "/dev/pts/7",
         {"warn  USB board: none with vendor 239A",
          "ok    simulator: /dev/pts/7, process 500 (kelvastra-sim)\n",
          "warn  simulator: sim-99.port registers /dev/pts/3 for process 99, which is gone\n"
          "      fix: rm ",
          "The controller can be used on /dev/pts/7.\n"}},
        {"a board that cannot be used beside a live simulator",
         kBoard + kNode +
             "proc/500/comm=kelvastra-sim|dev/pts/7|ports/sim-500.port=port=/dev/pts/7\npid=500|",
         Member::No,
         "",
         {"ok    simulator: /dev/pts/7", "The controller cannot be used: see the fixes above.\n"}},
    };
    for (const Case& c : cases) {
        const TempFolder dir("doctor");
        const DoctorReport report = Diagnose(dir, c.tree, c.member);
        const std::string text = DoctorReportText(report);
        EXPECT_EQ(report.usablePort, c.usablePort) << c.name << "\n" << text;
        for (const std::string& piece : c.expected)
            EXPECT_NE(text.find(piece), std::string::npos) << c.name << ": " << piece << "\n"
                                                           << text;
    }
}

} // namespace
