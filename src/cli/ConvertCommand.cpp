// convert RAW --template TMT --out SHORT.csv --full FULL.csv: the download's two conversion
// passes over a raw test data file already on this computer.
#include "cli/Commands.h"

#include "hardware/HardwareDescription.h"
#include "recordings/ConvertFile.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define KELVASTRA_ISATTY _isatty
#else
#include <unistd.h>
#define KELVASTRA_ISATTY isatty
#endif

namespace {

struct ConvertOptions {
    std::string raw;
    std::string templateFile;
    std::string shortOut;
    std::string fullOut;
    std::string offsets;
    std::string coefficients;
    std::string hardware;
    int hardwareVersion = HardwareDescription{}.hardwareVersion;
};

// The lines of a small text file (either line end); nullopt when it cannot be read.
std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return lines;
}

// Card calibration files: a fixed number of lines, each read for its leading number.
bool ReadCardTable(const std::string& path, size_t count, const char* what,
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
        values.push_back(value);
    }
    return true;
}

int Convert(const ConvertOptions& options) {
    // The protocol copy contributes only its spring type, as in the download.
    std::ifstream templateIn(options.templateFile, std::ios::binary);
    if (!templateIn.is_open()) {
        std::cerr << "Error:  Cannot Open Template File " << options.templateFile << "\n";
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
        if (!ReadCardTable(options.offsets, kWellCount, "position offsets", values)) {
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
                           values)) {
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

    const bool terminal = KELVASTRA_ISATTY(2) != 0;
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
        const int result =
            ConvertFile(model, options.raw, pass.output, spring.valid, pass.full, progress);
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
        default:
            std::cerr << "Error:  Writing " << pass.output << " failed\n";
            return 1;
        }
    }
    std::cout << "Converted " << model.DataLineCount() << " data lines of " << options.raw
              << " into " << options.shortOut << " and " << options.fullOut << "\n";
    return 0;
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
}
