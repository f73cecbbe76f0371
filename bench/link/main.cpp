// Link throughput: downloads a card file from kelvastra-sim over a pseudo-terminal whose output
// is paced like a real serial line, and compares the byte rate with the line's own.
//   bench_link [--baud N] [--size BYTES] [--sim PATH]
#include "../SimulatorBeside.h"

#include "common/MessageLog.h"
#include "devicelink/Controller.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long baud = 115200;
    long size = 200000;
    std::string simulator = SimulatorBesideUs();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--baud")
            baud = std::atol(argv[i + 1]);
        else if (option == "--size")
            size = std::atol(argv[i + 1]);
        else if (option == "--sim")
            simulator = argv[i + 1];
    }
    MessageLog::Instance().SetEchoToStdout(false);

    LinkSimProcess sim({"--baud", std::to_string(baud)}, simulator);
    if (!sim.Started()) {
        std::fprintf(stderr, "bench_link: cannot start %s\n", simulator.c_str());
        return 1;
    }
    std::string content;
    for (long i = 0; static_cast<long>(content.size()) < size; ++i)
        content += std::to_string(i * 7919 % 100000) + (i % 8 == 7 ? "\n" : ",");
    content.resize(static_cast<std::size_t>(size));
    std::ofstream(sim.Card() / "BENCH.CSV", std::ios::binary) << content;

    Controller controller;
    controller.portName = sim.Port();
    if (controller.Connect() != 1) {
        std::fprintf(stderr, "bench_link: cannot connect to %s\n", sim.Port().c_str());
        return 1;
    }
    const auto local = sim.Card().parent_path() / "bench-copy.csv";
    const auto start = std::chrono::steady_clock::now();
    const int result = controller.DownloadFile("BENCH.CSV", local.string());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (result != 1) {
        std::fprintf(stderr, "bench_link: download failed (%d)\n", result);
        return 1;
    }
    // 8N1: ten bit times per byte.
    const double lineRate = baud > 0 ? static_cast<double>(baud) / 10.0 : 0.0;
    const double rate = static_cast<double>(size) / seconds;
    std::printf("download %ld bytes in %.3f s: %.0f bytes/s", size, seconds, rate);
    if (lineRate > 0)
        std::printf(" = %.1f %% of the %ld-baud line (%.0f bytes/s)", 100.0 * rate / lineRate, baud,
                    lineRate);
    std::printf("\n");
    return 0;
}
