// The bridge between the document and its windows: what the sequence view reads of the fitted
// hardware while the device worker writes it.
#include "UiTestSupport.h"

#include "app/DocumentBridge.h"
#include "document/DocumentTestSupport.h"
#include "protocol/ui/StageView.h"

#include <gtest/gtest.h>

namespace {

// The view reads the description while the device worker sets the link up and fills it from
// INFOW.INI: it gets the copy the worker publishes, also while the worker has changed the
// description and not yet published it. (The reads below race the worker's writes under the
// thread checker unless the two threads never share the description.)
TEST(DocumentBridge, ViewReadsTheHardwareTheWorkerPublishes) {
    TestApp();
    ScriptedDocument d;
    d.firmware->files["INFOW.INI"] = "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\n"
                                     "WellDepth_mm 17.25\nMagnetStyle A25_10\n"
                                     "MembraneStyle Hydrostatic\nRegulatorType ITV1030\n"
                                     "SpringType NoSpring\n";
    d.doc->m_controller.SetPortEnumerator([] {
        return std::vector<PortInfo>{{"Adafruit", "", "scripted"}};
    });
    RecordingPrompt prompt;
    CDocumentBridge bridge(*d.doc, nullptr);
    CStageView view(bridge, prompt);

    bridge.StartWorker();
    // The GUI thread reads on while the worker's watch connects, as the view's edits do.
    ASSERT_TRUE(WaitFor(
        [&] {
            bridge.Hardware();
            return d.doc->m_bDeviceConnected.load();
        },
        10000));
    EXPECT_EQ(bridge.Hardware().MembraneStyle, Membrane::Hydrostatic); // the rest: ProgramReadTest
    EXPECT_EQ(bridge.MaxStretchPosMm(), 1000.0f);
    bridge.StopWorker();

    // Written by a worker that has not published yet: the view still goes by the copy.
    d.doc->m_controller.hardware.MembraneStyle = Membrane::M70A_794um;
    view.OnInsertBelow();
    ASSERT_EQ(view.WorkingSequence().sets.size(), 1u);
    EXPECT_EQ(view.WorkingSequence().sets[0].XMagnitude, 0.1) << "a pressure, as on Hydrostatic";
}

} // namespace
