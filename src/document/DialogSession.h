// While a device dialog is open, the device worker serves the dialog's requests: the dialog (on
// the GUI thread) posts work that needs the controller, the worker runs it, and the dialog gets
// the result back on its own thread. The session ends when the dialog closes.
#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class Controller;

class DialogSession {
public:
    using Work = std::function<void(Controller&)>;

    // Any thread: queue work for the worker. Refused (false) once the session has finished.
    bool Post(Work work);
    // The dialog has closed; `applied` tells whether the user applied a change.
    void Finish(bool applied);

    // Worker: run posted work until Finish; returns `applied`.
    bool Serve(Controller& controller);
    // Worker: back to a fresh session before opening the next dialog.
    void Reset();
    bool Finished() const;

    // GUI side: run `work` on the worker and hand its result to `done` on the thread of
    // `context` (dropped when `context` is gone by then).
    template <class R>
    bool Request(QObject* context, std::function<R(Controller&)> work,
                 std::function<void(R)> done) {
        QPointer<QObject> guard(context);
        return Post([guard, work = std::move(work), done = std::move(done)](Controller& c) {
            auto result = std::make_shared<R>(work(c));
            if (guard)
                QMetaObject::invokeMethod(
                    guard.data(),
                    [guard, done, result] {
                        if (guard)
                            done(*result);
                    },
                    Qt::QueuedConnection);
        });
    }

    // GUI side: run `work` on the worker and wait for it with a local event loop, so the
    // windows keep painting. Returns `fallback` when the session has already finished.
    template <class R> R RunAndWait(std::function<R(Controller&)> work, R fallback = R()) {
        QObject context;
        QEventLoop loop;
        R result = fallback;
        bool queued = Request<R>(&context, std::move(work), [&](R r) {
            result = std::move(r);
            loop.quit();
        });
        if (queued)
            loop.exec();
        return result;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Work> m_queue;
    bool m_finished = false;
    bool m_applied = false;
};

// Opens the dialogs of the device actions on the GUI thread.
class IDialogHost {
public:
    virtual ~IDialogHost() = default;
    // Called on the worker. Arrange for the dialog of `action` to open on the GUI thread without
    // waiting for it; it posts its device work to `session` and calls session.Finish(applied)
    // when it closes.
    virtual void OpenDialog(int action, DialogSession& session) = 0;
};
