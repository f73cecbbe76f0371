#include "UiTestSupport.h"

#include "app/CommandTarget.h"
#include "app/DialogHost.h"
#include "app/MainFrame.h"
#include "controls/MyToolBar.h"
#include "document/DeviceAction.h"
#include "integration/LinkSimProcess.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct FakeTarget : ICommandTarget {
    bool connected = false;
    std::vector<int> handled;
    bool OnCommand(int id) override {
        handled.push_back(id);
        return true;
    }
    bool IsCommandEnabled(int) const override { return connected; }
};

using AppShell = WidgetTest;

// The frame asks its target whether each command is enabled (the rule itself is the
// document's) and passes on only enabled commands; the periodic update needs no user action.
TEST_F(AppShell, CommandsFollowTheTargetsRule) {
    CMainFrame frame;
    FakeTarget target;
    frame.CreateToolBar();
    frame.SetCommandTarget(&target);
    const int commands[] = {ID_READ_DEVICE, ID_DISPLACEMENT_CALIBRATION, ID_FILE_SAVE};
    for (int id : commands)
        EXPECT_FALSE(frame.Action(id)->isEnabled()) << id;
    frame.Action(ID_READ_DEVICE)->trigger();
    EXPECT_TRUE(target.handled.empty()) << "a greyed command does nothing";

    target.connected = true;
    frame.UpdateCommandStates();
    for (int id : commands)
        frame.Action(id)->trigger();
    frame.Action(ID_CONNECTION_INDICATOR)->trigger(); // the target opens the chooser
    EXPECT_EQ(target.handled, (std::vector<int>{ID_READ_DEVICE, ID_DISPLACEMENT_CALIBRATION,
                                                ID_FILE_SAVE, ID_CONNECTION_INDICATOR}));

    target.connected = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.Action(ID_FILE_OPEN)->isEnabled(); }, 2000));
    // The indicator keeps its prompt while greyed, when the user needs it most.
    QWidget* indicator = frame.ToolBar()->widgetForAction(frame.Action(ID_CONNECTION_INDICATOR));
    EXPECT_FALSE(indicator->isEnabled());
    EXPECT_EQ(indicator->statusTip(),
              "Ensure that the device is powered on and all cables are properly connected");
}

// An action without a dialog ends the session at once, so the worker is not left waiting. A
// dialog opened from the worker: StageFlowTest.
TEST_F(AppShell, DialogHostFinishesASessionItHasNoDialogFor) {
    CDialogHost host;
    DialogSession unserved;
    host.OpenDialog(DeviceAction::CalibrationMode, unserved);
    EXPECT_TRUE(QTest::qWaitFor([&] { return unserved.Finished(); }, 5000));
}

// The whole program under a real X server (Xvfb) when one can be started, else on the offscreen
// platform, with its own home, beside the simulator and with a protocol file named on its command
// line: it connects, opens the file and shows its window (the picture is kept in
// $KELVASTRA_ARTIFACTS, or the build folder's test-artifacts). Without a controller: OfflineTest.
TEST_F(AppShell, TheProgramConnectsOpensTheNamedFileAndShowsItsWindow) {
    const std::string program = KELVASTRA_BINARY_DIR "/src/kelvastra";
    if (!std::filesystem::exists(program) ||
        !std::filesystem::exists(LinkSimProcess::DefaultSimulator()))
        GTEST_SKIP() << "the desktop program or the simulator has not been built";
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const std::string root = sim.Root().string(); // the program's home too

    std::vector<std::string> environment{"KELVASTRA_HOME=" + root,
                                         "KELVASTRA_PORTS_DIR=" + sim.PortsFolder().string(),
                                         "XDG_CONFIG_HOME=" + root + "/config", "QT_QPA_PLATFORM"};
    QString folder = qEnvironmentVariable("KELVASTRA_ARTIFACTS");
    if (folder.isEmpty())
        folder = QStringLiteral(KELVASTRA_BINARY_DIR "/test-artifacts");
    QDir().mkpath(folder);
    const QString shot = folder + "/main-window.png";
    QFile::remove(shot);
    std::vector<std::string> arguments{"--screenshot", shot.toStdString(), "--screenshot-after",
                                       "3000",
                                       KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt"};
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    bool xvfb = false;
#if defined(__SANITIZE_THREAD__)
    // Under the thread checker the program runs offscreen and its reports are not counted: Qt
    // converts the window's picture on its own thread pool, whose internals Debian's Qt leaves
    // without symbols to name in a suppression. The program's own hand-overs between the worker
    // and the GUI thread are checked in this process by the view and dialog tests.
    const char* checker = std::getenv("TSAN_OPTIONS");
    environment.push_back(std::string("TSAN_OPTIONS=") + (checker ? checker : "") +
                          ":report_bugs=0");
#else
    xvfb = !xvfbRun.isEmpty() && std::filesystem::exists("/usr/bin/Xvfb");
#endif
    if (!xvfb)
        environment.push_back("QT_QPA_PLATFORM=offscreen");
    ChildProcess process;
    if (xvfb) {
        arguments.insert(arguments.begin(), {"-a", "-s", "-screen 0 1280x1024x24", program});
        EXPECT_TRUE(process.Start(xvfbRun.toStdString(), arguments, environment));
    } else {
        EXPECT_TRUE(process.Start(program, arguments, environment));
    }
    const QString shown = QString::fromStdString(process.AllOutput(60000));
    const int status = process.Wait(10000);

    EXPECT_EQ(status, 0) << process.AllErrors(1000);
    EXPECT_FALSE(QImage(shot).isNull()) << (xvfb ? "under Xvfb" : "offscreen");
    // What the link set-up reads and shows: WorkerSimTest and StageFlowTest.
    EXPECT_TRUE(shown.contains("connected: 1")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("sets: 3\nmessages:\nProtocol File Successfully Opened"))
        << shown.toStdString();
}

} // namespace
