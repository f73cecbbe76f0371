// protocol show FILE: the sequence list, totals and check of a protocol file.
// protocol normalize IN [OUT]: a protocol text written again with the standard columns.
#include "cli/Commands.h"

#include "common/AtomicFile.h"
#include "hardware/HardwareDescription.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SequenceDisplay.h"
#include "protocol/SequenceRules.h"
#include "protocol/SetEditRules.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace {

// Exit statuses of the protocol commands.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUnreadable = 2;

struct ProtocolOptions {
    std::string file;
    bool hydrostatic = false;
    std::string input;
    std::string output;
};

// "-" is standard input. Returns false, having said why, when the text cannot be read at all.
bool ReadProtocolFile(const std::string& path, SetSequence& sequence, HardwareDescription& hardware,
                      ProtocolReadResult& result) {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (path != "-") {
        // A folder opens like a file here and then reads as an empty protocol.
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            file.open(path, std::ios::binary);
        }
        if (!file.is_open()) {
            std::cerr << "Error:  Cannot open " << path << "\n";
            return false;
        }
        in = &file;
    }
    result = ReadProtocolText(*in, sequence, &hardware);
    if (in->bad()) {
        std::cerr << "Error:  Cannot read " << path << "\n";
        return false;
    }
    return true;
}

void WarnIfIncomplete(const ProtocolReadResult& result, const std::string& path) {
    const std::string warning = ProtocolReadWarning(result);
    if (!warning.empty()) {
        std::cerr << path << ":\n" << warning;
    }
}

int Show(const ProtocolOptions& options) {
    SetSequence sequence;
    HardwareDescription hardware;
    ProtocolReadResult result;
    if (!ReadProtocolFile(options.file, sequence, hardware, result)) {
        return kExitUnreadable;
    }
    WarnIfIncomplete(result, options.file);

    const bool hydrostatic =
        options.hydrostatic ||
        (result.hardwareBlock && hardware.MembraneStyle == Membrane::Hydrostatic);
    // The set editor's rules, for the file's own hardware block or else the default hardware: a
    // warning only, since the protocol may be meant for another device.
    if (!result.hardwareBlock) {
        hardware = HardwareDescription{};
    }
    if (hydrostatic) {
        hardware.MembraneStyle = Membrane::Hydrostatic;
    }
    const std::string problems = SequenceRuleProblems(sequence, hardware);
    if (!problems.empty()) {
        std::cerr << options.file << ":\nWarning:  Program Device will refuse this protocol on "
                  << "that hardware:\n"
                  << problems;
    }
    std::string text;
    for (size_t i = 0; i < sequence.sets.size(); ++i) {
        const auto cells = SequenceListRow(sequence, static_cast<int>(i), hydrostatic);
        for (size_t c = 0; c < cells.size(); ++c) {
            text += cells[c];
            text += c + 1 < cells.size() ? '\t' : '\n';
        }
    }
    text += "Total Time\t" + TimeText(TotalSeconds(sequence)) + "\n";
    text += "Used Memory (%)\t" +
            UsedMemoryText(UsedMemory(static_cast<int>(sequence.sets.size()))) + "\n";

    const std::string problem = FirstSequenceProblem(sequence, kDefaultMaxStretchPosMm);
    if (problem.empty()) {
        text += "OK\n";
    } else {
        text += problem;
        if (problem.back() != '\n') {
            text += '\n';
        }
    }
    std::cout << text << std::flush;
    return problem.empty() ? kExitOk : kExitFailed;
}

int Normalize(const ProtocolOptions& options) {
    SetSequence sequence;
    HardwareDescription hardware;
    ProtocolReadResult result;
    if (!ReadProtocolFile(options.input, sequence, hardware, result)) {
        return kExitUnreadable;
    }
    WarnIfIncomplete(result, options.input);

    // Files here carry bare line feeds, as the device's own copies do.
    std::ostringstream text;
    if (result.hardwareBlock) {
        WriteHardwareBlock(text, hardware);
    }
    WriteProtocolTable(sequence, text);
    if (options.output.empty() || options.output == "-") {
        std::cout << text.str() << std::flush;
        if (!std::cout) {
            std::cerr << "Error:  Cannot write -\n";
            return kExitFailed;
        }
    } else {
        // Written beside the target and renamed only when whole: normalizing a file onto itself
        // or onto a full disk loses nothing.
        std::string error;
        if (!WriteFileAtomically(options.output, text.str(), &error)) {
            std::cerr << "Error:  Cannot write " << options.output << ": " << error << "\n";
            return kExitFailed;
        }
    }
    return result.Complete() ? kExitOk : kExitFailed;
}

} // namespace

void AddProtocolCommands(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ProtocolOptions>();
    CLI::App* protocol = app.add_subcommand("protocol", "Show or rewrite protocol files (.tmt)");
    protocol->require_subcommand(1);

    CLI::App* show = protocol->add_subcommand(
        "show", "Print the sequence list, total time, used memory and the sequence check");
    show->add_option("FILE", options->file, "Protocol file (- for standard input)")->required();
    show->add_flag("--hydrostatic", options->hydrostatic,
                   "Show magnitudes as pressures, as for a Hydrostatic membrane");
    show->callback([options, &context] { context.exitCode = Show(*options); });

    CLI::App* normalize = protocol->add_subcommand(
        "normalize", "Write a protocol text again with the standard columns");
    normalize->add_option("IN", options->input, "Protocol text (- for standard input)")->required();
    normalize->add_option("OUT", options->output, "Output file (absent or - for standard output)");
    normalize->callback([options, &context] { context.exitCode = Normalize(*options); });
}
