// The command-line program's subcommands, one file per group.
#pragma once

#include <string>

namespace CLI {
class App;
}

// What the subcommands share: global options and the exit status the chosen one sets.
struct CliContext {
    std::string port;  // --port PATH: use this port and skip discovery
    std::string trace; // --trace FILE: the serial traffic record
    int exitCode = 0;
};

void AddGlobalOptions(CLI::App& app, CliContext& context);
void AddProtocolCommands(CLI::App& app, CliContext& context);
void AddConvertCommand(CLI::App& app, CliContext& context);
void AddDeviceCommands(CLI::App& app, CliContext& context);
void AddProgramCommands(CLI::App& app, CliContext& context);
void AddDoctorCommand(CLI::App& app, CliContext& context);
void AddCalibrationCommands(CLI::App& app, CliContext& context);
void AddDataCommands(CLI::App& app, CliContext& context);
void AddMonitorCommand(CLI::App& app, CliContext& context);
// After AddProtocolCommands: adds "report" and "protocol pdf".
void AddReportCommands(CLI::App& app, CliContext& context);
// Whether the command line asks for a printout, which needs fonts (a GUI application object).
bool CommandNeedsGui(int argc, char** argv);
