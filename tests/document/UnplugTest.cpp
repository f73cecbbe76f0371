// Unplugged mid-Program: the failure stays readable after the disconnect clears the messages.
#include "DocumentTestSupport.h"

#include "devicelink/PortInfo.h"
#include "document/DeviceWorker.h"
#include "integration/LinkSimProcess.h"

#include <gtest/gtest.h>

TEST(UnplugTest, ProgramCutOffByAnUnplugStaysReadable) {
    EnsureCoreApplication();
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    CKelvastraDoc doc;
    HeadlessStageView view(doc);
    doc.SetView(&view);
    const auto folder = sim.PortsFolder();
    doc.m_controller.SetPortEnumerator([folder] { return ReadVirtualPorts(folder); });
    DeviceWorker worker(doc);
    worker.start();
    ASSERT_TRUE(WaitFor([&] { return doc.m_bDeviceConnected.load(); }, 20000));
    SetSequence sequence;
    sequence.sets = {MakeSet("A", ControlFunction::Ramp, 2, 1, 1, TimeUnits::Seconds, 3)};
    view.SetWorkingSequence(sequence);
    ASSERT_EQ(sim.Control("latency 40").rfind("ok", 0), 0u); // the upload takes seconds
    doc.OnProgramDevice();
    ASSERT_TRUE(WaitFor([&] { return doc.ActivityText() == CKelvastraDoc::kProgramming; }, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_EQ(sim.Control("unplug"), "ok unplug");
    EXPECT_TRUE(WaitFor(
        [&] {
            return !doc.m_bDeviceConnected && !doc.IsBusy() &&
                   view.MessageArea().rfind("\nProgramming Device... Failed while ", 0) == 0;
        },
        60000))
        << view.MessageArea();
}
