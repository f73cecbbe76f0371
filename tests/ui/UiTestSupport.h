// Shared pieces of the widget tests: one QApplication for the whole test program (created on
// first use, offscreen unless a platform was chosen), a message-box stand-in that records what
// would have been shown, and the fixture that has both before any widget is made.
#pragma once

#include "document/ViewInterfaces.h"
#include "protocol/ui/StageDocument.h"

#include <QApplication>
#include <QDir>
#include <QThreadPool>
#include <gtest/gtest.h>

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

// Where a test keeps a picture: $KELVASTRA_ARTIFACTS, else the build folder's test-artifacts.
inline std::string ArtifactPath(const QString& name) {
    QString folder = qEnvironmentVariable("KELVASTRA_ARTIFACTS");
    if (folder.isEmpty())
        folder = QStringLiteral(KELVASTRA_BINARY_DIR "/test-artifacts");
    QDir().mkpath(folder);
    return (folder + "/" + name).toStdString();
}

struct RecordingPrompt : IUserPrompt {
    struct Shown {
        std::string text;
        MessageIcon icon;
    };
    std::vector<Shown> shown;
    MessageAnswer answer = MessageAnswer::Ok;

    MessageAnswer ShowMessage(const std::string& text, MessageIcon icon, MessageButtons) override {
        shown.push_back({text, icon});
        return answer;
    }
    std::string Last() const { return shown.empty() ? std::string() : shown.back().text; }
};

struct FakeStageDocument : IStageDocument {
    SetSequence sequence;
    HardwareDescription hardware;
    float maxStretch = 1000.0f;
    int workerStarts = 0;

    SetSequence& CommittedSequence() override { return sequence; }
    HardwareDescription Hardware() const override { return hardware; }
    float MaxStretchPosMm() const override { return maxStretch; }
    void StartWorker() override { ++workerStarts; }
};

class WidgetTest : public testing::Test {
protected:
    QApplication& app = TestApp();
    RecordingPrompt prompt;
};
