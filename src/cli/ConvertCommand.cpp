// convert RAW --template TMT --out SHORT.csv --full FULL.csv [--summary SUMMARY.csv]: the
// download's two conversion passes over a raw test data file already on this computer;
// summarize FULL.csv [--out SUMMARY.csv]: the per-cycle summary of a full file.
#include "cli/Commands.h"

#include "common/AtomicFile.h"
#include "common/TextLines.h"
#include "common/platform/Terminal.h"
#include "hardware/HardwareDescription.h"
#include "recordings/ConvertFile.h"
#include "recordings/CycleSummary.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct ConvertOptions {
    std::string raw;
    std::string templateFile;
    std::string shortOut;
    std::string fullOut;
    std::string summary;
    std::string offsets;
    std::string coefficients;
    std::string hardware;
    int hardwareVersion = HardwareDescription{}.hardwareVersion;
};

// The lines of a small text file (any line end); nullopt when it cannot be read.
std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    const std::string content = text.str();
    std::vector<std::string> lines;
    for (const std::string_view line : SplitTextLines(content)) {
        lines.emplace_back(line);
    }
    return lines;
}

// Card calibration files: a fixed number of lines, each read for its leading number, each
// within what the card file can hold.
bool ReadCardTable(const std::string& path, size_t count, const char* what, bool (*holds)(double),
                   std::vector<double>& values) {
    auto lines = ReadLines(path);
    if (!lines) {
        std::cerr << "Error:  Cannot read the " << what << " file " << path << "\n";
        return false;
    }
    if (lines->size() != count) {
        std::cerr << "Error:  The " << what << " file " << path << " must hold " << count
                  << " lines, one value each; it holds " << lines->size() << "\n";
        return false;
    }
    values.clear();
    for (const std::string& text : *lines) {
        std::istringstream in(text);
        double value = 0.0;
        if (!(in >> value)) {
            value = 0.0;
        }
        if (!holds(value)) {
            std::cerr << "Error:  Line " << values.size() + 1 << " of the " << what << " file "
                      << path << " (" << text << ") is beyond what the controller can hold\n";
            return false;
        }
        values.push_back(value);
    }
    return true;
}

// A written file must not replace one that is read: --out, --full and --summary against every
// input and against each other.
bool OutputsAreNotInputs(const ConvertOptions& options) {
    const std::pair<const char*, const std::string*> inputs[] = {
        {"raw data", &options.raw},
        {"template", &options.templateFile},
        {"hardware", &options.hardware},
        {"position offsets", &options.offsets},
        {"displacement coefficients", &options.coefficients},
    };
    for (const std::string* output : {&options.shortOut, &options.fullOut, &options.summary}) {
        for (const auto& [what, input] : inputs) {
            if (output->empty())
                continue;
            if (!input->empty() && SameFile(*output, *input)) {
                std::cerr << "Error:  " << *output << " is the " << what
                          << " file; the converted file would replace it. Nothing was written\n";
                return false;
            }
        }
    }
    std::error_code error;
    const auto resolved = [&error](const std::string& path) {
        return std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
    };
    const auto same = [&](const std::string& a, const std::string& b) {
        return !a.empty() && !b.empty() && (resolved(a) == resolved(b) || SameFile(a, b));
    };
    if (same(options.shortOut, options.fullOut)) {
        std::cerr << "Error:  --out and --full name the same file " << options.fullOut
                  << "; the full pass would replace the converted file. Nothing was written\n";
        return false;
    }
    for (const std::string* output : {&options.shortOut, &options.fullOut}) {
        if (same(*output, options.summary)) {
            std::cerr << "Error:  --summary names the converted file " << options.summary
                      << ". Nothing was written\n";
            return false;
        }
    }
    return true;
}

