// The test data dialog against the simulator, its device work served by a worker thread as in
// the program: what the list shows, which files land where, what the user is told, local mode.
#include "recordings/ui/AccessTestDataDlg.h"
#include "UiTestSupport.h"
#include "app/DeviceDialogs.h"
#include "app/DialogHost.h"
#include "common/MessageLog.h"
#include "controls/ReportCtrl.h"
#include "devicelink/Controller.h"
#include "devicelink/PortInfo.h"
#include "document/ControllerCard.h"
#include "document/DeviceAction.h"
#include "document/DialogSession.h"
#include "integration/LinkSimProcess.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace fs = std::filesystem;

namespace {

class TestDataDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        MessageLog::Instance().SetEchoToStdout(false);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
        if (!fs::exists(LinkSimProcess::DefaultSimulator()))
            GTEST_SKIP() << "kelvastra-sim is not built";
        sim = std::make_unique<LinkSimProcess>(std::vector<std::string>{"--firmware", "4050"});
        ASSERT_TRUE(sim->Started());
        AddTwoTests(sim->Card()); // "Sample", "Other" and one without name or protocol copy
        const fs::path ports = sim->PortsFolder();
        controller.SetPortEnumerator([ports] { return ReadVirtualPorts(ports); });
        worker = std::make_unique<TestThread>([this] {
            controller.portName = sim->Port();
            controller.Connect();
            session.Serve(controller);
            controller.serial.Close();
        });
        dialog = std::make_unique<CAccessTestDataDlg>(session, prompt);
        dialog->FolderEdit()->setText(QString::fromStdString(out.string()));
        dialog->SetPlotOpener([this](const std::string& path) { plotted = path; });
    }
    void TearDown() override {
        dialog.reset();
        session.Finish(false);
        if (worker)
            worker->Wait();
    }
    QStringList Rows() const {
        QStringList rows;
        for (int row = 0; row < dialog->List()->rowCount(); ++row)
            rows << dialog->List()->ItemText(row, 0) + " " + dialog->List()->ItemText(row, 1);
        return rows;
    }
    void Select(std::initializer_list<int> rows) {
        dialog->List()->clearSelection();
        for (int row : rows)
            dialog->List()->SelectRow(row);
    }

    QTemporaryDir settings;
    TempFolder temp{"dialog"};
    fs::path out = temp.Path() / "out";
    std::unique_ptr<LinkSimProcess> sim;
    Controller controller;
    DialogSession session;
    RecordingPrompt prompt;
    std::unique_ptr<TestThread> worker;
    std::unique_ptr<CAccessTestDataDlg> dialog;
    std::string plotted;
};

TEST_F(TestDataDialogTest, ScanDownloadPlotAndDeleteSelected) {
    const QString kb = QString::number(fs::file_size(sim->Card() / "DATA0001.CSV") / 1000);
    dialog->ScanButton()->click();
    EXPECT_EQ(Rows(),
              QStringList({"Sample_0001.csv " + kb, "Other_0002.csv " + kb, "DATA0003.CSV " + kb}));
    EXPECT_EQ(dialog->Status()->text(), "Scan Complete");
    EXPECT_EQ(dialog->UsedStorageEdit()->text(), "< 0.1%");
    // The buttons that work on selected rows are greyed without one.
    for (QPushButton* button : {dialog->DownloadButton(), dialog->DeleteSelectedButton()})
        EXPECT_FALSE(button->isEnabled()) << button->text().toStdString();

    // While the download runs the progress moves and nothing else can be started.
    int moves = 0, busyMoves = 0;
    QObject::connect(dialog->Progress(), &QProgressBar::valueChanged, [&](int value) {
        moves += value > 0;
        busyMoves += value > 0 && !dialog->ScanButton()->isEnabled() &&
                     !dialog->DeleteAllButton()->isEnabled() && !dialog->DoneButton()->isEnabled();
    });
    Select({0, 1});
    EXPECT_TRUE(dialog->DeleteSelectedButton()->isEnabled());
    dialog->DownloadButton()->click();
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    EXPECT_GT(moves, 0);
    EXPECT_EQ(busyMoves, moves);
    EXPECT_EQ(dialog->Status()->text(), "Download Complete");
    EXPECT_TRUE(dialog->List()->SelectedRows().empty());
    // The controller that recorded it is kept for the report (the listing gives no date).
    EXPECT_EQ(ReadResultSource(out / "Sample_0001"), (ResultSource{"", "SIM-0001", "4050"}));
    Select({2});
    EXPECT_FALSE(dialog->PlotButton()->isEnabled()); // not downloaded here
    Select({1});
    dialog->PlotButton()->click(); // the files' layout is the test data model's
    EXPECT_EQ(plotted, (out / "Other_0002" / "Other_0002.csv").string());

    // A downloaded test goes without a question; one that was not is asked about.
    Select({0});
    dialog->DeleteSelectedButton()->click();
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    Select({0, 1});
    prompt.answer = MessageAnswer::No;
    dialog->DeleteSelectedButton()->click();
    ASSERT_EQ(prompt.shown.size(), 1u); // its text: TestDataTest
    EXPECT_EQ(Rows(), QStringList({"Other_0002.csv " + kb, "DATA0003.CSV " + kb}));
    prompt.answer = MessageAnswer::Yes;
    Select({1});
    dialog->DeleteSelectedButton()->click();
    EXPECT_EQ(Rows(), QStringList({"Other_0002.csv " + kb})); // which files go: the card's tests
    EXPECT_EQ(prompt.shown.size(), 2u) << prompt.Last();
}

