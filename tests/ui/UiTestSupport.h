// Shared pieces of the widget tests: one QApplication for the whole test program (created on
// first use, offscreen unless a platform was chosen), a message-box stand-in that records what
// would have been shown, a way to work the modal dialog an action opens, and the fixture that
// has the application and the stand-in before any widget is made.
#pragma once

#include "document/ViewInterfaces.h"
#include "protocol/ui/StageDocument.h"

#include <QApplication>
#include <QThreadPool>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "test_ui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt converts large images on its global thread pool. One thread that never expires
        // keeps the pool's own bookkeeping between its threads out of the thread checker's
        // view, which cannot follow Qt's internal locks.
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        QThreadPool::globalInstance()->setExpiryTimeout(-1);
        return new QApplication(argc, argv);
    }();
    return *app;
}

// Runs `run`; the first modal dialog of type T shown meanwhile is handed to `act`, once. Whether
// one was shown.
template <typename T>
bool WhenModal(const std::function<void()>& run, const std::function<void(T&)>& act) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* shown = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!shown || seen)
            return;
        seen = true;
        act(*shown);
    });
    poll.start(10);
    run();
    return seen;
}

// A box may be asked for from the device worker: `mutex` guards `shown`.
struct RecordingPrompt : IUserPrompt {
    struct Shown {
        std::string text;
        MessageIcon icon;
    };
    std::mutex mutex;
    std::vector<Shown> shown;
    MessageAnswer answer = MessageAnswer::Ok;

    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons) override {
        std::lock_guard lock(mutex);
        shown.push_back({text, icon});
        return answer;
    }
    std::string Last() const { return shown.empty() ? std::string() : shown.back().text; }
};

struct FakeStageDocument : IStageDocument {
    SetSequence sequence;
    HardwareDescription hardware;
    int workerStarts = 0;

    SetSequence& CommittedSequence() override { return sequence; }
    HardwareDescription Hardware() const override { return hardware; }
    float MaxStretchPosMm() const override { return 1000.0f; }
    void StartWorker() override { ++workerStarts; }
};

class WidgetTest : public testing::Test {
protected:
    QApplication& app = TestApp();
    RecordingPrompt prompt;
};
