// "kelvastra-cli doctor": why the controller cannot be reached, one check at a time, each with a
// one-line verdict and the fix when it fails. The checks read only files (sysfs, procfs, /dev,
// /etc/group, the udev rules and database, the simulator registrations) below a root folder, so
// that a fake tree can stand in for the system in tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct DoctorSystem {
    std::filesystem::path root = "/";  // holds sys/, proc/, dev/, etc/, run/, lib/, usr/
    std::filesystem::path portsFolder; // simulator registrations
    unsigned uid = 0;
    std::vector<unsigned> groups; // the process's groups, the primary one included
    std::string user;
    long long selfPid = 0;

    // This process: the root from $KELVASTRA_SYSTEM_ROOT (else "/"), the registration folder
    // discovery uses.
    static DoctorSystem FromEnvironment();
};

enum class CheckStatus {
    Ok,
    Fail,       // keeps the controller from being used
    Warn,       // wrong, but the controller can be used
    NotChecked, // depends on an earlier check that failed
};

struct DoctorCheck {
    CheckStatus status = CheckStatus::Ok;
    std::string verdict; // "name: what was found"
    std::string fix;     // empty when nothing is to be done
};

struct DoctorReport {
    std::vector<DoctorCheck> checks;
    // The port the program would use: the board's serial device when every check of the board
    // passed; without a board, a live simulator's; else empty.
    std::string usablePort;
};

DoctorReport RunDoctor(const DoctorSystem& system);
// The checks, one line each ("ok", "FAIL", "warn", "--") with their fixes, and a closing line.
std::string DoctorReportText(const DoctorReport& report);
