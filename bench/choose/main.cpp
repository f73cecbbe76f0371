// Several controllers on one computer: how long the chooser's list takes with four simulators
// registered, and whether attaching one of four costs more than attaching the only one.
//   bench_choose [--runs N] [--sim PATH]
#include "../SimulatorBeside.h"

#include "common/MessageLog.h"
#include "devicelink/Controller.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Discovery with `serial` chosen, then the connect: what a tool does to attach.
double AttachMs(const std::string& portsDir, const std::string& serial) {
    setenv("KELVASTRA_PORTS_DIR", portsDir.c_str(), 1);
    const auto start = Clock::now();
    Controller controller;
    controller.chosenSerial = serial;
    if (!controller.FindController() || controller.Connect() != 1)
        return -1;
    const double ms = MsSince(start);
    controller.serial.Close();
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 20;
    std::string simulator = SimulatorBesideUs();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--sim")
            simulator = argv[i + 1];
    }
    MessageLog::Instance().SetEchoToStdout(false);

    LinkSimProcess only({"--serial", "ONLY"}, simulator);
    std::vector<std::unique_ptr<LinkSimProcess>> four;
    four.push_back(
        std::make_unique<LinkSimProcess>(std::vector<std::string>{"--serial", "S1"}, simulator));
    for (const char* serial : {"S2", "S3", "S4"})
        four.push_back(std::make_unique<LinkSimProcess>(
            std::vector<std::string>{"--serial", serial}, simulator, four.front()->PortsFolder()));
    if (!only.Started() ||
        !std::all_of(four.begin(), four.end(), [](auto& sim) { return sim->Started(); })) {
        std::fprintf(stderr, "bench_choose: cannot start %s\n", simulator.c_str());
        return 1;
    }
    const std::string fourDir = four.front()->PortsFolder().string();

    std::vector<double> list, attachOnly, attachOne;
    std::size_t listed = 0;
    for (int run = 0; run < runs; ++run) {
        setenv("KELVASTRA_PORTS_DIR", fourDir.c_str(), 1);
        const auto start = Clock::now();
        Controller lister;
        listed = lister.FindControllers(true).size();
        list.push_back(MsSince(start));
        attachOnly.push_back(AttachMs(only.PortsFolder().string(), "ONLY"));
        attachOne.push_back(AttachMs(fourDir, "S" + std::to_string(run % 4 + 1)));
    }
    if (listed != 4 || *std::min_element(attachOnly.begin(), attachOnly.end()) < 0 ||
        *std::min_element(attachOne.begin(), attachOne.end()) < 0) {
        std::fprintf(stderr, "bench_choose: listed %zu controllers, or an attach failed\n", listed);
        return 1;
    }
    std::printf("chooser list, 4 simulators: median %.2f ms, worst %.2f ms (limit 500 ms)\n",
                Median(list), *std::max_element(list.begin(), list.end()));
    std::printf("attach the only one:        median %.2f ms\n", Median(attachOnly));
    std::printf("attach one of four:         median %.2f ms\n", Median(attachOne));
    // One of four may not cost more than the only one, beyond the noise of a shared machine.
    const bool ok = *std::max_element(list.begin(), list.end()) < 500.0 &&
                    Median(attachOne) <= Median(attachOnly) * 1.25 + 1.0;
    std::printf("%s\n", ok ? "ok" : "SLOW");
    return ok ? 0 : 1;
}
