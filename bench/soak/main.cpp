// Unplug and replug the simulated controller again and again while a document's device worker
// watches it, and see whether the process keeps what it opens: open file descriptors
// (/proc/self/fd) and resident memory after the first connect and after the last one.
//
//     build/bench/bench_soak [CYCLES]        (200 by default; about two seconds a cycle, as the
//                                             worker looks for the controller once a second)
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
#include <filesystem>
#include <thread>

namespace {

long OpenDescriptors() {
    long count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error))
        ++count;
    return count;
}

long ResidentKb() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1)
            break;
    std::fclose(status);
    return kb;
}

bool WaitUntil(const std::function<bool()>& condition, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    MessageLog::Instance().SetEchoToStdout(false);
    const int cycles = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

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
    if (!WaitUntil([&] { return doc.m_bDeviceConnected.load(); }, 20)) {
        std::fprintf(stderr, "the worker did not connect to the simulator\n");
        return 1;
    }
    const long fdsBefore = OpenDescriptors();
    const long rssBefore = ResidentKb();
    long rssPeak = rssBefore;
    const auto start = std::chrono::steady_clock::now();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        sim.Control("unplug");
        if (!WaitUntil([&] { return !doc.m_bDeviceConnected.load(); }, 20) ||
            sim.Control("replug").rfind("ok", 0) != 0 ||
            !WaitUntil([&] { return doc.m_bDeviceConnected.load(); }, 20)) {
            std::fprintf(stderr, "cycle %d: the worker did not follow the unplug and replug\n",
                         cycle);
            return 1;
        }
        rssPeak = std::max(rssPeak, ResidentKb());
        if (cycle % 50 == 0)
            std::fprintf(stderr, "%d cycles: %ld descriptors, %ld kB resident\n", cycle,
                         OpenDescriptors(), ResidentKb());
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long fdsAfter = OpenDescriptors();
    const long rssAfter = ResidentKb();
    worker.Stop();

    std::printf("%d unplug/replug cycles in %.0f s with the worker running\n", cycles, seconds);
    std::printf("open descriptors: %ld after the first connect, %ld after the last (%+ld)\n",
                fdsBefore, fdsAfter, fdsAfter - fdsBefore);
    std::printf("resident memory: %ld kB after the first connect, %ld kB after the last (%+ld kB), "
                "peak %ld kB\n",
                rssBefore, rssAfter, rssAfter - rssBefore, rssPeak);
    return fdsAfter > fdsBefore ? 1 : 0;
}
