// Calibration subcommands: calibration mode's readings, set point, valve and position offsets,
// and the displacement calibration with a session file in the exported calibration format.
#include "cli/Commands.h"

#include "calibration/CalibrationMode.h"
#include "calibration/DisplacementCalibration.h"
#include "common/AtomicFile.h"
#include "common/platform/Terminal.h"
#include "devicelink/DeviceSession.h"
#include "document/ControllerCalibration.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>

namespace {

constexpr const char* kCalibrationModeBusy =
    "Cannot Access Calibration Mode\nWhile Test is Running\n";
constexpr const char* kDisplacementBusy =
    "Cannot Access Displacement Calibration\nWhile Test is Running\n";

void Fail(CliContext& context, const std::string& message, const DeviceSession* session = nullptr) {
    std::cerr << (message.empty() || message.back() != '\n' ? message + "\n" : message);
    if (session) {
        const std::string log = session->LogSinceMark();
        if (!log.empty())
            std::cerr << log << (log.back() == '\n' ? "" : "\n");
    }
    context.exitCode = 1;
}

// Opens the controller, refuses while a test runs (as the dialogs do), and runs `body`.
void WithDevice(CliContext& context, const char* busyMessage,
                const std::function<void(ICalibrationDevice&, DeviceSession&)>& body) {
    DeviceSession session;
    std::string error;
    if (!session.Open(context.port, error)) {
        Fail(context, "kelvastra-cli: " + error, &session);
        return;
    }
    session.MarkLog();
    int state = 0;
    if (session.GetController().QueryInteger(Controller::kRunStateQuery, state) == 0 &&
        state == Controller::kRunStateRunning) {
        Fail(context, busyMessage);
        return;
    }
    ControllerCalibrationDevice device(session.GetController());
    body(device, session);
}

// "label: done/total" on standard error, only when it is a terminal.
ProgressFn ProgressLine(const std::string& label) {
    if (!platform::IsTerminal(platform::StandardStream::Error))
        return {};
    return [label](std::int64_t done, std::int64_t total) {
        std::fprintf(stderr, "\r%s: %lld/%lld", label.c_str(), static_cast<long long>(done),
                     static_cast<long long>(total));
        if (done == total)
            std::fprintf(stderr, "\n");
        return true;
    };
}

bool Confirmed(CliContext& context, bool yes, const std::string& question) {
    if (yes)
        return true;
    Fail(context, question + "\n(give --yes to go ahead)");
    return false;
}

void PrintRow(const std::array<std::string, 1 + kWellCount>& row) {
    for (std::size_t i = 0; i < row.size(); ++i)
        std::cout << (i ? "\t" : "") << row[i];
    std::cout << '\n';
}

void PrintFactors(const DisplacementCalibration& calibration) {
    PrintRow({"Factor", "Well 1", "Well 2", "Well 3", "Well 4", "Well 5", "Well 6", "Well 7",
              "Well 8", "Well 9"});
    for (const FactorRow& row : calibration.FactorRows())
        PrintRow(row);
}

// The session file: an exported calibration file, read whole. A missing file is an empty
// session when `mayBeMissing`.
bool LoadSession(CliContext& context, const std::string& path, bool mayBeMissing,
                 DisplacementCalibration& calibration) {
    std::error_code code;
    if (mayBeMissing && !std::filesystem::exists(path, code))
        return true;
    const CalibrationOutcome outcome = calibration.ImportSession(path);
    if (!outcome.ok) {
        Fail(context, outcome.message);
        return false;
    }
    return true;
}

bool SaveSession(CliContext& context, const std::string& path,
                 const DisplacementCalibration& calibration) {
    std::string error;
    if (WriteFileAtomically(path, calibration.SessionText(), &error))
        return true;
    Fail(context, "kelvastra-cli: cannot write " + path + ": " + error);
    return false;
}

void ShowOutcome(CliContext& context, const CalibrationOutcome& outcome) {
    if (!outcome.ok)
        Fail(context, outcome.message);
}

// --- calibration mode ------------------------------------------------------------------------

void RunSensors(CliContext& context, int samples, bool raw) {
    WithDevice(context, kCalibrationModeBusy, [&](ICalibrationDevice& device, DeviceSession&) {
        const HardwareDescription& description = device.Hardware();
        const bool hydrostatic = description.MembraneStyle == Membrane::Hydrostatic;
        const SensorSamples sampled = SampleSensors(
            device, hydrostatic ? std::vector<int>{kPressureChannel} : WellsThenPressure(), samples,
            false, ProgressLine("Reading"));
        const SpringModel spring(description.SpringType);
        const SensorFigures figures =
            FiguresFromSamples(sampled, description, spring, raw, SensorFigures::Unknown());
        for (const auto& [name, value] : SensorLines(figures))
            std::cout << name << '\t' << value << '\n';
        std::string failed;
        for (int channel = 0; channel < kSensorChannels; ++channel) {
            if (sampled.sampled[channel] && sampled.failed[channel])
                failed += (failed.empty() ? "" : ", ") + ChannelName(channel);
        }
        if (!failed.empty())
            Fail(context, "Error:  Readings failed: " + failed + ".");
    });
}

void RunSetPoint(CliContext& context, float value, bool raw, bool mpa) {
    WithDevice(context, kCalibrationModeBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        SetPointControls controls;
        controls.entry = value;
        controls.specifyRaw = raw;
        controls.specifyMPa = mpa;
        const SetPointResult result = ApplySetPoint(device, controls);
        if (!result.raw) {
            Fail(context, result.message);
            return;
        }
        std::cout << "Raw set point\t" << *result.raw << '\n';
        if (!result.sent)
            Fail(context, "Error:  The controller did not accept the set point.", &s);
    });
}