int Convert(const ConvertOptions& options) {
    if (!OutputsAreNotInputs(options)) {
        return 1;
    }
    // The protocol copy contributes only its spring type, as in the download.
    std::error_code error;
    std::ifstream templateIn;
    if (!std::filesystem::is_directory(options.templateFile, error)) {
        templateIn.open(options.templateFile, std::ios::binary);
    }
    if (!templateIn.is_open()) {
        std::cerr << "Error:  Cannot Open Template File " << options.templateFile << "\n";
        return 1;
    }
    if (templateIn.peek() == std::char_traits<char>::eof()) {
        std::cerr << "Error:  The template file " << options.templateFile
                  << " is empty: it holds no protocol copy\n";
        return 1;
    }
    HardwareDescription templateHardware;
    ReadLeadingHardwareBlock(templateIn, templateHardware);
    const SpringModel spring(templateHardware.SpringType);

    HardwareDescription hardware;
    if (!options.hardware.empty()) {
        std::ifstream hardwareIn(options.hardware, std::ios::binary);
        if (!hardwareIn.is_open()) {
            std::cerr << "Error:  Cannot read the hardware file " << options.hardware << "\n";
            return 1;
        }
        std::string word;
        hardwareIn >> word;
        if (word != kHardwareBlockTag) {
            std::cerr << "Error:  The hardware file " << options.hardware
                      << " does not start with a " << kHardwareBlockTag << " block\n";
            return 1;
        }
        ReadHardwareBlock(hardwareIn, word, hardware);
    }
    hardware.hardwareVersion = options.hardwareVersion;

    std::vector<double> values;
    if (!options.offsets.empty()) {
        if (!ReadCardTable(options.offsets, kWellCount, "position offsets", CardHoldsOffset,
                           values)) {
            return 1;
        }
        std::array<int32_t, kWellCount> offsets{};
        for (size_t i = 0; i < offsets.size(); ++i) {
            offsets[i] = static_cast<int32_t>(values[i]);
        }
        hardware.positionOffsets = offsets;
    }
    if (!options.coefficients.empty()) {
        if (!ReadCardTable(options.coefficients, 3 * kWellCount, "displacement coefficients",
                           CardHoldsCoefficient, values)) {
            return 1;
        }
        std::array<double, 3 * kWellCount> coefficients{};
        std::copy(values.begin(), values.end(), coefficients.begin());
        hardware.displacementCoefficients = coefficients;
    }

    ForceModel model(hardware, &spring);
    const std::string missing = model.MissingTablesMessage();
    if (!missing.empty()) {
        std::cerr << "Warning:  " << missing
                  << " Cells that need a missing table are left empty.\n";
    }

    // The summary rides on the full pass; its folder is checked before anything is written.
    std::optional<CycleSummary> summary;
    if (!options.summary.empty()) {
        summary.emplace(options.summary);
        if (!summary->Open()) {
            std::cerr << "Error:  Cannot Open File for Writing " << options.summary << "\n";
            return 1;
        }
    }

    const bool terminal = platform::IsTerminal(platform::StandardStream::Error);
    struct Pass {
        const std::string& output;
        bool full;
    };
    for (const Pass& pass : {Pass{options.shortOut, false}, Pass{options.fullOut, true}}) {
        ConvertProgress progress;
        if (terminal) {
            progress = [&pass](int lines) {
                std::cerr << "\rConverting " << pass.output << ": " << lines << " lines"
                          << std::flush;
            };
        }
        const int result = ConvertFile(model, options.raw, pass.output, spring.valid, pass.full,
                                       progress, pass.full && summary ? &*summary : nullptr);
        if (terminal && model.DataLineCount() >= 1000) {
            std::cerr << "\n";
        }
        switch (result) {
        case ConvertSuccess:
            break;
        case ConvertInputNotOpened:
            std::cerr << "Error:  Cannot open the raw data file " << options.raw << "\n";
            return 1;
        case ConvertOutputNotOpened:
            std::cerr << "Error:  Cannot Open File for Writing " << pass.output << "\n";
            return 1;
        case ConvertReadFailed:
            std::cerr << "Error:  Reading " << options.raw << " failed\n";
            return 1;
        case ConvertNotTestData:
            std::cerr << "Error:  " << options.raw << " holds no test data: "
                      << (std::filesystem::file_size(options.raw, error) == 0
                              ? "the file is empty"
                              : "it is not text, or its first line names no column of test "
                                "data")
                      << ". Nothing was written\n";
            return 1;
        default:
            std::cerr << "Error:  Writing " << pass.output << " failed\n";
            return 1;
        }
    }
    if (summary && !summary->Commit()) {
        std::cerr << "Error:  Writing " << options.summary << " failed: " << summary->Error()
                  << "\n";
        return 1;
    }
    std::cout << "Converted " << model.DataLineCount() << " data lines of " << options.raw
              << " into " << options.shortOut << " and " << options.fullOut << "\n";
    if (summary) {
        std::cout << "Summarized its cycles into " << options.summary << "\n";
    }
    return 0;
}

int Summarize(const std::string& full, std::string out) {
    if (out.empty()) {
        out = DefaultSummaryPath(full).string();
    }
    if (SameFile(full, out)) {
        std::cerr << "Error:  " << out << " is the full file; the summary would replace it. "
                  << "Nothing was written\n";
        return 1;
    }
    std::string error;
    switch (SummarizeFullFile(full, out, error)) {
    case 0:
        std::cout << out << "\n";
        return 0;
    case -1:
        std::cerr << "Error:  Cannot read the full file " << full << ": " << error << "\n";
        return 1;
    case -3:
        std::cerr << "Error:  " << full << " is no converted file: " << error
                  << ". Nothing was written\n";
        return 1;
    default:
        std::cerr << "Error:  Cannot Open File for Writing " << out << ": " << error << "\n";
        return 1;
    }
}

} // namespace

void AddConvertCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ConvertOptions>();
    CLI::App* convert = app.add_subcommand(
        "convert", "Convert a raw test data file into the short and the full CSV files");
    convert->add_option("RAW", options->raw, "Raw test data file (as downloaded, _Raw.csv)")
        ->required();
    convert
        ->add_option("--template", options->templateFile,
                     "The test's protocol copy (.TMT); its hardware block gives the spring")
        ->required();
    convert->add_option("--out", options->shortOut, "Converted file (short form)")->required();
    convert->add_option("--full", options->fullOut, "Full file (with pressures and spring force)")
        ->required();
    convert->add_option("--summary", options->summary,
                        "Per-cycle summary of the full file, made in the same pass");
    convert->add_option("--offsets", options->offsets,
                        "Position offsets file (POSCAL.INI: nine lines, um)");
    convert->add_option("--coefficients", options->coefficients,
                        "Displacement coefficients file (MAGCAL.INI: 27 lines)");
    convert->add_option("--hardware", options->hardware,
                        "File holding the device's ##HARDWARE block (INFOW.INI); default "
                        "hardware when not given");
    convert
        ->add_option("--hardware-version", options->hardwareVersion,
                     "The controller's hardware version number")
        ->capture_default_str();
    convert->callback([options, &context] { context.exitCode = Convert(*options); });

    auto full = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    CLI::App* summarize = app.add_subcommand(
        "summarize", "Write the per-cycle summary of a full file, printing its name");
    summarize->add_option("FULL", *full, "Full file (_Full.csv)")->required();
    summarize->add_option("--out", *out,
                          "Summary file (default: beside the full file, _Full replaced by "
                          "_Summary)");
    summarize->callback([full, out, &context] { context.exitCode = Summarize(*full, *out); });
}
