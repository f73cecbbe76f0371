#include "ChildProcess.h"
#include "UiTestSupport.h"

#include "app/CommandTarget.h"
#include "app/DialogHost.h"
#include "app/MainFrame.h"
#include "controls/MyToolBar.h"
#include "document/DeviceAction.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
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

struct ProgramRun {
    int status = -1;
    QString shown; // what the program printed of its view
    QString errors;
    QImage picture;
    bool xvfb = false;
};

// The whole program under a real X server (Xvfb) when one can be started, else on the offscreen
// platform, with `root` as its home and simulator registrations, taking the picture of its window
// `shot` (kept in $KELVASTRA_ARTIFACTS, or the build folder) after `afterMs`.
ProgramRun RunProgram(const std::string& root, const std::vector<std::string>& extra,
                      const QString& shotName, const char* afterMs) {
    const std::string program = KELVASTRA_BINARY_DIR "/src/kelvastra";
    std::vector<std::string> environment{"KELVASTRA_HOME=" + root,
                                         "KELVASTRA_PORTS_DIR=" + root + "/ports",
                                         "XDG_CONFIG_HOME=" + root + "/config", "QT_QPA_PLATFORM"};
    const QString shot = QString::fromStdString(ArtifactPath(shotName));
    QFile::remove(shot);
    std::vector<std::string> arguments{"--screenshot", shot.toStdString(), "--screenshot-after",
                                       afterMs};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    ProgramRun run;
#if defined(__SANITIZE_THREAD__)
    // Under the thread checker the program runs offscreen and its reports are not counted: Qt
    // converts the window's picture on its own thread pool, whose internals Debian's Qt leaves
    // without symbols to name in a suppression. The program's own hand-overs between the worker
    // and the GUI thread are checked in this process by the view and dialog tests.
    const char* checker = std::getenv("TSAN_OPTIONS");
    environment.push_back(std::string("TSAN_OPTIONS=") + (checker ? checker : "") +
                          ":report_bugs=0");
#else
    run.xvfb = !xvfbRun.isEmpty() && std::filesystem::exists("/usr/bin/Xvfb");
#endif
    if (!run.xvfb)
        environment.push_back("QT_QPA_PLATFORM=offscreen");
    ChildProcess process;
    if (run.xvfb) {
        arguments.insert(arguments.begin(), {"-a", "-s", "-screen 0 1280x1024x24", program});
        EXPECT_TRUE(process.Start(xvfbRun.toStdString(), arguments, environment));
    } else {
        EXPECT_TRUE(process.Start(program, arguments, environment));
    }
    run.shown = QString::fromStdString(process.AllOutput(60000));
    run.status = process.Wait(10000);
    run.errors = QString::fromStdString(process.AllErrors(1000));
    run.picture = QImage(shot);
    return run;
}

bool ProgramsBuilt() {
    return std::filesystem::exists(KELVASTRA_BINARY_DIR "/src/kelvastra") &&
           std::filesystem::exists(KELVASTRA_BINARY_DIR "/sim/kelvastra-sim");
}

// The program connects to the simulated controller and shows it.
TEST(ProgramSmoke, ConnectsToTheSimulatorAndShowsItsWindow) {
    if (!ProgramsBuilt())
        GTEST_SKIP() << "the desktop program or the simulator has not been built";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const std::string root = home.path().toStdString();
    ChildProcess sim;
    ASSERT_TRUE(sim.Start(KELVASTRA_BINARY_DIR "/sim/kelvastra-sim",
                          {"--card", root + "/card", "--quiet"},
                          {"KELVASTRA_PORTS_DIR=" + root + "/ports"}));
    ASSERT_EQ(sim.ReadLine(10000).rfind("kelvastra-sim: port ", 0), 0u);

    const ProgramRun run = RunProgram(root, {}, "main-window.png", "3000");
    sim.CloseInput();
    sim.Signal(SIGTERM);
    sim.Wait(5000);

    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    ASSERT_FALSE(run.picture.isNull()) << (run.xvfb ? "under Xvfb" : "offscreen");
    // What the link set-up reads and shows: WorkerSimTest and StageFlowTest.
    EXPECT_TRUE(run.shown.contains("connected: 1")) << run.shown.toStdString();
}

// `kelvastra FILE.tmt` with no controller anywhere: the protocol is open, and the status bar
// says why the limits are the defaults.
TEST(ProgramSmoke, OpensTheFileNamedOnTheCommandLineWithoutAController) {
    if (!ProgramsBuilt())
        GTEST_SKIP() << "the desktop program has not been built";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const ProgramRun run = RunProgram(home.path().toStdString(),
                                      {KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt"},
                                      "offline-window.png", "1500");
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_FALSE(run.picture.isNull());
    EXPECT_TRUE(run.shown.contains("connected: 0\nlink: No controller found\n"))
        << run.shown.toStdString();
    EXPECT_TRUE(run.shown.contains("sets: 3\nmessages:\nProtocol File Successfully Opened"))
        << run.shown.toStdString();
}

} // namespace
