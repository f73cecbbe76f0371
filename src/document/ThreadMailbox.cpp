#include "document/ThreadMailbox.h"

#include <QCoreApplication>
#include <QMetaObject>

ThreadMailbox& ThreadMailbox::Main() {
    // Made once, on whichever thread asks first, and handed to the main thread; it lives as long
    // as the process, so posted work never finds it gone.
    static ThreadMailbox* const mailbox = [] {
        auto* created = new ThreadMailbox;
        if (QCoreApplication* app = QCoreApplication::instance())
            created->moveToThread(app->thread());
        return created;
    }();
    return *mailbox;
}

void ThreadMailbox::Post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(work));
    }
    QMetaObject::invokeMethod(this, "RunNext", Qt::QueuedConnection);
}

void ThreadMailbox::RunNext() {
    // Everything queued, not just one piece: a wake-up posted before a nested event loop started
    // (a modal dialog opened by earlier work) is not delivered until that loop ends, so the
    // wake-ups that do arrive meanwhile serve all the work waiting behind it, in order.
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(m_mutex);
            if (m_queue.empty())
                return;
            work = std::move(m_queue.front());
            m_queue.pop_front();
        }
        work();
    }
}
