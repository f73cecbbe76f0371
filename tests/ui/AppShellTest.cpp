#include "UiTestSupport.h"

#include "app/AboutDlg.h"
#include "app/CommandTarget.h"
#include "app/DialogHost.h"
#include "app/MainFrame.h"
#include "app/ToolbarArt.h"
#include "controls/MyToolBar.h"
#include "document/DeviceAction.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

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

TEST_F(AppShell, MainFrameIsFixedWithItsMenusAndIndicators) {
    CMainFrame frame;
    EXPECT_EQ(frame.windowTitle(), "Kelvastra");
    EXPECT_EQ(frame.size(), QSize(950, 600));
    EXPECT_EQ(frame.minimumSize(), frame.maximumSize());
    const Qt::WindowFlags flags = frame.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(frame.Indicator(0)->text(), "CAP");
    EXPECT_EQ(frame.Indicator(1)->text(), "NUM");
    EXPECT_EQ(frame.Indicator(2)->text(), "SCRL");

    const auto texts = [](const QList<QAction*>& actions) {
        QStringList list;
        for (QAction* action : actions)
            list << action->text();
        return list;
    };
    EXPECT_EQ(texts(frame.menuBar()->actions()), QStringList({"&File", "&Hardware", "&Help"}));
    const QList<QAction*> hardware = frame.menuBar()->actions().at(1)->menu()->actions();
    EXPECT_EQ(texts(hardware), QStringList({"Read Device", "Program Device", "Access Test Data",
                                            "Calibration Mode", "Advanced", "",
                                            "Record Serial Traffic"}));
    EXPECT_EQ(texts(hardware.at(4)->menu()->actions()),
              QStringList({"Settings", "Displacement Calibration"}));

    EXPECT_EQ(frame.Action(ID_FILE_OPEN)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(frame.Action(ID_FILE_SAVE)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(frame.Action(ID_APP_EXIT)->text(), "E&xit");
    EXPECT_EQ(frame.Action(ID_APP_ABOUT)->text(), "&About Kelvastra...");
    EXPECT_EQ(frame.Action(ID_FILE_OPEN)->toolTip(), "Open");
    const std::pair<int, QString> tips[] = {
        {ID_READ_DEVICE, "Read Kelvastra Device"},
        {ID_PROGRAM_DEVICE, "Program Kelvastra Device"},
        {ID_FILE_OPEN, "Open Protocol File"},
        {ID_FILE_SAVE, "Save As Protocol File"},
        {ID_CONNECTION_INDICATOR,
         "Ensure that the device is powered on and all cables are properly connected"}};
    for (const auto& [id, tip] : tips)
        EXPECT_EQ(frame.Action(id)->statusTip(), tip) << id;
}

TEST_F(AppShell, ToolBarHasSevenPictureButtonsInOrder) {
    CMainFrame frame;
    frame.CreateToolBar();
    frame.CreateToolBar(); // replaces the first
    ASSERT_NE(frame.ToolBar(), nullptr);
    EXPECT_EQ(frame.findChildren<CMyToolBar*>().size(), 1);
    std::vector<int> ids;
    for (QAction* action : frame.ToolBar()->actions()) {
        ids.push_back(action->data().toInt());
        EXPECT_FALSE(action->icon().isNull());
        EXPECT_EQ(frame.ToolBar()->widgetForAction(action)->size(), QSize(90, 38));
    }
    EXPECT_EQ(ids,
              (std::vector<int>{ID_CONNECTION_INDICATOR, ID_FILE_OPEN, ID_FILE_SAVE, ID_READ_DEVICE,
                                ID_PROGRAM_DEVICE, ID_ACCESS_TEST_DATA, ID_CALIBRATION_MODE}));
    EXPECT_EQ(frame.ToolBar()->iconSize(), QSize(83, 32));

    // Normal, hot and greyed pictures differ; the greyed ones hold no colour.
    const auto normal = ToolbarArt::ButtonImages(ToolbarArt::Look::Normal);
    const auto hot = ToolbarArt::ButtonImages(ToolbarArt::Look::Hot);
    const auto disabled = ToolbarArt::ButtonImages(ToolbarArt::Look::Disabled);
    ASSERT_EQ(normal.size(), 7u);
    ASSERT_EQ(hot.size(), 7u);
    ASSERT_EQ(disabled.size(), 7u);
    for (size_t i = 0; i < normal.size(); ++i) {
        EXPECT_EQ(normal[i].size(), QSize(83, 32));
        EXPECT_NE(normal[i].toImage(), hot[i].toImage()) << i;
        EXPECT_NE(normal[i].toImage(), disabled[i].toImage()) << i;
        const QImage grey = disabled[i].toImage();
        for (int y = 0; y < grey.height(); y += 3)
            for (int x = 0; x < grey.width(); x += 3) {
                const QRgb pixel = grey.pixel(x, y);
                ASSERT_TRUE(qAlpha(pixel) < 255 ||
                            (qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel)));
            }
    }
}

TEST_F(AppShell, CommandsFollowTheConnectedRule) {
    CMainFrame frame;
    FakeTarget target;
    frame.CreateToolBar();
    frame.SetCommandTarget(&target);
    const int ruled[] = {ID_READ_DEVICE,
                         ID_PROGRAM_DEVICE,
                         ID_HARDWARE_SETTINGS,
                         ID_CONNECTION_INDICATOR,
                         ID_CALIBRATION_MODE,
                         ID_ACCESS_TEST_DATA,
                         ID_DISPLACEMENT_CALIBRATION,
                         ID_FILE_OPEN,
                         ID_FILE_SAVE};
    for (int id : ruled)
        EXPECT_FALSE(frame.Action(id)->isEnabled()) << id;
    EXPECT_TRUE(frame.Action(ID_APP_ABOUT)->isEnabled());
    EXPECT_TRUE(frame.Action(ID_APP_EXIT)->isEnabled());

    frame.Action(ID_READ_DEVICE)->trigger();
    EXPECT_TRUE(target.handled.empty()) << "a greyed command does nothing";

    target.connected = true;
    frame.UpdateCommandStates();
    for (int id : ruled)
        EXPECT_TRUE(frame.Action(id)->isEnabled()) << id;
    frame.Action(ID_READ_DEVICE)->trigger();
    frame.Action(ID_DISPLACEMENT_CALIBRATION)->trigger();
    frame.Action(ID_FILE_SAVE)->trigger();
    frame.Action(ID_CONNECTION_INDICATOR)->trigger();
    EXPECT_EQ(target.handled,
              (std::vector<int>{ID_READ_DEVICE, ID_DISPLACEMENT_CALIBRATION, ID_FILE_SAVE}));

    // Hovering a button shows its prompt in the status bar.
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QWidget* button = frame.ToolBar()->widgetForAction(frame.Action(ID_PROGRAM_DEVICE));
    QStatusTipEvent tip(button->statusTip());
    QApplication::sendEvent(button, &tip);
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Program Kelvastra Device");

    // The periodic update picks up a change of the rule without any user action; the indicator
    // keeps its prompt while greyed, when the user needs it most.
    target.connected = false;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.Action(ID_FILE_OPEN)->isEnabled(); }, 2000));
    QWidget* indicator = frame.ToolBar()->widgetForAction(frame.Action(ID_CONNECTION_INDICATOR));
    EXPECT_FALSE(indicator->isEnabled());
    EXPECT_EQ(indicator->statusTip(),
              "Ensure that the device is powered on and all cables are properly connected");
}

