// The thread that runs DeviceWorkerProc for a document. It owns every exchange with the
// controller: the serial port is opened, used and closed on this thread only.
#pragma once

#include <QThread>

#include <atomic>

class CKelvastraDoc;

class DeviceWorker : public QThread {
    Q_OBJECT
public:
    explicit DeviceWorker(CKelvastraDoc& document, QObject* parent = nullptr);
    ~DeviceWorker() override;
    // Asks the loop to end and waits for it; what the loop did is then visible to the caller.
    void Stop();
    unsigned ExitCode() const { return m_exitCode; }

protected:
    void run() override;

private:
    CKelvastraDoc& m_document;
    unsigned m_exitCode = 0;
    // Released as the loop's last act and acquired by Stop: Qt's own end-of-thread signal is
    // not a synchronization that every checker sees.
    std::atomic<bool> m_finished{false};
};
