// kelvastra-sim: a stand-in for the controller board on a pseudo-terminal, with its memory card
// as a folder, so the whole workflow runs without hardware.
#include "CardSeed.h"
#include "Simulator.h"

#include "common/BuildInfo.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void OnSignal(int signal) {
    sim::Simulator::s_signal = signal;
}

bool FolderIsEmpty(const fs::path& folder) {
    std::error_code ec;
    return !fs::exists(folder, ec) || fs::is_empty(folder, ec);
}

fs::path MakeTempCard() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (fs::path(base && *base ? base : "/tmp") / "kelvastra-sim-card-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        return {};
    }
    return pattern;
}

bool LoadReplay(const std::string& path, std::vector<TrafficExchange>& exchanges) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string error;
    if (!in) {
        error = "cannot be read";
    } else if (ParseTrafficRecord(text.str(), exchanges, error)) {
        return true;
    }
    std::cerr << "kelvastra-sim: " << path << ": " << error << std::endl;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"kelvastra-sim: simulated Kelvastra controller on a pseudo-terminal.\n"
                 "Prints \"kelvastra-sim: port /dev/pts/N\" as its first line, registers the port "
                 "for discovery, and takes control commands on standard input (and --control)."};
    app.footer(std::string(sim::ControlHelpText()) + "\n" + sim::WireHelpText());

    sim::SimulatorOptions options;
    std::string card;
    std::string portsDir;
    bool noRegister = false;
    bool noSeed = false;
    bool keepCard = false;
    app.add_option("--card", card,
                   "card folder (created when missing; seeded with a sample test when empty); "
                   "default: a fresh temporary folder, removed on exit");
    app.add_option("--ports-dir", portsDir,
                   "registration folder; default $KELVASTRA_PORTS_DIR, else "
                   "$XDG_RUNTIME_DIR/kelvastra/ports, else /tmp/kelvastra-<uid>/ports");
    app.add_option("--firmware", options.firmware.firmwareVersion,
                   "firmware version code, version x 1000 (below 1540: old card listing)")
        ->capture_default_str();
    app.add_option("--hardware-version", options.firmware.hardwareVersion,
                   "hardware number in identity record 3")
        ->capture_default_str();
    app.add_option("--serial", options.firmware.serialNumber,
                   "serial number in identity record 1 and in the registration (give each "
                   "simulator running beside another its own)")
        ->capture_default_str();
    app.add_option("--baud", options.baud, "emulate this line rate both ways, 8N1 (0: unlimited)")
        ->capture_default_str();
    app.add_option("--speed", options.speed, "simulated seconds per real second in test runs")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    app.add_option("--latency", options.latencyMs, "hold every reply back by this many ms")
        ->capture_default_str();
    app.add_option("--control", options.controlFifo,
                   "FIFO taking the same control commands as standard input (created if missing)");
    app.add_flag("--no-register", noRegister, "do not write a port registration file");
    app.add_option("--description", options.description, "description in the registration")
        ->capture_default_str();
    app.add_option("--hardware-id", options.hardwareId, "hardware id in the registration")
        ->capture_default_str();
    app.add_flag("--quiet", options.quiet, "no traffic log on standard error");
    app.add_flag("--no-seed", noSeed, "leave an empty --card folder empty");
    app.add_flag("--keep-card", keepCard, "keep the temporary card folder on exit");
    std::string replay;
    app.add_option("--replay", replay,
                   "answer each command with the replies a serial traffic record (kelvastra-cli "
                   "--trace) holds for it, in order; any other command gets \"Error 1\" and a "
                   "line on standard error")
        ->type_name("FILE");
    app.set_version_flag("--version", VersionLine("kelvastra-sim"),
                         "Show the version and the build's commit, then exit");
    CLI11_PARSE(app, argc, argv);
    if (!replay.empty()) {
        options.replay.emplace();
        if (!LoadReplay(replay, *options.replay)) {
            return 2;
        }
    }

    bool tempCard = card.empty();
    fs::path cardPath = tempCard ? MakeTempCard() : fs::path(card);
    if (cardPath.empty()) {
        std::cerr << "kelvastra-sim: cannot create a card folder" << std::endl;
        return 1;
    }
    std::error_code ec;
    bool seed = !noSeed && FolderIsEmpty(cardPath);
    fs::create_directories(cardPath, ec);
    if (!fs::is_directory(cardPath, ec)) {
        std::cerr << "kelvastra-sim: " << cardPath << " is not a folder" << std::endl;
        return 1;
    }
    if (seed) {
        sim::SimCard seedCard(cardPath);
        if (!sim::SeedCard(seedCard, options.firmware.firmwareVersion,
                           options.firmware.hardwareVersion)) {
            std::cerr << "kelvastra-sim: cannot seed the card folder " << cardPath << std::endl;
            return 1;
        }
    }
    options.card = cardPath;
    options.portsDir = portsDir;
    options.registerPort = !noRegister;

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGHUP, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    int status = 0;
    {
        sim::Simulator simulator(options, std::cout, std::cerr);
        if (!options.quiet) {
            std::cerr << "kelvastra-sim: card " << cardPath.string() << std::endl;
        }
        status = simulator.Run();
    }
    if (tempCard && !keepCard) {
        fs::remove_all(cardPath, ec);
    }
    return status;
}
