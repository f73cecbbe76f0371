// Hands work from any thread to the thread a mailbox lives on (the GUI thread, for the device
// worker). The work itself travels through a queue guarded by a standard mutex, and a call that
// waits for its result waits on a std::future, so every hand-over between the worker and the
// GUI thread is ordered by synchronization a thread checker can see. Qt's queued calls carry no
// data here: they only wake the receiving thread's event loop.
#pragma once

#include <QObject>
#include <QThread>

#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <type_traits>

class ThreadMailbox : public QObject {
    Q_OBJECT
public:
    // The mailbox of the application's main thread, where the widgets live.
    static ThreadMailbox& Main();

    // Any thread: run `work` on the mailbox's thread, after what was posted before it. Work
    // that opens a dialog may run a nested event loop; later work still runs meanwhile.
    void Post(std::function<void()> work);

    // Any thread: run `work` on the mailbox's thread and return its result (at once when
    // called there). The mailbox's thread must be free to run its event loop meanwhile.
    template <class Work> auto Call(Work work) -> std::invoke_result_t<Work> {
        using Result = std::invoke_result_t<Work>;
        if (QThread::currentThread() == thread())
            return work();
        std::promise<Result> promise;
        std::future<Result> future = promise.get_future();
        Post([&promise, &work] {
            if constexpr (std::is_void_v<Result>) {
                work();
                promise.set_value();
            } else {
                promise.set_value(work());
            }
        });
        return future.get();
    }

private:
    ThreadMailbox() = default;
    // Runs what is queued; each Post sends one wake-up.
    Q_INVOKABLE void RunNext();

    std::mutex m_mutex;
    std::deque<std::function<void()>> m_queue;
};
