// The main window with no controller: the protocol file dialogs open from the toolbar and the
// keyboard, the status bar says where the limits come from, and Help shows the doctor's checks.
#include "UiTestSupport.h"

#include "app/DoctorDlg.h"
#include "app/DocumentBridge.h"
#include "app/MainFrame.h"
#include "common/MessageLog.h"
#include "controls/MyToolBar.h"
#include "devicelink/Doctor.h"
#include "document/DeviceAction.h"
#include "document/KelvastraDoc.h"
#include "protocol/ui/StageView.h"

#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Offline : public WidgetTest {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        // No simulator that another test started, and no system devices, are found.
        qputenv("KELVASTRA_PORTS_DIR", (dir.path() + "/ports").toUtf8());
        qputenv("KELVASTRA_SYSTEM_ROOT", (dir.path() + "/system").toUtf8());
        qputenv("KELVASTRA_HOME", dir.path().toUtf8());
        MessageLog::Instance().SetEchoToStdout(false);
        document.SetView(&view);
        document.SetPrompt(&prompt);
        document.UseRememberedController();
        frame.CreateToolBar();
        frame.SetCommandTarget(&bridge);
        frame.show();
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    }
    void TearDown() override {
        frame.SetCommandTarget(nullptr);
        document.SetView(nullptr);
        document.SetPrompt(nullptr);
    }

    QTemporaryDir dir;
    CKelvastraDoc document;
    CDocumentBridge bridge{document, nullptr};
    CStageView view{bridge, prompt};
    CMainFrame frame;
};

TEST_F(Offline, OpenFromTheToolbarAndSaveWithCtrlS) {
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return frame.LinkLabel()->text() == "No controller found"; }, 2000));
    EXPECT_FALSE(frame.Action(ID_PROGRAM_DEVICE)->isEnabled());
    QWidget* openButton = frame.ToolBar()->widgetForAction(frame.Action(ID_FILE_OPEN));
    EXPECT_TRUE(WhenModal<QFileDialog>([&] { QTest::mouseClick(openButton, Qt::LeftButton); },
                                       [](QFileDialog& dialog) {
                                           EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
                                           EXPECT_EQ(dialog.nameFilters(),
                                                     QStringList{"Kelvastra File (*.tmt)"});
                                           dialog.reject();
                                       }));

    // Save checks the sets first: a protocol is open.
    bridge.OpenFile(KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt");
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    EXPECT_TRUE(
        WhenModal<QFileDialog>([&] { QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier); },
                               [](QFileDialog& dialog) {
                                   EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
                                   dialog.reject();
                               }));
}

// The dialog shows what `kelvastra-cli doctor` prints on the same system, once the checks,
// run beside the GUI thread, are done.
TEST_F(Offline, HelpShowsTheDoctorsChecks) {
    frame.Action(ID_HELP_CONTROLLER_NOT_FOUND)->trigger();
    auto* dialog = frame.findChild<CDoctorDlg*>();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Checked(); }, 10000));
    EXPECT_EQ(dialog->Report()->toPlainText().toStdString(),
              DoctorReportText(RunDoctor(DoctorSystem::FromEnvironment())));
    dialog->close();
}

} // namespace
