// report RESULT_FOLDER [--out REPORT.pdf]: the test report of a downloaded test.
// protocol pdf FILE.tmt OUT.pdf: a protocol on one page.
#include "cli/Commands.h"

#include "reports/ReportPdf.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

struct ReportOptions {
    std::string folder;
    std::string out;
    std::string protocol;
    std::string pdf;
};

int Fail(const std::string& error) {
    std::fprintf(stderr, "Error:  %s\n", error.c_str());
    return 1;
}

} // namespace

bool CommandNeedsGui(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "report")
            return true;
        if (word == "protocol" && i + 1 < argc && std::string(argv[i + 1]) == "pdf")
            return true;
    }
    return false;
}

void AddReportCommands(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ReportOptions>();
    CLI::App* report = app.add_subcommand(
        "report", "Write the PDF report of a downloaded test from its result folder");
    report->add_option("RESULT_FOLDER", options->folder, "The test's result folder")->required();
    report->add_option("--out", options->out,
                       "The PDF to write (default: <test>_Report.pdf in the result folder)");
    report->callback([options, &context] {
        std::filesystem::path written;
        std::string error;
        if (!WriteTestReport(options->folder, options->out, written, error)) {
            context.exitCode = Fail(error);
            return;
        }
        std::printf("%s\n", written.string().c_str());
    });

    CLI::App* pdf =
        app.get_subcommand("protocol")
            ->add_subcommand("pdf", "Write a protocol as a one-page PDF for the notebook");
    pdf->add_option("FILE", options->protocol, "Protocol file (.tmt)")->required();
    pdf->add_option("OUT", options->pdf, "The PDF to write")->required();
    pdf->callback([options, &context] {
        std::string error;
        context.exitCode =
            WriteProtocolPdf(options->protocol, options->pdf, error) ? 0 : Fail(error);
    });
}