void RunValve(CliContext& context, const std::string& position) {
    WithDevice(context, kCalibrationModeBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        if (!SendValve(device, position == "open"))
            Fail(context, "Error:  The controller did not accept the valve command.", &s);
    });
}

void RunOffsetsSet(CliContext& context, int absolute, bool yes) {
    if (!Confirmed(context, yes, kAdvancedSettingQuestion))
        return;
    WithDevice(context, kCalibrationModeBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        const OffsetsResult result =
            CalibratePositions(device, absolute, kSamplesPerReading, ProgressLine("Reading"));
        const CalibrationOutcome outcome = OffsetsOutcome(result);
        if (!outcome.ok) {
            Fail(context, outcome.message, &s);
            return;
        }
        for (int w = 0; w < kWellCount; ++w)
            std::cout << "Offset " << w + 1 << '\t' << result.offsets[w] << '\n';
    });
}

void RunOffsetsReset(CliContext& context, bool yes) {
    if (!Confirmed(context, yes, kAdvancedSettingQuestion))
        return;
    WithDevice(context, kCalibrationModeBusy, [&](ICalibrationDevice& device, DeviceSession&) {
        ShowOutcome(context, ResetPositions(device));
    });
}

// --- displacement calibration ---------------------------------------------------------------

void RunCollect(CliContext& context, int position, const std::string& session) {
    DisplacementCalibration calibration;
    if (!LoadSession(context, session, true, calibration))
        return;
    WithDevice(context, kDisplacementBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        const SensorSamples samples = SampleSensors(device, WellsThenPressure(), kSamplesPerReading,
                                                    true, ProgressLine("Collecting"));
        const CalibrationOutcome outcome = calibration.AddCollection(position, samples);
        if (!outcome.ok) {
            Fail(context, outcome.message, &s);
            return;
        }
        if (SaveSession(context, session, calibration))
            PrintRow(calibration.Rows().back());
    });
}

void RunAnalyze(CliContext& context, const std::string& session) {
    DisplacementCalibration calibration;
    if (!LoadSession(context, session, false, calibration))
        return;
    const CalibrationOutcome outcome = calibration.Analyze();
    if (!outcome.ok) {
        Fail(context, outcome.message);
        return;
    }
    if (SaveSession(context, session, calibration))
        PrintFactors(calibration);
}

void RunApply(CliContext& context, const std::string& session, bool factory) {
    DisplacementCalibration calibration;
    if (!LoadSession(context, session, false, calibration))
        return;
    std::string refusal;
    const auto values = calibration.ApplyValues(refusal);
    if (!values) {
        Fail(context, refusal);
        return;
    }
    WithDevice(context, kDisplacementBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        const CalibrationOutcome outcome =
            ApplyOutcome(ApplyCalibration(device, *values, factory), factory);
        if (!outcome.ok) {
            Fail(context, outcome.message, &s);
            return;
        }
        std::cout << DisplacementCalibration::kApplied << '\n';
    });
}

void RunRead(CliContext& context, const std::string& session) {
    WithDevice(context, kDisplacementBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        const auto values = ReadCardCalibration(device, kCoefficientFile);
        if (!values) {
            Fail(context,
                 "Error:  MAGCAL.INI on the device is not a complete calibration (27 lines).", &s);
            return;
        }
        DisplacementCalibration calibration;
        calibration.ShowDeviceCalibration(*values);
        if (session.empty() || SaveSession(context, session, calibration))
            PrintFactors(calibration);
    });
}

void RunRestoreFactory(CliContext& context, bool yes) {
    if (!Confirmed(context, yes, DisplacementCalibration::kRestoreQuestion))
        return;
    WithDevice(context, kDisplacementBusy, [&](ICalibrationDevice& device, DeviceSession& s) {
        DisplacementCalibration calibration;
        const RestoreResult result = RestoreFactoryCalibration(device);
        if (!result.factoryRead) {
            Fail(context,
                 "Error:  MAGCAL0.INI on the device is not a complete calibration (27 lines).\n"
                 "Nothing was changed.",
                 &s);
            return;
        }
        const CalibrationOutcome outcome = TakeRestore(calibration, result);
        if (!outcome.ok) {
            Fail(context, outcome.message, &s);
            return;
        }
        std::cout << calibration.Status() << '\n';
        PrintFactors(calibration);
    });
}

} // namespace

