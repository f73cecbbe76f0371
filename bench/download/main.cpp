// Download Selected against the simulator: a recorded test of SIZE bytes (raw readings, as the
// controller writes them) is transferred alone, then downloaded and converted as the dialog does
// (raw copy, protocol copy, both conversions), and the two times are compared. With --baud the
// simulator paces its output like a serial line and the transfer is compared with the line rate.
//   bench_download [--size BYTES] [--baud N] [--repeat N] [--sim PATH]
#include "../SimulatorBeside.h"

#include "common/MessageLog.h"
#include "document/ControllerCard.h"
#include "document/KelvastraDoc.h"
#include "recordings/TestDataAccess.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Raw readings of several sets and cycles: time, set, name, cycle, set point, pressure and nine
// sensor readings in hundredths, as the controller records them.
std::string RawData(long size) {
    std::string text =
        "Time(mS),Set,Name,Cycle,SpecifiedPressure,ActualPressure,Disp1,Disp2,Disp3,Disp4,"
        "Disp5,Disp6,Disp7,Disp8,Disp9\n";
    unsigned seed = 7;
    char line[256];
    for (long i = 0; static_cast<long>(text.size()) < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        const long phase = i % 64;
        const long setpoint = 200 + phase * 20;
        int n =
            std::snprintf(line, sizeof line, "%ld,%ld,Stretch|A,%ld,%ld,%ld", i * 15, 1 + i / 20000,
                          1 + (i / 64) % 300, setpoint, 140000 + phase * 900 + (seed >> 26));
        for (int well = 0; well < 9; ++well)
            n += std::snprintf(line + n, sizeof line - n, ",%ld",
                               105000 + well * 1500 + phase * 250 + ((seed >> (well + 3)) & 63));
        text.append(line, static_cast<size_t>(n)).push_back('\n');
    }
    text.resize(static_cast<size_t>(size));
    text.back() = '\n';
    return text;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long size = 20000000;
    long baud = 0;
    int repeats = 5;
    std::string simulator = SimulatorBesideUs();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--size")
            size = std::atol(argv[i + 1]);
        else if (option == "--baud")
            baud = std::atol(argv[i + 1]);
        else if (option == "--repeat")
            repeats = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--sim")
            simulator = argv[i + 1];
    }
    MessageLog::Instance().SetEchoToStdout(false);

    LinkSimProcess sim({"--baud", std::to_string(baud)}, simulator);
    if (!sim.Started()) {
        std::fprintf(stderr, "bench_download: cannot start %s\n", simulator.c_str());
        return 1;
    }
    std::ofstream(sim.Card() / "DATA0009.CSV", std::ios::binary) << RawData(size);
    fs::copy_file(sim.Card() / "DATA0001.TMT", sim.Card() / "DATA0009.TMT");
    std::ofstream(sim.Card() / "DATA0009.NAM") << "Bench\n";

    // Connected as the program connects: identity, calibration tables, hardware description.
    CKelvastraDoc doc;
    MessageLog::Instance().SetEchoToStdout(false);
    doc.m_controller.portName = sim.Port();
    if (!doc.SetUpLink()) {
        std::fprintf(stderr, "bench_download: cannot connect to %s\n", sim.Port().c_str());
        return 1;
    }
    Controller& controller = doc.m_controller;
    ControllerCard card(controller);
    std::vector<TestDataFile> files;
    ScanTestData(card, card, files);
    const TestDataFile* file = nullptr;
    for (const TestDataFile& f : files)
        file = f.cardName == "DATA0009.CSV" ? &f : file;
    if (!file) {
        std::fprintf(stderr, "bench_download: the data file is not listed\n");
        return 1;
    }

    const fs::path folder = sim.Root() / "download";
    fs::create_directories(folder);
    // Alternating runs; the machine may be shared, so the medians are compared.
    std::vector<double> transfers, wholes, transferCpus, wholeCpus, tails;
    for (int run = 0; run < repeats; ++run) {
        auto start = std::chrono::steady_clock::now();
        double cpu = CpuSeconds();
        if (controller.DownloadFile("DATA0009.CSV", (folder / "transfer-alone.csv").string()) !=
            1) {
            std::fprintf(stderr, "bench_download: the transfer failed\n");
            return 1;
        }
        transfers.push_back(Since(start));
        transferCpus.push_back(CpuSeconds() - cpu);

        start = std::chrono::steady_clock::now();
        cpu = CpuSeconds();
        std::chrono::steady_clock::time_point arrived = start;
        const DownloadResult result = DownloadAndConvert(
            card, *file, folder, controller.hardware, {}, [&](DownloadStage stage) {
                if (stage == DownloadStage::Processing)
                    arrived = std::chrono::steady_clock::now();
            });
        wholes.push_back(Since(start));
        tails.push_back(Since(arrived));
        wholeCpus.push_back(CpuSeconds() - cpu);
        if (result.status != DownloadResult::Converted) {
            std::fprintf(stderr, "bench_download: %s\n", DownloadMessage(result, *file).c_str());
            return 1;
        }
    }
    const double transfer = Median(transfers), transferCpu = Median(transferCpus);
    const double whole = Median(wholes), wholeCpu = Median(wholeCpus);

    std::printf("data file %ld bytes, %s, median of %d runs\n", size,
                baud > 0 ? (std::to_string(baud) + " baud").c_str() : "unlimited pty", repeats);
    std::printf("transfer alone:               %.3f s (%.0f bytes/s, %.3f s cpu)\n", transfer,
                size / transfer, transferCpu);
    std::printf("download selected (+convert): %.3f s (%.3f s cpu) = %.2f x the transfer\n", whole,
                wholeCpu, whole / transfer);
    std::printf("  of which after the last byte (conversions finishing): %.3f s\n", Median(tails));
    if (baud > 0) {
        const double lineRate = baud / 10.0; // 8N1: ten bit times per byte
        std::printf("transfer rate: %.1f %% of the line rate (%.0f bytes/s)\n",
                    100.0 * size / transfer / lineRate, lineRate);
    }
    return 0;
}
