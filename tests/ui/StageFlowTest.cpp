// The sequence view driving the real document and device worker against kelvastra-sim: the
// worker's calls into the view cross threads, and what the user built in the view reaches the
// card.
#include "UiTestSupport.h"

#include "app/DeviceDialogs.h"
#include "app/DialogHost.h"
#include "app/DocumentBridge.h"
#include "common/MessageLog.h"
#include "controls/ReportCtrl.h"
#include "document/DeviceAction.h"
#include "document/KelvastraDoc.h"
#include "hardware/ui/HardwareAdvDlg3.h"
#include "integration/LinkSimProcess.h"
#include "protocol/ui/StageView.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>

namespace {

// The program's document, bridge and view on the simulator, as the main window wires them.
class StageFlow : public testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(LinkSimProcess::DefaultSimulator()))
            GTEST_SKIP() << "kelvastra-sim has not been built";
        sim = std::make_unique<LinkSimProcess>();
        ASSERT_TRUE(sim->Started());
        qputenv("KELVASTRA_PORTS_DIR", QByteArray::fromStdString(sim->PortsFolder().string()));
        qputenv("KELVASTRA_HOME", home.path().toUtf8());
        MessageLog::Instance().SetEchoToStdout(false);
        RegisterDeviceDialogs(host, prompt);
        document.SetView(&view);
        document.SetPrompt(&prompt);
        document.SetDialogHost(&host);
        view.InitialUpdate();
        ASSERT_TRUE(QTest::qWaitFor([&] { return document.m_bDeviceConnected.load(); }, 20000));
    }
    void TearDown() override {
        bridge.StopWorker();
        document.SetView(nullptr);
        document.SetPrompt(nullptr);
        document.SetDialogHost(nullptr);
    }

    QApplication& app = TestApp(); // before the widgets below
    std::unique_ptr<LinkSimProcess> sim;
    QTemporaryDir home;
    RecordingPrompt prompt;
    CKelvastraDoc document;
    CDocumentBridge bridge{document, nullptr};
    CStageView view{bridge, prompt};
    CDialogHost host;
};

TEST_F(StageFlow, ProgramsAndReadsBackTheSequenceBuiltInTheView) {
    // The worker put the card's test name into the box through the GUI thread.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.TestNameEdit()->text() == "Sample"; }, 5000));
    EXPECT_TRUE(bridge.IsCommandEnabled(ID_PROGRAM_DEVICE));

    view.OnInsertBelow();
    view.OnInsertBelow();
    view.TestNameEdit()->setText("Flow:1");
    bridge.OnCommand(ID_PROGRAM_DEVICE);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return view.MessageText().contains("Programming Device... Success"); }, 30000))
        << view.MessageText().toStdString();
    // The name was cleaned by the view's check (StageViewTest, with its warning) before it went
    // to the card.
    EXPECT_EQ(ReadFile(sim->Card() / "NAME.INI"), "Flow 1");

    // Read Device replaces the working copy with the controller's program.
    view.ClearSequence();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return document.m_nPendingAction == DeviceAction::None; }, 5000));
    bridge.OnCommand(ID_READ_DEVICE);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.List()->rowCount() == 2; }, 30000))
        << view.MessageText().toStdString();
}

// Hardware, Advanced, Settings: the worker asks the dialog host, the dialog opens on the GUI
// thread with the connected device's description, Program writes the card's INFOW.INI (its
// bytes are checked on a scripted line) and the view's sequence is cleared.
TEST_F(StageFlow, HardwareSettingsProgrammedThroughTheDialogHost) {
    view.OnInsertBelow();
    EXPECT_TRUE(WhenModal<CHardwareAdvDlg3>(
        [&] {
            bridge.OnCommand(ID_HARDWARE_SETTINGS);
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return document.m_nPendingAction == DeviceAction::None; }, 30000));
        },
        [](CHardwareAdvDlg3& dialog) {
            EXPECT_EQ(dialog.HardwareIdEdit()->text(), "1100"); // the simulator's hardware number
            dialog.RegulatorList()->setCurrentText("QB3 (20 psi Max.)");
            dialog.ProgramButton()->click();
        }));
    EXPECT_EQ(view.List()->rowCount(), 0) << "applied: the sequence is cleared";
    const std::string after = ReadFile(sim->Card() / "INFOW.INI"); // the card's default: SMC1050
    EXPECT_NE(after.find("RegulatorType QB3_20\n"), std::string::npos) << after;
    std::lock_guard lock(prompt.mutex);
    // The inserted set was never saved: it is offered for saving before it goes.
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.Last(), "Save changes to the protocol?");
}

} // namespace
