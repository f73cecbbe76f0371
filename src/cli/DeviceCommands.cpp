// Device subcommands: ports, info, status and the card file commands.
#include "cli/Commands.h"

#include "common/AtomicFile.h"
#include "common/platform/Terminal.h"
#include "devicelink/DeviceSession.h"
#include "devicelink/PortInfo.h"
#include "recordings/TestDataAccess.h"
#include "recordings/TestDataListing.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>

namespace {

void Fail(CliContext& context, const std::string& message, const DeviceSession* session = nullptr) {
    std::cerr << "kelvastra-cli: " << message << "\n";
    if (session) {
        const std::string log = session->LogSinceMark();
        if (!log.empty())
            std::cerr << log << (log.back() == '\n' ? "" : "\n");
    }
    context.exitCode = 1;
}

// Opens the controller and runs `body` with it; reports a failed open.
void WithController(CliContext& context, const std::function<void(DeviceSession&)>& body) {
    DeviceSession session;
    std::string error;
    if (!session.Open(context.port, error)) {
        Fail(context, error, &session);
        return;
    }
    // What connecting logged (the identity records) is not news when a later step fails.
    session.MarkLog();
    body(session);
}

// Running byte count on standard error, only when it is a terminal.
class ProgressLine {
public:
    ProgressLine() : m_show(platform::IsTerminal(platform::StandardStream::Error)) {}
    void operator()(long long bytes) const {
        if (m_show)
            std::fprintf(stderr, "\r%lld bytes", bytes);
    }
    void Done(long long bytes) const {
        if (m_show)
            std::fprintf(stderr, "\r%lld bytes\n", bytes);
    }

private:
    bool m_show;
};

void RunPorts(CliContext& context) {
    (void)context;
    Controller controller;
    const std::vector<PortInfo> found = controller.FindControllers(true);
    if (found.empty())
        std::cerr << "kelvastra-cli: no controller found\n";
    // One controller per line: port, serial number ("?" when it could not be asked),
    // description.
    for (const PortInfo& port : found) {
        std::cout << port.portName << '\t' << (port.serialNumber.empty() ? "?" : port.serialNumber)
                  << '\t' << port.description << '\n';
    }
}

void RunInfo(CliContext& context) {
    WithController(context, [&](DeviceSession& session) {
        Controller& device = session.GetController();
        std::cout << "port: " << device.portName << '\n';
        for (std::size_t i = 0; i < device.infoLines.size(); ++i)
            std::cout << "record " << i << ": " << device.infoLines[i] << '\n';
        std::cout << "hardware version: " << device.hardware.hardwareVersion << '\n';
        std::cout << "firmware version: " << device.hardware.FirmwareVersion << '\n';
        std::cout << "position offsets (um):";
        if (device.hardware.positionOffsets) {
            for (int32_t offset : *device.hardware.positionOffsets)
                std::cout << ' ' << offset;
        }
        std::cout << '\n';
        if (device.hardware.displacementCoefficients) {
            const auto& c = *device.hardware.displacementCoefficients;
            std::cout << "displacement coefficients:\n";
            for (int well = 0; well < kWellCount; ++well) {
                std::ostringstream line;
                line.precision(6);
                line << "  well " << well + 1 << ": " << c[3 * well] << ' ' << c[3 * well + 1]
                     << ' ' << c[3 * well + 2];
                std::cout << line.str() << '\n';
            }
        } else {
            std::cout << "displacement coefficients: none\n";
        }
    });
}

void RunStatus(CliContext& context) {
    WithController(context, [&](DeviceSession& session) {
        int state = 0;
        if (session.GetController().QueryInteger(Controller::kRunStateQuery, state) != 0) {
            Fail(context, "run state query failed", &session);
            return;
        }
        std::cout << state << '\n';
    });
}

void RunCardList(CliContext& context) {
    WithController(context, [&](DeviceSession& session) {
        std::vector<std::string> lines;
        const int result = session.GetController().ReadCardListing(lines);
        for (const auto& line : lines)
            std::cout << line << '\n';
        if (result != 1)
            Fail(context, "card listing failed", &session);
    });
}

std::string LocalNameFor(const std::string& cardName) {
    const std::size_t slash = cardName.find_last_of("\\/");
    return slash == std::string::npos ? cardName : cardName.substr(slash + 1);
}

std::string CardNameRule() {
    return "card file name must have 1 to " + std::to_string(Controller::kMaxCardNameLength) +
           " characters and no line end";
}

void RunCardGet(CliContext& context, const std::string& name, std::string local) {
    if (local.empty())
        local = LocalNameFor(name);
    if (!Controller::IsValidCardName(name)) {
        Fail(context, CardNameRule());
        return;
    }
    WithController(context, [&](DeviceSession& session) {
        Controller& device = session.GetController();
        // The listed size shows a transfer that ended early, which otherwise looks complete.
        std::vector<std::string> lines;
        std::optional<int32_t> listed;
        if (device.ReadCardListing(lines) == 1)
            listed = ListedSize(lines, device.hardware.FirmwareVersion, name);
        AtomicFile out{std::filesystem::path(local)};
        if (!out.Open()) {
            Fail(context, "cannot open " + local + " for writing: " + out.Error(), &session);
            return;
        }
        ProgressLine progress;
        long long bytes = 0;
        const int result = device.DownloadInto(
            name, [&out](std::string_view piece) { return out.Write(piece); }, bytes, progress);
        const std::string notWritten = "; " + local + " not written";
        if (result != 1) {
            if (!out.Error().empty())
                Fail(context, "cannot write " + local + ": " + out.Error(), &session);
            else if (device.lastResult == Controller::kInterrupted)
                Fail(context, "download of " + name + " interrupted" + notWritten, &session);
            else
                Fail(context, "download of " + name + " failed" + notWritten, &session);
            return;
        }
        if (listed && bytes != *listed) {
            Fail(context, "download of " + name + " incomplete: " + std::to_string(bytes) + " of " +
                              std::to_string(*listed) + " bytes arrived" + notWritten +
                              (bytes < *listed ? std::string(". ") + kEndByteCause : ""));
            return;
        }
        if (!out.Commit()) {
            Fail(context,
                 name + " arrived whole but " + local + " could not be saved: " + out.Error());
            return;
        }
        progress.Done(bytes);
    });
}

void RunCardPut(CliContext& context, const std::string& local, const std::string& name) {
    std::ifstream in(local, std::ios::binary);
    if (!in) {
        Fail(context, "cannot read " + local);
        return;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string content = buffer.str();
    if (content.find_first_of(std::string{'\r', '\x17'}) != std::string::npos) {
        Fail(context, local + " holds a carriage return or the byte 0x17, which the card link "
                              "cannot carry (card files use bare line feeds)");
        return;
    }
    if (!Controller::IsValidCardName(name)) {
        Fail(context, CardNameRule());
        return;
    }
    WithController(context, [&](DeviceSession& session) {
        Controller& device = session.GetController();
        const int result = device.ReplaceCardFile(name, content);
        if (result == Controller::kCardDamaged)
            Fail(context, device.WriteProblem() + "\nPut the file again.", &session);
        else if (result != Controller::kCardReplaced)
            Fail(context, device.WriteProblem(), &session);
    });
}

void RunCardRemove(CliContext& context, const std::string& name) {
    WithController(context, [&](DeviceSession& session) {
        if (session.GetController().DeleteCardFile(name) != 1)
            Fail(context, name + " not deleted", &session);
    });
}

} // namespace

void AddDeviceCommands(CLI::App& app, CliContext& context) {
    auto* ports = app.add_subcommand(
        "ports", "List the controllers present: port, serial number, description");
    ports->callback([&context] { RunPorts(context); });

    auto* info = app.add_subcommand(
        "info", "Connect and show the controller's identity, versions and calibration tables");
    info->callback([&context] { RunInfo(context); });

    auto* status = app.add_subcommand("status", "Show the controller's run state (3 running, "
                                                "4 paused)");
    status->callback([&context] { RunStatus(context); });

    auto* card = app.add_subcommand("card", "Files on the controller's card");
    card->require_subcommand(1);

    auto* list = card->add_subcommand("ls", "List the card as the controller sends it");
    list->callback([&context] { RunCardList(context); });

    auto* get = card->add_subcommand("get", "Copy a card file to the computer");
    auto getName = std::make_shared<std::string>();
    auto getLocal = std::make_shared<std::string>();
    get->add_option("NAME", *getName, "card file name")->required();
    get->add_option("LOCAL", *getLocal, "local file (default: the card name, here)");
    get->callback([&context, getName, getLocal] { RunCardGet(context, *getName, *getLocal); });

    auto* put = card->add_subcommand(
        "put", "Copy a local text file to the card (a file of that name is replaced, and kept "
               "when the write fails)");
    auto putLocal = std::make_shared<std::string>();
    auto putName = std::make_shared<std::string>();
    put->add_option("LOCAL", *putLocal, "local file")->required();
    put->add_option("NAME", *putName, "card file name")->required();
    put->callback([&context, putLocal, putName] { RunCardPut(context, *putLocal, *putName); });

    auto* remove = card->add_subcommand("rm", "Delete a card file");
    auto removeName = std::make_shared<std::string>();
    remove->add_option("NAME", *removeName, "card file name")->required();
    remove->callback([&context, removeName] { RunCardRemove(context, *removeName); });
}
