// While a device dialog is open, the device worker serves the dialog's requests: the dialog (on
// the GUI thread) posts work that needs the controller, the worker runs it, and the dialog gets
// the result back on its own thread. The session ends when the dialog closes.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QPointer>

#include "common/Progress.h"
#include "document/DeviceAction.h"
#include "document/ThreadMailbox.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
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

    // How posted work brings the line back once it has gone down (unplugged while the dialog was
    // open): the document sets up its link afresh, as its connection watch does. True when the
    // controller is connected again.
    using Relinker = std::function<bool(Controller&)>;
    // Before serving; without one the controller is found and connected directly.
    void SetRelinker(Relinker relinker) { m_relink = std::move(relinker); }
    // Worker, inside posted work.
    bool Relink(Controller& controller);

    // GUI side: run `work` on the worker and hand its result to `done` on the GUI thread
    // (dropped when `context` is gone by then).
    template <class R>
    bool Request(QObject* context, std::function<R(Controller&)> work,
                 std::function<void(R)> done) {
        QPointer<QObject> guard(context);
        return Post([guard, work = std::move(work), done = std::move(done)](Controller& c) mutable {
            auto result = std::make_shared<R>(work(c));
            // The guard travels on with the result: a QPointer must not be released on this
            // thread, where its object may already have gone on the GUI thread.
            ThreadMailbox::Main().Post([guard = std::move(guard), done, result] {
                if (guard)
                    done(*result);
            });
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

    // GUI side: as RunAndWait, for long work. `work` runs on the worker with a progress function
    // to call as it goes; `shown` gets the latest (done, total) on the GUI thread, as often as
    // the GUI keeps up. The progress function returns false after Cancel() or once the session
    // has finished, and the work should stop then.
    template <class R>
    R RunWithProgress(std::function<R(Controller&, const ProgressFn&)> work,
                      std::function<void(std::int64_t done, std::int64_t total)> shown,
                      R fallback = R()) {
        struct State {
            std::atomic<std::int64_t> done{0}, total{0};
            std::atomic<bool> poked{false};
            bool waiting = true; // GUI thread only: false once the wait is over
        };
        auto state = std::make_shared<State>();
        m_cancel = false;
        auto report = [this, state, shown](std::int64_t done, std::int64_t total) {
            state->done = done;
            state->total = total;
            // One update in flight at a time: the GUI reads the newest values when it gets to it.
            if (shown && !state->poked.exchange(true))
                ThreadMailbox::Main().Post([state, shown] {
                    state->poked = false;
                    if (state->waiting)
                        shown(state->done.load(), state->total.load());
                });
            return !m_cancel.load() && !Finished();
        };
        R result = RunAndWait<R>(
            [work = std::move(work), report](Controller& c) { return work(c, report); },
            std::move(fallback));
        state->waiting = false;
        return result;
    }
    // Any thread: ask the running long work to stop at its next progress report.
    void Cancel() { m_cancel = true; }

private:
    Relinker m_relink;
    std::atomic<bool> m_cancel{false};
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
    virtual void OpenDialog(DeviceAction action, DialogSession& session) = 0;
    // Whether a dialog exists for `action`; an action without one is refused with a message.
    virtual bool HasDialog(DeviceAction action) const {
        (void)action;
        return true;
    }
};
