#include "devicelink/Doctor.h"

#include "common/RegularFile.h"
#include "common/platform/Accounts.h"
#include "common/platform/Process.h"
#include "devicelink/PortInfo.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const char* const kRuleFix =
    "install the kelvastra package, or: sudo install -m 644 resources/udev/99-kelvastra.rules "
    "/etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger";

// The start of a file; nothing for what is not a regular file. Lock files sit in folders that
// anyone may write to, so a FIFO there (which would block the read) or a link to /dev/zero
// (which never ends) must not stop the checks.
std::string ReadText(const fs::path& file, std::size_t limit = std::size_t{1} << 20) {
    std::string error;
    return ReadRegularFile(file, limit, error).value_or(std::string());
}

std::string Trimmed(std::string text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0 || c == '\0'; };
    while (!text.empty() && blank(static_cast<unsigned char>(text.back())))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && blank(static_cast<unsigned char>(text[start])))
        ++start;
    return text.substr(start);
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The folder's entries in name order; none when it cannot be read.
std::vector<fs::path> Entries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

class System {
public:
    explicit System(const DoctorSystem& system) : m_system(system) {}

    fs::path Under(const fs::path& absolute) const {
        return m_system.root / absolute.relative_path();
    }
    bool Exists(const fs::path& absolute) const {
        std::error_code error;
        return fs::exists(Under(absolute), error);
    }
    bool Alive(long long pid) const { return pid > 0 && Exists("/proc/" + std::to_string(pid)); }
    std::string Process(long long pid) const {
        const std::string name =
            Trimmed(ReadText(Under("/proc/" + std::to_string(pid) + "/comm"), 64));
        return "process " + std::to_string(pid) + (name.empty() ? "" : " (" + name + ")");
    }
    // Process ids under /proc, in name order.
    std::vector<long long> Processes() const {
        std::vector<long long> pids;
        for (const fs::path& entry : Entries(Under("/proc"))) {
            const std::string name = entry.filename().string();
            if (IsNumber(name) && name.size() < 12)
                pids.push_back(std::stoll(name));
        }
        return pids;
    }
    const DoctorSystem& Info() const { return m_system; }

private:
    const DoctorSystem& m_system;
};

struct Board {
    std::string sysName; // "1-1.2"
    std::string id;      // "239A:800B"
    std::string product;
};

std::optional<Board> FindBoard(const System& system) {
    for (const fs::path& device : Entries(system.Under("/sys/bus/usb/devices"))) {
        const std::string vendor = Lower(Trimmed(ReadText(device / "idVendor")));
        const std::string product = Lower(Trimmed(ReadText(device / "idProduct")));
        if (vendor == "239a" && (product == "800b" || product == "000b")) {
            std::string id = "239A:" + product;
            std::transform(id.begin(), id.end(), id.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            const std::string text = Trimmed(Trimmed(ReadText(device / "manufacturer")) + " " +
                                             Trimmed(ReadText(device / "product")));
            return Board{device.filename().string(), id, text};
        }
    }
    return std::nullopt;
}

// The tty name of the board's CDC ACM interface ("ttyACM0"), from <board>:<config>.<if>/tty/.
std::string FindTty(const System& system, const Board& board) {
    for (const fs::path& entry : Entries(system.Under("/sys/bus/usb/devices"))) {
        if (entry.filename().string().rfind(board.sysName + ":", 0) != 0)
            continue;
        const std::vector<fs::path> ttys = Entries(entry / "tty");
        if (!ttys.empty())
            return ttys.front().filename().string();
    }
    return {};
}

struct Group {
    std::string name;
    std::vector<std::string> members;
};

std::optional<Group> FindGroup(const System& system, unsigned gid) {
    std::istringstream in(ReadText(system.Under("/etc/group")));
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ':');)
            fields.push_back(field);
        if (fields.size() < 3 || fields[2] != std::to_string(gid))
            continue;
        Group group{fields[0], {}};
        std::istringstream members(fields.size() > 3 ? fields[3] : "");
        for (std::string member; std::getline(members, member, ',');)
            group.members.push_back(Trimmed(member));
        return group;
    }
    return std::nullopt;
}