TEST_F(AppShell, AboutBoxAndWindowFollowTheDisplayScale) {
    EXPECT_EQ(ScaledSize(kMainFrameSize, 1.5), QSize(1425, 900));
    EXPECT_EQ(ScaledSize(ToolbarArt::kAboutSize, 1.25), QSize(850, 661));
    CAboutDlg about(1.0);
    EXPECT_EQ(about.windowTitle(), "About Kelvastra");
    EXPECT_EQ(about.Version()->text(), "Software Version 1.91");
    EXPECT_EQ(about.Picture()->pixmap().size(), QSize(680, 529));
    CAboutDlg large(1.5);
    EXPECT_EQ(large.Picture()->pixmap().size(), QSize(1020, 793));
}

TEST_F(AppShell, DialogHostOpensOnTheGuiThreadAndFinishesTheSession) {
    CDialogHost host;
    std::thread::id openedOn;
    host.Register(DeviceAction::HardwareSettings, [&](DialogSession&, QWidget*) {
        openedOn = std::this_thread::get_id();
        return true;
    });
    DialogSession session;
    std::thread worker([&] { host.OpenDialog(DeviceAction::HardwareSettings, session); });
    worker.join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return session.Finished(); }, 5000));
    EXPECT_EQ(openedOn, std::this_thread::get_id());

    // No dialog for the action: the session ends at once so the worker is not left waiting.
    DialogSession unserved;
    host.OpenDialog(DeviceAction::CalibrationMode, unserved);
    EXPECT_TRUE(QTest::qWaitFor([&] { return unserved.Finished(); }, 5000));
}

