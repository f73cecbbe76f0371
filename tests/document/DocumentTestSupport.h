// Shared pieces of the document tests: a Qt core application for the serial port, a document on
// an in-memory line answered by the fake firmware, and a recording dialog host.
#pragma once

#include "devicelink/FakeFirmware.h"
#include "devicelink/ScriptedSerialChannel.h"
#include "document/HeadlessView.h"
#include "document/KelvastraDoc.h"
#include "protocol/SetRecord.h"

#include "TestSupport.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Polls `condition` every 10 ms until it holds or `ms` have passed.
inline bool WaitFor(const std::function<bool()>& condition, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

inline SetRecord MakeSet(const std::string& name, int32_t function, double magnitude,
                         double stretch, double recovery, int32_t timeUnits, int32_t reps) {
    SetRecord set;
    set.Name = name;
    set.XFunction = function;
    set.XUnits = MagnitudeUnits::N;
    set.XMagnitude = magnitude;
    set.StretchDurationSec = stretch;
    set.RecoveryDurationSec = recovery;
    set.TimeUnits = timeUnits;
    set.NumReps = reps;
    return set;
}

// A document whose controller talks to the fake firmware over an in-memory line (SetUpLink opens
// it and sets the link up as the watch does), with a headless view and prompt.
struct ScriptedDocument {
    ScriptedDocument() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        line = channel.get();
        firmware = std::make_unique<FakeFirmware>(*line);
        doc = std::make_unique<CKelvastraDoc>(std::move(channel));
        view = std::make_unique<HeadlessStageView>(*doc);
        doc->SetView(view.get());
        doc->SetPrompt(&prompt);
        doc->m_controller.portName = "scripted";
    }

    ScriptedSerialChannel* line = nullptr;
    std::unique_ptr<FakeFirmware> firmware;
    std::unique_ptr<CKelvastraDoc> doc;
    std::unique_ptr<HeadlessStageView> view;
    HeadlessPrompt prompt;
};

// Stands in for the windows that open the device dialogs: records which action opened one and
// lets the test close it.
class RecordingDialogHost : public IDialogHost {
public:
    void OpenDialog(DeviceAction action, DialogSession& session) override {
        std::lock_guard lock(m_mutex);
        m_opened.push_back(action);
        m_session = &session;
    }
    std::vector<DeviceAction> Opened() const {
        std::lock_guard lock(m_mutex);
        return m_opened;
    }
    // Waits until `count` dialogs have opened.
    bool WaitForOpened(std::size_t count, int ms) {
        return WaitFor([&] { return Opened().size() >= count; }, ms);
    }
    DialogSession* Session() const {
        std::lock_guard lock(m_mutex);
        return m_session;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<DeviceAction> m_opened;
    DialogSession* m_session = nullptr;
};