TEST_F(TestDataDialogTest, FailuresAreToldAndDeleteAllStops) {
    dialog->ScanButton()->click();
    ASSERT_EQ(dialog->List()->rowCount(), 3);
    fs::remove(sim->Card() / "DATA0002.CSV"); // gone between the scan and the download
    Select({1, 2});
    dialog->DownloadButton()->click();
    // The failed row is an error box and the next row is still done; texts and files: TestDataTest.
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(prompt.shown[1].text.rfind("Warning:  DATA0003: ", 0), 0u);
    EXPECT_EQ(prompt.shown[1].icon, MessageIcon::Exclamation);

    // Delete All asks; a file that cannot be deleted is told once and stays first.
    fs::copy_file(sim->Card() / "DATA0003.CSV", sim->Card() / "DATA0002.CSV");
    ASSERT_EQ(sim->Control("protect DATA0003.CSV").rfind("ok", 0), 0u);
    prompt.shown.clear();
    prompt.answer = MessageAnswer::Yes;
    dialog->DeleteAllButton()->click();
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.shown[0].text, CAccessTestDataDlg::kDeleteAllQuestion);
    EXPECT_EQ(prompt.shown[1].icon, MessageIcon::Error);
    EXPECT_EQ(dialog->List()->rowCount(), 1);
    EXPECT_EQ(dialog->List()->ItemText(0, 0), "DATA0003.CSV");
}

// Stop reads the rest of the file and drops it: nothing of it is kept, and the line answers the
// next download properly.
TEST_F(TestDataDialogTest, StopKeepsNothingAndTheLineStaysUsable) {
    std::string big = ReadFile(sim->Card() / "DATA0001.CSV");
    while (big.size() < 200000)
        big += big;
    WriteFile(sim->Card() / "DATA0004.CSV", big);
    ASSERT_EQ(sim->Control("baud 4000000"), "ok baud 4000000");
    dialog->ScanButton()->click();
    ASSERT_EQ(dialog->List()->rowCount(), 4);
    ASSERT_EQ(dialog->List()->ItemText(3, 0), "DATA0004.CSV");
    bool stopShown = false;
    const auto stopper =
        QObject::connect(dialog->Progress(), &QProgressBar::valueChanged, [&](int value) {
            if (value > 0 && dialog->StopButton()->isEnabled()) {
                stopShown = true;
                dialog->StopButton()->click();
            }
        });
    Select({3});
    dialog->DownloadButton()->click();
    EXPECT_TRUE(stopShown);
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    EXPECT_EQ(dialog->Status()->text(), "Download Stopped");
    EXPECT_FALSE(fs::exists(out / "DATA0004"));
    EXPECT_FALSE(dialog->StopButton()->isEnabled());

    QObject::disconnect(stopper);
    ASSERT_EQ(sim->Control("baud 0"), "ok baud 0");
    Select({1});
    dialog->DownloadButton()->click();
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    EXPECT_EQ(dialog->Status()->text(), "Download Complete");
    EXPECT_EQ(ReadFile(out / "Other_0002" / "TestLogs" / "Other_0002_Raw.csv"),
              ReadFile(sim->Card() / "DATA0002.CSV"));
}

