// The device worker on its own thread against kelvastra-sim over a real pseudo-terminal: the
// connection watch on attach, detach and a move to another port, the refusals of the dialog
// actions by run state, dropped requests and a Program cut off by an unplug. Program and Read
// Device run end to end from the view (tests/ui/StageFlowTest.cpp).
#include "DocumentTestSupport.h"

#include "devicelink/PortInfo.h"
#include "document/DeviceWorker.h"
#include "integration/LinkSimProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

namespace {

const int kCommandIds[] = {
    ID_READ_DEVICE,      ID_PROGRAM_DEVICE,   ID_HARDWARE_SETTINGS,       ID_CONNECTION_INDICATOR,
    ID_CALIBRATION_MODE, ID_ACCESS_TEST_DATA, ID_DISPLACEMENT_CALIBRATION};

// A document with a worker, finding the simulated controller among the virtual ports.
class WorkerSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    void SetUp() override {
        ASSERT_TRUE(sim.Started());
        doc = std::make_unique<CKelvastraDoc>();
        view = std::make_unique<HeadlessStageView>(*doc);
        doc->SetView(view.get());
        doc->SetPrompt(&prompt);
        doc->SetDialogHost(&host);
        // The watch looks every few milliseconds; each look lists the ports once.
        doc->SetWatchPeriod(std::chrono::milliseconds(5));
        doc->m_controller.SetPortEnumerator([this] {
            ++m_looks;
            return ReadVirtualPorts(sim.PortsFolder());
        });
    }

    void TearDown() override {
        if (worker)
            worker->Stop();
        worker.reset();
    }

    void StartWorker(bool connected = true) {
        worker = std::make_unique<DeviceWorker>(*doc);
        worker->start();
        if (connected) {
            ASSERT_TRUE(WaitConnected(true));
        }
    }

    // Waits until the watch has looked for the controller `count` more times.
    bool WaitForWatches(int count) {
        const int target = m_looks + count;
        return WaitFor([&] { return m_looks >= target; }, 20000);
    }

    bool WaitConnected(bool connected, int ms = 20000) {
        return WaitFor([&] { return doc->m_bDeviceConnected == connected; }, ms);
    }

    LinkSimProcess sim; // outlives the worker
    std::unique_ptr<CKelvastraDoc> doc;
    std::unique_ptr<HeadlessStageView> view;
    HeadlessPrompt prompt;
    RecordingDialogHost host;
    std::unique_ptr<DeviceWorker> worker;

private:
    std::atomic<int> m_looks{0};
};

TEST_F(WorkerSimTest, AttachAndDetach) {
    ASSERT_EQ(sim.Control("unplug"), "ok unplug");
    StartWorker(false);

    // Nothing there: every device command greyed.
    ASSERT_TRUE(WaitForWatches(2));
    EXPECT_FALSE(doc->m_bDeviceConnected);
    for (int id : kCommandIds)
        EXPECT_FALSE(doc->IsCommandEnabled(id)) << id;

    ASSERT_EQ(sim.Control("replug").rfind("ok replug", 0), 0u);
    ASSERT_TRUE(WaitConnected(true));
    EXPECT_TRUE(doc->m_bDeviceInfoLoaded);
    EXPECT_EQ(view->TestName(), "Sample");
    for (int id : kCommandIds)
        EXPECT_TRUE(doc->IsCommandEnabled(id)) << id;

    view->AppendMessage("something said\n");
    ASSERT_EQ(sim.Control("unplug"), "ok unplug");
    ASSERT_TRUE(WaitConnected(false));
    EXPECT_TRUE(WaitFor([&] { return view->MessageArea().empty(); }, 1000));
    EXPECT_FALSE(doc->m_bDeviceInfoLoaded);
}

TEST_F(WorkerSimTest, RunStatesRefuseTheDialogsAndAProgramCutOffByAnUnplugStaysReadable) {
    ASSERT_NO_FATAL_FAILURE(StartWorker());

    struct Case {
        std::string state; // simulator control command
        int command;
        std::string refusal; // empty: the dialog opens
        DeviceAction action;
    };
    const std::string testData = "Cannot Access Test Data\nWhile Test is Running or Paused\n";
    const Case cases[] = {
        {"state 3", ID_ACCESS_TEST_DATA, testData, DeviceAction::None},
        {"state 3", ID_CALIBRATION_MODE, "Cannot Access Calibration Mode\nWhile Test is Running\n",
         DeviceAction::None},
        {"state 3", ID_HARDWARE_SETTINGS,
         "Cannot Access Advanced Hardware Settings\nWhile Test is Running\n", DeviceAction::None},
        {"state 3", ID_DISPLACEMENT_CALIBRATION,
         "Cannot Access Displacement Calibration\nWhile Test is Running\n", DeviceAction::None},
        {"state 4", ID_ACCESS_TEST_DATA, testData, DeviceAction::None},
        {"state 4", ID_CALIBRATION_MODE, "", DeviceAction::CalibrationMode},
        {"state 4", ID_DISPLACEMENT_CALIBRATION, "", DeviceAction::DisplacementCalibration},
        {"state 0", ID_ACCESS_TEST_DATA, "", DeviceAction::AccessTestData},
        // A status query that fails does not stand in the way.
        {"error 5 1", ID_ACCESS_TEST_DATA, "", DeviceAction::AccessTestData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state + " " + std::to_string(c.command));
        ASSERT_EQ(sim.Control(c.state).rfind("ok", 0), 0u);
        const auto shown = prompt.Messages().size();
        const auto opened = host.Opened().size();
        ASSERT_TRUE(doc->OnCommand(c.command));
        if (c.refusal.empty()) {
            ASSERT_TRUE(host.WaitForOpened(opened + 1, 10000));
            EXPECT_EQ(host.Opened().back(), c.action);
            EXPECT_NE(doc->m_nPendingAction, DeviceAction::None);
            host.Session()->Finish(false);
        }
        ASSERT_TRUE(WaitFor([&] { return doc->m_nPendingAction == DeviceAction::None; }, 10000));
        if (c.refusal.empty()) {
            EXPECT_EQ(prompt.Messages().size(), shown);
        } else {
            ASSERT_EQ(prompt.Messages().size(), shown + 1);
            EXPECT_EQ(prompt.Messages().back().text, c.refusal);
            EXPECT_EQ(prompt.Messages().back().icon, MessageIcon::Error);
            EXPECT_EQ(host.Opened().size(), opened);
        }
    }
    // Hardware settings applied clear the view's sequence: StageFlowTest.

    // Unplugged mid-Program: the failure stays readable after the disconnect clears the messages.
    SetSequence sequence;
    sequence.sets = {MakeSet("A", ControlFunction::Ramp, 2, 1, 1, TimeUnits::Seconds, 3)};
    view->SetWorkingSequence(sequence);
    ASSERT_EQ(sim.Control("latency 40").rfind("ok", 0), 0u); // the upload takes seconds
    doc->OnProgramDevice();
    ASSERT_TRUE(WaitFor([&] { return doc->ActivityText() == CKelvastraDoc::kProgramming; }, 5000));
    ASSERT_EQ(sim.Control("unplug"), "ok unplug");
    EXPECT_TRUE(WaitFor(
        [&] {
            return !doc->m_bDeviceConnected && !doc->IsBusy() &&
                   view->MessageArea().rfind("\nProgramming Device... Failed while ", 0) == 0;
        },
        60000))
        << view->MessageArea();
}

