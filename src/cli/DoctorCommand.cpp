// doctor: why the controller cannot be reached, and what to do about it.
#include "cli/Commands.h"

#include "devicelink/Doctor.h"

#include <CLI/CLI.hpp>

#include <iostream>

void AddDoctorCommand(CLI::App& app, CliContext& context) {
    auto* doctor = app.add_subcommand(
        "doctor", "Check the board, its serial device, access rights, other programs holding "
                  "it, ModemManager, the udev rule and simulator registrations; exit 0 when "
                  "the controller can be used");
    doctor->callback([&context] {
        const DoctorReport report = RunDoctor(DoctorSystem::FromEnvironment());
        std::cout << DoctorReportText(report);
        context.exitCode = report.usablePort.empty() ? 1 : 0;
    });
}
