// The test monitor's side of the document: between actions the worker asks the run state, and
// the status bar shows how far the controller's test is.
#include "document/KelvastraDoc.h"

#include "common/MessageLog.h"

#include <chrono>

void CKelvastraDoc::PollRunState() {
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    std::optional<int> state;
    {
        // A poll that fails says nothing: the connection watch notices a controller that has gone.
        MessageLog::ScopedMute mute;
        state = RunState();
    }
    if (m_testMonitor.Note(state, now.count())) {
        // The controller has moved on to the next test's name and number.
        std::string name, number;
        m_controller.ReadNameAndNumber(name, number);
        if (m_view) {
            m_view->SetTestName(name);
            m_view->SetTestNumber(number);
        }
    }
    PublishTestStatus();
}

void CKelvastraDoc::PublishTestStatus() {
    std::lock_guard lock(m_testStatusMutex);
    m_testStatus = m_testMonitor.StatusText();
}

std::string CKelvastraDoc::TestStatusText() const {
    std::lock_guard lock(m_testStatusMutex);
    return m_testStatus;
}
