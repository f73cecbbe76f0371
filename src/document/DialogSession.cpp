#include "document/DialogSession.h"

#include "devicelink/Controller.h"

bool DialogSession::Post(Work work) {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished)
            return false;
        m_queue.push_back(std::move(work));
    }
    m_wake.notify_all();
    return true;
}

void DialogSession::Finish(bool applied) {
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
        m_applied = applied;
    }
    m_wake.notify_all();
}

bool DialogSession::Serve(Controller& controller) {
    for (;;) {
        Work work;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_finished || !m_queue.empty(); });
            if (m_queue.empty())
                return m_applied;
            work = std::move(m_queue.front());
            m_queue.pop_front();
        }
        // Work posted before Finish still runs: a dialog may post its last write and close.
        work(controller);
    }
}

void DialogSession::Reset() {
    std::lock_guard lock(m_mutex);
    m_queue.clear();
    m_finished = false;
    m_applied = false;
}

bool DialogSession::Finished() const {
    std::lock_guard lock(m_mutex);
    return m_finished;
}

bool DialogSession::Relink(Controller& controller) {
    if (m_relink)
        return m_relink(controller);
    controller.serial.Close();
    return controller.FindController() && controller.Connect() == 1;
}