// Unplugged during a download and plugged in again: the dialog says so once, and the next Scan
// finds the controller on its new port. Then a test running or paused keeps every operation off
// the card.
TEST_F(TestDataDialogTest, AfterAnUnplugAScanReconnectsAndNothingIsTouchedWhileATestRuns) {
    dialog->ScanButton()->click();
    ASSERT_EQ(dialog->List()->rowCount(), 3);
    ASSERT_EQ(sim->Control("drop 3000"), "ok drop 3000");
    Select({0, 1});
    dialog->DownloadButton()->click();
    // The second row is not tried over a line that is gone; the text: TestDataTest.
    ASSERT_EQ(prompt.shown.size(), 1u);

    dialog->ScanButton()->click(); // still unplugged
    EXPECT_EQ(prompt.Last(),
              "Error:  The controller is not connected.\nConnect it, then press Scan for Data.");
    EXPECT_EQ(dialog->Status()->text(), "Scan Failed");
    ASSERT_EQ(sim->Control("replug").rfind("ok replug", 0), 0u);
    prompt.shown.clear();
    dialog->ScanButton()->click();
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    EXPECT_EQ(dialog->Status()->text(), "Scan Complete");
    ASSERT_EQ(dialog->List()->rowCount(), 3);

    ASSERT_EQ(sim->Control("state 4"), "ok state 4");
    prompt.answer = MessageAnswer::Yes;
    Select({0});
    dialog->DownloadButton()->click();
    dialog->DeleteSelectedButton()->click();
    dialog->ScanButton()->click();
    ASSERT_EQ(prompt.shown.size(), 4u); // the question before the deletion, then the refusals
    for (size_t i : {0u, 2u, 3u})
        EXPECT_EQ(prompt.shown[i].text, kTestRunningText) << i;
    EXPECT_EQ(dialog->List()->rowCount(), 0);
}

TEST_F(TestDataDialogTest, AdvancedWorksOnACardCopy) {
    std::optional<bool> advanced;
    std::optional<std::string> chosen;
    dialog->SetAdvancedAsker([&] { return advanced; });
    dialog->SetFolderChooser([&](const QString&, const std::string&) { return chosen; });
    dialog->AdvancedButton()->click(); // Cancel
    EXPECT_FALSE(dialog->LocalMode());
    advanced = true;
    dialog->AdvancedButton()->click(); // checked, then no folder chosen
    EXPECT_TRUE(dialog->LocalMode());
    EXPECT_EQ(dialog->List()->rowCount(), 0);

    const fs::path copy = temp.Path() / "copy";
    fs::create_directories(copy);
    fs::copy_file(sim->Card() / "DATA0001.CSV", copy / "DATA0001.CSV");
    fs::copy_file(sim->Card() / "DATA0001.TMT", copy / "DATA0001.TMT");
    chosen = copy.string();
    dialog->AdvancedButton()->click();
    // The name comes from the controller's card, the file from the copy.
    EXPECT_EQ(dialog->LocalFolder(), copy.string() + "/");
    EXPECT_EQ(Rows(), QStringList({"Sample_0001.csv " +
                                   QString::number(fs::file_size(copy / "DATA0001.CSV") / 1000)}));
    fs::remove(sim->Card() / "DATA0001.CSV"); // what the download makes of it: the model's
    Select({0});
    dialog->DownloadButton()->click();
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    Select({0});
    dialog->DeleteSelectedButton()->click();
    EXPECT_FALSE(fs::exists(copy / "DATA0001.CSV"));
    EXPECT_TRUE(fs::exists(sim->Card() / "DATA0001.NAM"));

    // The Access Test Data action opens this dialog, and leaving it ends the session.
    CDialogHost host;
    RegisterDeviceDialogs(host, prompt);
    EXPECT_TRUE(WhenModal<CAccessTestDataDlg>(
        [&] {
            host.OpenDialog(DeviceAction::AccessTestData, session);
            EXPECT_TRUE(QTest::qWaitFor([&] { return session.Finished(); }, 20000));
        },
        [](CAccessTestDataDlg& shown) { shown.DoneButton()->click(); }));
}

} // namespace