// While a dialog is served the watch does not run and requests wait: a dialog that finds the
// line down has the document set the link up again on the controller's new port, a request made
// meanwhile is dropped when the dialog closes, and stopping the worker ends a dialog's session.
TEST_F(WorkerSimTest, AnOpenDialogRelinksDropsRequestsAndEndsWithTheWorker) {
    ASSERT_NO_FATAL_FAILURE(StartWorker());
    ASSERT_TRUE(doc->OnCommand(ID_ACCESS_TEST_DATA));
    ASSERT_TRUE(host.WaitForOpened(1, 10000));
    ASSERT_TRUE(doc->OnCommand(ID_READ_DEVICE));
    ASSERT_EQ(sim.Control("unplug"), "ok unplug");
    WriteFile(sim.Card() / "NAME.INI", "Back again");
    ASSERT_EQ(sim.Control("replug").rfind("ok replug ", 0), 0u);

    std::promise<std::pair<bool, int>> relinked;
    ASSERT_TRUE(host.Session()->Post([&](Controller& controller) {
        int state = -1;
        controller.QueryInteger(Controller::kRunStateQuery, state); // fails: the old port is gone
        const bool back = host.Session()->Relink(controller);
        controller.QueryInteger(Controller::kRunStateQuery, state);
        relinked.set_value({back, state});
    }));
    auto answer = relinked.get_future();
    ASSERT_EQ(answer.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(answer.get(), std::make_pair(true, 0));
    EXPECT_TRUE(doc->m_bDeviceConnected);
    EXPECT_EQ(view->TestName(), "Back again");
    EXPECT_EQ(doc->m_nPendingAction, DeviceAction::ReadDevice); // stored, not run
    host.Session()->Finish(false);
    ASSERT_TRUE(WaitFor([&] { return doc->m_nPendingAction == DeviceAction::None; }, 10000));
    ASSERT_TRUE(WaitForWatches(2)); // the worker's loop has passed by again
    EXPECT_EQ(view->MessageArea().find("Reading Device"), std::string::npos);
    EXPECT_EQ(host.Opened(), std::vector<DeviceAction>{DeviceAction::AccessTestData});
    // The session is over: a late request from the closed dialog is refused.
    EXPECT_FALSE(host.Session()->Post([](Controller&) {}));

    ASSERT_TRUE(doc->OnCommand(ID_CALIBRATION_MODE));
    ASSERT_TRUE(host.WaitForOpened(2, 10000));
    worker->Stop(); // returns: the session is finished for the dialog
    EXPECT_TRUE(worker->isFinished());
    EXPECT_FALSE(doc->m_controller.serial.IsOpen()); // closed on the worker's way out
}

// Between actions the worker asks the run state: the test the controller starts shows with its
// set, and when it ends the view gets the next test's number.
TEST_F(WorkerSimTest, PollsShowTheRunningTestAndReadTheNumberAgainAtItsEnd) {
    doc->SetRunStatePeriod(std::chrono::milliseconds(5));
    ASSERT_NO_FATAL_FAILURE(StartWorker());
    ASSERT_TRUE(WaitForWatches(2)); // the controller has been seen idle
    EXPECT_EQ(doc->TestStatusText(), "");
    const std::string number = view->TestNumberText();

    ASSERT_EQ(sim.Control("start").rfind("ok start", 0), 0u);
    const std::string running = "Test running: set 1 of 2 (Warm up), ";
    EXPECT_TRUE(WaitFor([&] { return doc->TestStatusText().rfind(running, 0) == 0; }, 10000))
        << doc->TestStatusText();
    ASSERT_EQ(sim.Control("stop").rfind("ok stop", 0), 0u);
    EXPECT_TRUE(WaitFor([&] { return doc->TestStatusText().empty(); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return view->TestNumberText() != number; }, 10000));
    EXPECT_EQ(ReadFile(sim.Card() / "INFO1.INI").substr(4, 4), view->TestNumberText());
}

} // namespace
