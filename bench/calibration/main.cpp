// One displacement-calibration Collect (100 samples of ten channels: 1000 exchanges) against
// kelvastra-sim, on an unlimited pseudo-terminal and at an emulated line rate, with the
// pseudo-terminal's own round trip measured in the same run for comparison.
//   bench_calibration [--baud N] [--runs N] [--sim PATH]
#include "../SimulatorBeside.h"

#include "calibration/SensorSampling.h"
#include "common/MessageLog.h"
#include "devicelink/Controller.h"
#include "document/ControllerCalibration.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Counts the bytes that cross the line in both directions (each reply with its carriage return).
class CountingDevice : public ControllerCalibrationDevice {
public:
    using ControllerCalibrationDevice::ControllerCalibrationDevice;
    int Query(const std::string& line, std::string& reply) override {
        const int result = ControllerCalibrationDevice::Query(line, reply);
        bytes += static_cast<long long>(line.size() + reply.size() + 1);
        return result;
    }
    long long bytes = 0;
};

// A raw pseudo-terminal pair with an echo thread on the slave side: 6 bytes there, 6 back.
double PtyRoundTripUs(int rounds) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return -1;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    std::thread echo([slave, rounds] {
        char buffer[64];
        for (int i = 0; i < rounds; ++i) {
            std::size_t got = 0;
            while (got < 6) {
                const ssize_t n = ::read(slave, buffer + got, sizeof buffer - got);
                if (n <= 0)
                    return;
                got += static_cast<std::size_t>(n);
            }
            [[maybe_unused]] const ssize_t w = ::write(slave, "12345\r", 6);
        }
    });
    const auto start = Clock::now();
    char buffer[64];
    for (int i = 0; i < rounds; ++i) {
        [[maybe_unused]] const ssize_t w = ::write(master, "0?D 1\r", 6);
        std::size_t got = 0;
        while (got < 6) {
            const ssize_t n = ::read(master, buffer + got, sizeof buffer - got);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
    }
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    echo.join();
    ::close(master);
    ::close(slave);
    return us / rounds;
}

struct Run {
    double seconds = 0;
    long long bytes = 0;
};

Run Collect(Controller& controller) {
    CountingDevice device(controller);
    const auto start = Clock::now();
    const SensorSamples samples =
        SampleSensors(device, WellsThenPressure(), kSamplesPerReading, true);
    Run run{std::chrono::duration<double>(Clock::now() - start).count(), device.bytes};
    if (samples.outcome != SensorSamples::Outcome::Complete)
        run.seconds = -1;
    return run;
}

void Report(const char* label, std::vector<Run> runs, long baud) {
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    const Run& median = runs[runs.size() / 2];
    std::printf("%s: Collect of 1000 exchanges, %lld bytes: median %.3f s, best %.3f s; "
                "exchange round trip %.0f us",
                label, median.bytes, median.seconds, runs.front().seconds,
                median.seconds * 1e6 / 1000.0);
    if (baud > 0) {
        const double line = static_cast<double>(median.bytes) * 10.0 / static_cast<double>(baud);
        std::printf("; line time of its bytes %.3f s, ratio %.3f (best %.3f)", line,
                    median.seconds / line, runs.front().seconds / line);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long baud = 115200;
    int runs = 5;
    std::string simulator = SimulatorBesideUs();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--baud")
            baud = std::atol(argv[i + 1]);
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (option == "--sim")
            simulator = argv[i + 1];
    }
    MessageLog::Instance().SetEchoToStdout(false);

    LinkSimProcess sim({}, simulator);
    if (!sim.Started()) {
        std::fprintf(stderr, "bench_calibration: cannot start %s\n", simulator.c_str());
        return 1;
    }
    Controller controller;
    controller.portName = sim.Port();
    if (controller.Connect() != 1) {
        std::fprintf(stderr, "bench_calibration: cannot connect to %s\n", sim.Port().c_str());
        return 1;
    }
    std::printf("pseudo-terminal round trip (6 bytes each way, echo thread): %.1f us\n",
                PtyRoundTripUs(2000));
    std::vector<Run> unlimited, paced;
    for (int i = 0; i < runs; ++i)
        unlimited.push_back(Collect(controller));
    Report("unlimited pty", unlimited, 0);
    sim.Control("baud " + std::to_string(baud));
    for (int i = 0; i < runs; ++i)
        paced.push_back(Collect(controller));
    const std::string label = std::to_string(baud) + " baud";
    Report(label.c_str(), paced, baud);
    for (const auto& all : {unlimited, paced}) {
        for (const Run& run : all) {
            if (run.seconds < 0) {
                std::fprintf(stderr, "bench_calibration: a collection failed\n");
                return 1;
            }
        }
    }
    return 0;
}