void AddCalibrationCommands(CLI::App& app, CliContext& context) {
    // --- calibration mode ---
    auto* sensors = app.add_subcommand(
        "sensors", "Average live readings: pressure, positions (um) and forces (N)");
    auto samples = std::make_shared<int>(kSamplesPerReading);
    auto raw = std::make_shared<bool>(false);
    sensors->add_option("--samples", *samples, "samples per reading (default 100)")
        ->check(CLI::Range(1, 100000));
    sensors->add_flag("--raw", *raw, "positions as the mean raw sensor reading");
    sensors->callback([&context, samples, raw] { RunSensors(context, *samples, *raw); });

    auto* setpoint = app.add_subcommand(
        "setpoint", "Set the regulator: a force in N (a pressure in MPa on a Hydrostatic "
                    "membrane), or --mpa, or --raw counts");
    auto value = std::make_shared<float>(0.0f);
    auto setRaw = std::make_shared<bool>(false);
    auto setMpa = std::make_shared<bool>(false);
    setpoint->add_option("VALUE", *value, "set point")->required();
    auto* rawFlag = setpoint->add_flag("--raw", *setRaw, "VALUE in raw regulator counts");
    setpoint->add_flag("--mpa", *setMpa, "VALUE in MPa")->excludes(rawFlag);
    setpoint->callback(
        [&context, value, setRaw, setMpa] { RunSetPoint(context, *value, *setRaw, *setMpa); });

    auto* valve = app.add_subcommand("valve", "Open or close the pressure valve");
    auto position = std::make_shared<std::string>();
    valve->add_option("STATE", *position, "open or close")
        ->required()
        ->check(CLI::IsMember({"open", "close"}));
    valve->callback([&context, position] { RunValve(context, *position); });

    auto* offsets = app.add_subcommand("offsets", "The wells' position offsets (POSCAL.INI)");
    offsets->require_subcommand(1);
    auto* set = offsets->add_subcommand(
        "set", "Set every well's offset so that its current position reads UM");
    auto absolute = std::make_shared<int>(0);
    auto setYes = std::make_shared<bool>(false);
    set->add_option("UM", *absolute, "absolute position (um)")->required();
    set->add_flag("--yes", *setYes, "confirm the advanced setting");
    set->callback([&context, absolute, setYes] { RunOffsetsSet(context, *absolute, *setYes); });
    auto* reset = offsets->add_subcommand("reset", "Set every well's offset to 0");
    auto resetYes = std::make_shared<bool>(false);
    reset->add_flag("--yes", *resetYes, "confirm the advanced setting");
    reset->callback([&context, resetYes] { RunOffsetsReset(context, *resetYes); });

    // --- displacement calibration ---
    auto* calibrate = app.add_subcommand(
        "calibrate", "Displacement calibration with a session file (the exported .csv format)");
    calibrate->require_subcommand(1);

    auto* collect = calibrate->add_subcommand(
        "collect", "Average 100 readings of every well with spacers of UM under the shuttles and "
                   "add them to the session");
    auto collectUm = std::make_shared<int>(0);
    auto collectSession = std::make_shared<std::string>();
    collect->add_option("UM", *collectUm, "spacer height (um)")->required();
    collect->add_option("--session", *collectSession, "session file (created when missing)")
        ->required();
    collect->callback([&context, collectUm, collectSession] {
        RunCollect(context, *collectUm, *collectSession);
    });

    auto* analyze = calibrate->add_subcommand(
        "analyze", "Fit each well's quadratic to the session's rows and store the factors");
    auto analyzeSession = std::make_shared<std::string>();
    analyze->add_option("--session", *analyzeSession, "session file")->required();
    analyze->callback([&context, analyzeSession] { RunAnalyze(context, *analyzeSession); });

    auto* apply = calibrate->add_subcommand(
        "apply", "Write the session's factors to the device (MAGCAL.INI) and zero the offsets");
    auto applySession = std::make_shared<std::string>();
    auto factory = std::make_shared<bool>(false);
    apply->add_option("--session", *applySession, "analysed session file")->required();
    apply->add_flag("--factory", *factory, "write the factory copy MAGCAL0.INI as well");
    apply->callback(
        [&context, applySession, factory] { RunApply(context, *applySession, *factory); });

    auto* read = calibrate->add_subcommand(
        "read", "Show the device's calibration; with --session, write it there (without rows)");
    auto readSession = std::make_shared<std::string>();
    read->add_option("--session", *readSession, "session file to write");
    read->callback([&context, readSession] { RunRead(context, *readSession); });

    auto* restore = calibrate->add_subcommand(
        "restore-factory", "Replace the device's calibration by its factory copy");
    auto restoreYes = std::make_shared<bool>(false);
    restore->add_flag("--yes", *restoreYes, "confirm");
    restore->callback([&context, restoreYes] { RunRestoreFactory(context, *restoreYes); });
}
