// How much processor time the device worker takes while it idles on a connected controller:
// starts the simulator, lets a document's worker connect to it, then measures the process's
// user+system time over a quiet period.
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

    const double cpuBefore = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    worker.Stop();

    std::printf("connected after %.2f s\n", connectedAfter);
    std::printf("idle worker: %.3f s of processor time in %.1f s = %.2f %% of one core "
                "(target: well under 1 %%)\n",
                cpu, wall, 100.0 * cpu / wall);
    return 0;
}