DoctorCheck CheckPermission(const System& system, const std::string& node) {
    const DoctorSystem& info = system.Info();
    const std::optional<platform::FileAccess> access = platform::FileAccessOf(system.Under(node));
    if (!access)
        return {CheckStatus::Fail, "permission: " + node + " cannot be examined", ""};
    // The permission bits: read and write for the owner, the group and the others.
    constexpr unsigned kOwner = 0600, kGroup = 0060, kOthers = 0006;
    const auto has = [&](unsigned bits) { return (access->mode & bits) == bits; };
    const bool inGroup =
        std::find(info.groups.begin(), info.groups.end(), access->group) != info.groups.end();
    bool allowed = false;
    if (info.uid == 0)
        allowed = true;
    else if (access->owner == info.uid)
        allowed = has(kOwner);
    else if (inGroup)
        allowed = has(kGroup);
    else
        allowed = has(kOthers);
    if (allowed)
        return {CheckStatus::Ok, "permission: you may open " + node, ""};

    const std::optional<Group> group = FindGroup(system, access->group);
    const std::string name = group ? group->name : std::to_string(access->group);
    if (!has(kGroup))
        return {CheckStatus::Fail, "permission: " + node + " is open to its owner only",
                std::string("install the udev rule and plug the board in again: ") + kRuleFix};
    if (group &&
        std::find(group->members.begin(), group->members.end(), info.user) != group->members.end())
        return {CheckStatus::Fail,
                "permission: you were added to group " + name +
                    " after you logged in, so this session is not in it yet",
                "log out and in again (or, for one shell: newgrp " + name + ")"};
    return {CheckStatus::Fail,
            "permission: " + node + " belongs to group " + name + ", which you are not in",
            "sudo usermod -aG " + name + " " + (info.user.empty() ? "$USER" : info.user) +
                ", then log out and in again"};
}

enum class Holds { Yes, No, Unknown };

// Whether the process has `node` open, from its descriptors' links.
Holds HoldsOpen(const System& system, long long pid, const std::string& node) {
    const fs::path fds = system.Under("/proc/" + std::to_string(pid) + "/fd");
    std::error_code error;
    fs::directory_iterator it(fds, error);
    if (error)
        return error == std::errc::permission_denied ? Holds::Unknown : Holds::No;
    for (fs::directory_iterator end; it != end; it.increment(error)) {
        if (error)
            break;
        std::error_code linkError;
        if (fs::read_symlink(it->path(), linkError) == fs::path(node))
            return Holds::Yes;
    }
    return Holds::No;
}

