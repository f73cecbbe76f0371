// How much processor time the device worker takes while it idles on a connected controller:
// starts the simulator, lets a document's worker connect to it, then measures the process's
// user+system time over a quiet period; then with the simulator reporting a running test, with
// the test monitor's run state polls off and on.
#include "TestSupport.h"

#include "common/MessageLog.h"
#include "devicelink/PortInfo.h"
#include "document/DeviceWorker.h"
#include "document/HeadlessView.h"
#include "document/KelvastraDoc.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

namespace {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    MessageLog::Instance().SetEchoToStdout(false);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;

    LinkSimProcess sim;
    if (!sim.Started()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 1;
    }
    CKelvastraDoc doc;
    HeadlessStageView view(doc);
    HeadlessPrompt prompt;
    doc.SetView(&view);
    doc.SetPrompt(&prompt);
    const auto folder = sim.PortsFolder();
    doc.m_controller.SetPortEnumerator([folder] { return ReadVirtualPorts(folder); });

    DeviceWorker worker(doc);
    worker.start();
    const auto connectStart = std::chrono::steady_clock::now();
    while (!doc.m_bDeviceConnected &&
           std::chrono::steady_clock::now() - connectStart < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!doc.m_bDeviceConnected) {
        std::fprintf(stderr, "the worker did not connect to the simulator\n");
        return 1;
    }
    const double connectedAfter =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - connectStart).count();

    // Processor share of the process over `seconds` of quiet.
    const auto measure = [seconds] {
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return 100.0 * cpu / wall;
    };
    // The plain idle worker first, then the controller reporting a test that the program has
    // seen start, without and with the test monitor's polls.
    doc.SetRunStatePeriod(std::chrono::milliseconds(0));
    const double idle = measure();
    sim.Control("state 0");
    doc.SetRunStatePeriod(std::chrono::milliseconds(2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500)); // one poll sees it idle
    sim.Control("state 3");
    doc.SetRunStatePeriod(std::chrono::milliseconds(0));
    const double pollingOff = measure();
    doc.SetRunStatePeriod(std::chrono::milliseconds(2000));
    const double pollingOn = measure();
    const std::string shown = doc.TestStatusText();
    worker.Stop();

    std::printf("connected after %.2f s\n", connectedAfter);
    std::printf("idle worker: %.2f %% of one core (target: well under 1 %%)\n", idle);
    std::printf("test running, monitor off: %.2f %%, on (every 2 s): %.2f %%, on top: %.2f %% "
                "(target: under 0.5 %%)\n",
                pollingOff, pollingOn, pollingOn - pollingOff);
    std::printf("status bar: %s\n", shown.c_str());
    return 0;
}
