// Device subcommands: ports, info, status and the card file commands.
#include "cli/Commands.h"

#include "devicelink/DeviceSession.h"
#include "devicelink/PortInfo.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <unistd.h>

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
    ProgressLine() : m_show(::isatty(STDERR_FILENO) != 0) {}
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
    const std::vector<PortInfo> ports = EnumeratePorts();
    const auto controller = MatchControllerIndex(ports);
    if (ports.empty())
        std::cerr << "kelvastra-cli: no serial ports found\n";
    // One port per line: mark ("*" for the controller), location, description, hardware id.
    for (std::size_t i = 0; i < ports.size(); ++i) {
        std::cout << (controller && *controller == i ? "* " : "  ") << ports[i].portName << '\t'
                  << ports[i].description << '\t' << ports[i].hardwareId << '\n';
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
        if (session.GetController().QueryInteger("0?S\r", state) != 0) {
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

void RunCardGet(CliContext& context, const std::string& name, std::string local) {
    if (local.empty())
        local = LocalNameFor(name);
    WithController(context, [&](DeviceSession& session) {
        ProgressLine progress;
        long long last = 0;
        const int result = session.GetController().DownloadFile(name, local, [&](long long bytes) {
            last = bytes;
            progress(bytes);
        });
        if (result == -1) {
            Fail(context, "cannot open " + local + " for writing", &session);
        } else if (result != 1) {
            Fail(context, "download of " + name + " failed; " + local + " not written", &session);
        } else {
            std::error_code error;
            const auto size = std::filesystem::file_size(local, error);
            progress.Done(error ? last : static_cast<long long>(size));
        }
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
        Fail(context, "card file name must have 1 to " +
                          std::to_string(Controller::kMaxCardNameLength) +
                          " characters and no line end");
        return;
    }
    WithController(context, [&](DeviceSession& session) {
        Controller& device = session.GetController();
        // The card appends to an existing file, so the old one goes first.
        device.DeleteCardFile(name);
        if (device.WriteCardFile(name, content) != 1)
            Fail(context, "writing " + name + " to the card failed", &session);
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
    auto* ports = app.add_subcommand("ports", "List the serial ports; the controller is marked *");
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

    auto* put = card->add_subcommand("put", "Copy a local text file to the card");
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