// The whole program starts under a real X server (Xvfb) when one can be started, else on the
// offscreen platform, connects to the simulated controller and shows it; the picture of the window
// is kept in $KELVASTRA_ARTIFACTS (or the build folder).
TEST(ProgramSmoke, ConnectsToTheSimulatorAndShowsItsWindow) {
    const QString program = QStringLiteral(KELVASTRA_BINARY_DIR "/src/kelvastra");
    const QString simulator = QStringLiteral(KELVASTRA_BINARY_DIR "/sim/kelvastra-sim");
    if (!std::filesystem::exists(program.toStdString()) ||
        !std::filesystem::exists(simulator.toStdString()))
        GTEST_SKIP() << "the desktop program or the simulator has not been built";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("KELVASTRA_HOME", home.path());
    environment.insert("KELVASTRA_PORTS_DIR", home.path() + "/ports");
    environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
    environment.remove("QT_QPA_PLATFORM");

    QProcess sim;
    sim.setProcessEnvironment(environment);
    sim.start(simulator, {"--card", home.path() + "/card", "--quiet"});
    ASSERT_TRUE(sim.waitForStarted(10000));
    while (!sim.canReadLine() && sim.waitForReadyRead(10000)) {
    }
    ASSERT_TRUE(sim.readLine().startsWith("kelvastra-sim: port "));

    QString artifacts = qEnvironmentVariable("KELVASTRA_ARTIFACTS");
    if (artifacts.isEmpty())
        artifacts = QStringLiteral(KELVASTRA_BINARY_DIR "/test-artifacts");
    std::filesystem::create_directories(artifacts.toStdString());
    const QString shot = artifacts + "/main-window.png";
    QFile::remove(shot);
    const QStringList arguments{"--screenshot", shot, "--screenshot-after", "3000"};
    const QString xvfbRun = QStandardPaths::findExecutable("xvfb-run");
    const bool xvfb = !xvfbRun.isEmpty() && std::filesystem::exists("/usr/bin/Xvfb");
    if (!xvfb)
        environment.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess process;
    process.setProcessEnvironment(environment);
    if (xvfb)
        process.start(xvfbRun,
                      QStringList{"-a", "-s", "-screen 0 1280x1024x24", program} + arguments);
    else
        process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(60000));
    sim.closeWriteChannel();
    sim.terminate();
    sim.waitForFinished(5000);

    const QString shown = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    QImage image(shot);
    ASSERT_FALSE(image.isNull()) << (xvfb ? "under Xvfb" : "offscreen");
    EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(950, 600));
    // The simulator's card carries the test name "Sample"; its identity reaches the message area.
    EXPECT_TRUE(shown.contains("connected: 1")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("test name: Sample")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("Software Version 1.91")) << shown.toStdString();
}

} // namespace