DoctorCheck CheckInUse(const System& system, const std::string& node) {
    const std::string tty = fs::path(node).filename().string();
    const long long self = system.Info().selfPid;
    // Qt's serial port and the terminal programs leave a lock file in the first of these. A lock
    // names a process, but that process is the holder only if it has the device open: the lock
    // may be left over and its number taken by another program since.
    std::optional<DoctorCheck> unverified;
    for (const char* folder :
         {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
        const fs::path lock = fs::path(folder) / ("LCK.." + tty);
        if (!system.Exists(lock))
            continue;
        // The process number is all a lock says, in its first line.
        const std::string text = Trimmed(ReadText(system.Under(lock), 64));
        const long long pid = std::atoll(text.c_str());
        if (pid == self || !system.Alive(pid))
            continue;
        const Holds holds = HoldsOpen(system, pid, node);
        if (holds == Holds::Yes)
            return {CheckStatus::Fail,
                    "in use: " + node + " is locked by " + system.Process(pid) + " (" +
                        lock.string() + ")",
                    "close that program, or end it: kill " + std::to_string(pid)};
        if (holds == Holds::Unknown && !unverified)
            unverified = DoctorCheck{CheckStatus::Warn,
                                     "in use: " + lock.string() + " names " + system.Process(pid) +
                                         ", whose open files could not be looked at",
                                     "if that program uses the controller, close it"};
    }
    bool unreadable = false;
    for (long long pid : system.Processes()) {
        if (pid == self)
            continue;
        const Holds holds = HoldsOpen(system, pid, node);
        unreadable = unreadable || holds == Holds::Unknown;
        if (holds == Holds::Yes)
            return {CheckStatus::Fail, "in use: " + node + " is open in " + system.Process(pid),
                    "close that program, or end it: kill " + std::to_string(pid)};
    }
    if (unverified)
        return *unverified;
    return {CheckStatus::Ok,
            "in use: no other process holds " + node +
                (unreadable ? " (processes of other users could not be looked at)" : ""),
            ""};
}

bool RuleInstalled(const System& system, std::string& where) {
    for (const char* folder :
         {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/local/lib/udev/rules.d",
          "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
        for (const fs::path& file : Entries(system.Under(folder))) {
            if (file.extension() != ".rules")
                continue;
            const std::string text = Lower(ReadText(file));
            if (text.find("239a") != std::string::npos &&
                text.find("id_mm_device_ignore") != std::string::npos) {
                where = (fs::path(folder) / file.filename()).string();
                return true;
            }
        }
    }
    return false;
}

DoctorCheck CheckModemManager(const System& system, const std::string& tty, bool ruleInstalled) {
    bool running = false;
    for (long long pid : system.Processes()) {
        if (Trimmed(ReadText(system.Under("/proc/" + std::to_string(pid) + "/comm"), 64)) ==
            "ModemManager") {
            running = true;
            break;
        }
    }
    if (!running)
        return {CheckStatus::Ok, "ModemManager: not running", ""};
    const std::string fix =
        std::string("install the udev rule, then plug the board in again: ") + kRuleFix;
    if (tty.empty()) {
        if (ruleInstalled)
            return {CheckStatus::Ok, "ModemManager: running; the udev rule keeps it off the board",
                    ""};
        return {CheckStatus::Warn,
                "ModemManager: running, and nothing tells it to leave the board alone", fix};
    }
    // udev's record of the device says whether the rule reached it.
    const std::string numbers = Trimmed(ReadText(system.Under("/sys/class/tty/" + tty + "/dev")));
    const std::string record = ReadText(system.Under("/run/udev/data/c" + numbers));
    if (record.find("E:ID_MM_DEVICE_IGNORE=1") != std::string::npos)
        return {CheckStatus::Ok, "ModemManager: running, and told to ignore the board", ""};
    return {CheckStatus::Fail,
            "ModemManager: running, and not told to ignore the board: it sends modem commands "
            "that the controller answers with errors",
            fix};
}

} // namespace

DoctorSystem DoctorSystem::FromEnvironment() {
    DoctorSystem system;
    if (const char* root = std::getenv("KELVASTRA_SYSTEM_ROOT"); root && *root)
        system.root = root;
    system.portsFolder = VirtualPortsFolder();
    platform::UserIdentity user = platform::CurrentUser();
    system.uid = user.uid;
    system.groups = std::move(user.groups);
    system.user = std::move(user.name);
    system.selfPid = platform::ProcessId();
    return system;
}

DoctorReport RunDoctor(const DoctorSystem& info) {
    DoctorReport report;
#if !defined(__linux__)
    // Every check reads what Linux keeps in files (sysfs, procfs, udev); other systems have none.
    report.checks.push_back({CheckStatus::NotChecked,
                             "doctor: the checks are made on Linux only; on this system the "
                             "controller is a COM port in the Device Manager",
                             ""});
    return report;
#endif
    const System system(info);
    auto& checks = report.checks;

    // The simulators first: a live one makes a missing board a warning only.
    std::vector<DoctorCheck> simulators;
    std::string simulatorPort;
    for (const fs::path& file : Entries(info.portsFolder)) {
        if (file.extension() != ".port")
            continue;
        const auto registration = ParseVirtualPortFile(ReadText(file));
        if (!registration)
            continue;
        const std::string& port = registration->info.portName;
        const bool alive = system.Alive(registration->pid);
        if (alive && system.Exists(port)) {
            simulators.push_back({CheckStatus::Ok,
                                  "simulator: " + port + ", " + system.Process(registration->pid),
                                  ""});
            if (simulatorPort.empty())
                simulatorPort = port;
        } else {
            simulators.push_back({CheckStatus::Warn,
                                  "simulator: " + file.filename().string() + " registers " + port +
                                      " for process " + std::to_string(registration->pid) +
                                      (alive ? ", but the port is gone" : ", which is gone"),
                                  "rm " + file.string()});
        }
    }
    if (simulators.empty())
        simulators.push_back({CheckStatus::NotChecked, "simulator: none registered", ""});

    std::string rulePath;
    const bool ruleInstalled = RuleInstalled(system, rulePath);
    const std::optional<Board> board = FindBoard(system);
    std::string tty;
    std::string node;
    if (!board) {
        checks.push_back(
            {simulatorPort.empty() ? CheckStatus::Fail : CheckStatus::Warn,
             "USB board: none with vendor 239A and product 800B or 000B",
             "plug the controller in with a USB cable that carries data and switch it on; "
             "lsusb then lists 239a:800b"});
        for (const char* name : {"serial device", "permission", "in use"})
            checks.push_back({CheckStatus::NotChecked, std::string(name) + ": no board", ""});
    } else {
        checks.push_back({CheckStatus::Ok,
                          "USB board: " + board->id + " at " + board->sysName +
                              (board->product.empty() ? "" : " (" + board->product + ")"),
                          ""});
        tty = FindTty(system, *board);
        node = tty.empty() ? "" : "/dev/" + tty;
        if (tty.empty()) {
            checks.push_back({CheckStatus::Fail,
                              "serial device: the board has none: the kernel's CDC ACM driver "
                              "(cdc_acm) is missing",
                              "sudo modprobe cdc_acm; if that fails, install the kernel's "
                              "modules package (linux-image-$(uname -r))"});
        } else if (!system.Exists(node)) {
            checks.push_back(
                {CheckStatus::Fail,
                 "serial device: the kernel names it " + tty + ", but " + node + " does not exist",
                 "sudo udevadm trigger, or plug the board in again"});
        } else {
            checks.push_back({CheckStatus::Ok, "serial device: " + node, ""});
        }
        if (checks.back().status != CheckStatus::Ok) {
            for (const char* name : {"permission", "in use"})
                checks.push_back(
                    {CheckStatus::NotChecked, std::string(name) + ": no serial device", ""});
            node.clear();
        } else {
            checks.push_back(CheckPermission(system, node));
            checks.push_back(CheckInUse(system, node));
        }
    }
    checks.push_back(CheckModemManager(system, node.empty() ? "" : tty, ruleInstalled));
    const bool boardUsable =
        !node.empty() && std::all_of(checks.begin(), checks.end(),
                                     [](const auto& c) { return c.status != CheckStatus::Fail; });
    if (ruleInstalled)
        checks.push_back({CheckStatus::Ok, "udev rule: " + rulePath, ""});
    else
        checks.push_back({CheckStatus::Warn, "udev rule: not installed", kRuleFix});
    checks.insert(checks.end(), simulators.begin(), simulators.end());
    // A board that is there but fails is not stood in for: it is the one wanted.
    report.usablePort = board ? (boardUsable ? node : "") : simulatorPort;
    return report;
}

std::string DoctorReportText(const DoctorReport& report) {
    std::string text;
    for (const DoctorCheck& check : report.checks) {
        const char* mark = check.status == CheckStatus::Ok     ? "ok  "
                           : check.status == CheckStatus::Fail ? "FAIL"
                           : check.status == CheckStatus::Warn ? "warn"
                                                               : "--  ";
        text += std::string(mark) + "  " + check.verdict + "\n";
        if (!check.fix.empty() && check.status != CheckStatus::Ok)
            text += "      fix: " + check.fix + "\n";
    }
    text += report.usablePort.empty()
                ? "The controller cannot be used: see the fixes above.\n"
                : "The controller can be used on " + report.usablePort + ".\n";
    return text;
}
