// The per-cycle summary of a long test (about 10,000 cycles, two sets): reading it as the
// "Per cycle" plot view does, then the whole test report (gather, draw, write the PDF).
//   bench_report [--cycles N] [--keep]
#include "recordings/SummaryTable.h"
#include "reports/ReportPdf.h"

#include "TestSupport.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void WriteSummary(const fs::path& path, int cycles) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::string header = "Set,Set Name,Cycle,Start (mS),End (mS),Samples,Max Pressure (MPa)";
    for (int k = 1; k <= 9; ++k) {
        const std::string w = std::to_string(k);
        header += ",Max Position " + w + " (um),Min Position " + w + " (um),Amplitude " + w +
                  " (um),Max Force " + w + " (N) (factory),Max Force " + w + " (N) (calibrated)";
    }
    std::fprintf(out, "%s\r\n", header.c_str());
    unsigned seed = 4321;
    for (int i = 0; i < cycles; ++i) {
        const int set = i < cycles / 2 ? 1 : 2;
        std::fprintf(out, "%d,%s,%d,%d,%d,200,0.0500", set, set == 1 ? "Warmup" : "Strain",
                     set == 1 ? i + 1 : i - cycles / 2 + 1, i * 2000, i * 2000 + 1990);
        for (int k = 1; k <= 9; ++k) {
            seed = seed * 1103515245u + 12345u;
            // Well 4 tears half way: its amplitude falls away.
            const double amplitude =
                (k == 4 && i > cycles / 2 ? 300.0 * (cycles - i) / cycles : 320.0 + 4 * k) +
                (seed >> 28) * 0.3;
            std::fprintf(out, ",%.1f,%.1f,%.1f,%.3f,%.3f", 40.0 + amplitude, 40.0, amplitude,
                         amplitude / 900.0, amplitude / 880.0);
        }
        std::fprintf(out, "\r\n");
    }
    std::fclose(out);
}

} // namespace

int main(int argc, char** argv) {
    int cycles = 10000;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--cycles") && i + 1 < argc)
            cycles = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--keep"))
            keep = true;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TempFolder folder("bench-report");
    const fs::path result = folder.Path() / "Long_0001";
    fs::create_directories(result / "TestLogs");
    WriteFile(result / "Long_0001.csv", "Time (mS),Set\r\n");
    WriteFile(result / "TestLogs" / "CardFile.txt", "DATA0001.DAT\n");
    WriteFile(result / "Long_0001.tmt",
              "##HARDWARE\nKelvastra TR\nFirmwareVersion 2150\nWellDepth_mm 20\n"
              "MagnetStyle A25_10\nMembraneStyle A1_32\nRegulatorType QB3_20\nSpringType NoSpring\n"
              "Name\tNumReps\tStretchDurationSec\tRecoveryDurationSec\n"
              "Warmup\t5000\t1\t1\nStrain\t5000\t1\t1\n");
    WriteSummary(result / "Long_0001_Summary.csv", cycles);
    std::printf("summary: %d cycles, %.1f MB\n", cycles,
                fs::file_size(result / "Long_0001_Summary.csv") / 1e6);

    auto start = std::chrono::steady_clock::now();
    SummaryTable table;
    std::string error;
    if (!ReadSummaryFile(result / "Long_0001_Summary.csv", table, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("read summary (per-cycle view data): %.3f s\n", Since(start));

    start = std::chrono::steady_clock::now();
    fs::path written;
    if (!WriteTestReport(result, {}, written, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("report: %.3f s, %.1f kB\n", Since(start), fs::file_size(written) / 1e3);
    if (keep) {
        fs::copy_file(written, "bench_report.pdf", fs::copy_options::overwrite_existing);
        std::printf("kept bench_report.pdf\n");
    }
    return 0;
}
