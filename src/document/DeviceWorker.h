// The thread that runs DeviceWorkerProc for a document. It owns every exchange with the
// controller: the serial port is opened, used and closed on this thread only.
#pragma once

#include <QThread>

class CKelvastraDoc;

class DeviceWorker : public QThread {
    Q_OBJECT
public:
    explicit DeviceWorker(CKelvastraDoc& document, QObject* parent = nullptr);
    ~DeviceWorker() override;
    // Asks the loop to end and waits for it.
    void Stop();
    unsigned ExitCode() const { return m_exitCode; }

protected:
    void run() override;

private:
    CKelvastraDoc& m_document;
    unsigned m_exitCode = 0;
};
