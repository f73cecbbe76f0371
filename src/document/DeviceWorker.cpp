#include "document/DeviceWorker.h"

#include "document/KelvastraDoc.h"

#include <chrono>
#include <thread>

DeviceWorker::DeviceWorker(CKelvastraDoc& document, QObject* parent)
    : QThread(parent), m_document(document) {}

DeviceWorker::~DeviceWorker() {
    Stop();
}

void DeviceWorker::Stop() {
    m_document.RequestWorkerStop();
    // A dialog still open would keep the worker serving it.
    m_document.Session().Finish(false);
    wait();
    (void)m_finished.load(std::memory_order_acquire);
}

void DeviceWorker::run() {
    m_exitCode = DeviceWorkerProc(&m_document);
    m_finished.store(true, std::memory_order_release);
}

unsigned DeviceWorkerProc(void* document) {
    auto& doc = *static_cast<CKelvastraDoc*>(document);
    auto lastWatch = std::chrono::steady_clock::now();
    auto lastPoll = std::chrono::steady_clock::time_point{};
    while (!doc.WorkerStopRequested()) {
        if (!doc.RunPendingAction())
            break;
        if (std::chrono::steady_clock::now() - lastWatch > doc.WatchPeriod()) {
            doc.ConnectionWatch();
            lastWatch = std::chrono::steady_clock::now();
        }
        // The test monitor asks only between actions: an action's dialog has the line then.
        const auto poll = doc.RunStatePeriod();
        if (poll.count() > 0 && doc.m_bDeviceConnected && !doc.IsBusy() &&
            std::chrono::steady_clock::now() - lastPoll >= poll) {
            doc.PollRunState();
            lastPoll = std::chrono::steady_clock::now();
        }
        // A short rest per pass: actions are still picked up at once for a person, and the
        // idle worker costs well under one percent of a core.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (doc.m_controller.serial.IsOpen())
        doc.m_controller.serial.Close();
    return 1;
}
