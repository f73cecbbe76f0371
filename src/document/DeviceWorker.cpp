#include "document/DeviceWorker.h"

#include "document/KelvastraDoc.h"

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
