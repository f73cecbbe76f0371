#include "cli/Commands.h"

#include "common/BuildInfo.h"
#include "devicelink/DeviceSession.h"
#include "devicelink/Serial.h"
#include "devicelink/TrafficRecorder.h"

#include <CLI/CLI.hpp>

void AddGlobalOptions(CLI::App& app, CliContext& context) {
    app.add_option("--port", context.port, "Serial port of the controller (skips discovery)");
    // Every command that reaches the controller goes through DeviceSession::ChoosePort.
    app.add_option_function<std::string>(
           "--serial", [](const std::string& serial) { DeviceSession::SetChosenSerial(serial); },
           "Use the controller with this serial number (see ports) when several are present")
        ->type_name("SN");
    // The record starts while the options are read, before any subcommand opens the port; a
    // file that cannot be written is a usage error and nothing is sent.
    app.add_option("--trace", context.trace,
                   "Append every byte sent to and received from the controller to FILE, with "
                   "time stamps and exchanges (format: see the README)")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](std::string& path) {
                std::string error;
                return TrafficRecorder::Shared().Start(path, error) ? std::string() : error;
            },
            ""));
    // A script on a link known to be good may give up on a silent controller sooner than the
    // controller's 20 s.
    app.add_option_function<int>(
           "--timeout", [](const int& ms) { Serial::SetDefaultLongTimeoutMs(ms); },
           "Wait at most MS milliseconds for each reply (default 20000)")
        ->type_name("MS")
        ->check(CLI::Range(1, 600000));
    app.set_version_flag("--version", VersionLine("kelvastra-cli"),
                         "Show the version and the build's commit, then exit");
}
