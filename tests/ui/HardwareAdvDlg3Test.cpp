// The hardware settings dialog: what it selects and shows, the Program steps on the wire (a
// scripted line and the simulator), and the dialog run against the simulator from a worker.
#include "hardware/ui/HardwareAdvDlg3.h"

#include "UiTestSupport.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"
#include "document/DialogSession.h"
#include "document/KelvastraDoc.h"
#include "integration/LinkSimProcess.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>

namespace {

const std::vector<std::string> kMembranes{"70A_794um", "10A_794um", "Hydrostatic"};
const std::vector<std::string> kSprings{"No Spring", "Silver Spring 9 mm Diam",
                                        "Gold Spring 13 mm Diam", "Rubber Grommet 12.7x7.9_mm",
                                        "Rubber Spacer 12.7x7.9_mm"};
const std::vector<std::string> kMagnets{"A10x2.5_mm", "A2.5x1_mm", "NoMagnet"};
const std::vector<std::string> kRegulators{"ITV1050 (130 psi Max.)",
                                           "ITV1030 (73 psi Max.)",
                                           "ITV1010 (15 psi Max.)",
                                           "SMC1050 (130 psi Max.) (Legacy wiring)",
                                           "SMC1030 (73 psi Max.) (Legacy wiring)",
                                           "QPV1  (1 psi Max.)",
                                           "QPV1  (-15 to 15 psi)",
                                           "QB3 (20 psi Max.)"};

std::vector<std::string> Items(const QComboBox* list) {
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i)
        items.push_back(list->itemText(i).toStdString());
    return items;
}

HardwareDescription Edited() {
    HardwareDescription edited;
    edited.WellDepth_mm = 20;
    edited.MagnetStyle = Magnet::A25_10;
    edited.MembraneStyle = Membrane::Hydrostatic;
    edited.RegulatorType = Regulator::QB3_20;
    edited.SpringType = Spring::NoSpring;
    return edited;
}

// The INFOW.INI of Edited() on a controller with firmware 4.05.
const std::string kEditedBlock = "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 20\n"
                                 "MagnetStyle A25_10\nMembraneStyle Hydrostatic\n"
                                 "RegulatorType QB3_20\nSpringType NoSpring\n";

DeviceProgramTable OneSetProgram() {
    DeviceProgramTable table{};
    table[0].stretchMs = 1000;
    table[0].holdMs = 500;
    table[0].repetitions = 3;
    table[0].magnitudeSetpoint = 12000;
    table[0].flags = ProgramFlag::Used | ProgramFlag::Seconds;
    table[0].SetName("Stretch");
    return table;
}

} // namespace

// --- opening and the fields ----------------------------------------------------------------

class HardwareAdvDlg3 : public WidgetTest {
protected:
    DialogSession session;
    DeviceProgramTable table{};
};

TEST_F(HardwareAdvDlg3, OpensWithTheListsInOrderAndTheDescriptionSelected) {
    struct Case {
        int32_t membrane, spring, magnet, regulator;
        std::vector<std::string> shown; // membrane, spring, magnet, regulator
    };
    const Case cases[] = {
        {1, 4, 0, 0, {"70A_794um", "Gold Spring 13 mm Diam", "A10x2.5_mm", kRegulators[3]}},
        // A1_32 and invalid values are not offered: the first entry stands for them.
        {Membrane::A1_32, 5, 3, 8, {"70A_794um", "No Spring", "A10x2.5_mm", kRegulators[0]}},
        {-1, 99, -7, 42, {"70A_794um", "No Spring", "A10x2.5_mm", kRegulators[0]}},
        {3, 1, 2, 7, {"Hydrostatic", kSprings[3], "NoMagnet", "QB3 (20 psi Max.)"}},
        {2, 2, 1, 3, {"10A_794um", kSprings[4], "A2.5x1_mm", "QPV1  (-15 to 15 psi)"}},
    };
    for (const Case& c : cases) {
        HardwareDescription description;
        description.MembraneStyle = c.membrane;
        description.SpringType = c.spring;
        description.MagnetStyle = c.magnet;
        description.RegulatorType = c.regulator;
        CHardwareAdvDlg3 dialog(description, session, table, prompt);
        EXPECT_EQ(Items(dialog.MembraneList()), kMembranes);
        EXPECT_EQ(Items(dialog.SpringList()), kSprings);
        EXPECT_EQ(Items(dialog.MagnetList()), kMagnets);
        EXPECT_EQ(Items(dialog.RegulatorList()), kRegulators);
        const std::vector<std::string> shown{dialog.MembraneList()->currentText().toStdString(),
                                             dialog.SpringList()->currentText().toStdString(),
                                             dialog.MagnetList()->currentText().toStdString(),
                                             dialog.RegulatorList()->currentText().toStdString()};
        EXPECT_EQ(shown, c.shown) << c.membrane << " " << c.regulator;
        // What Program would store: A1_32 becomes 70A_794um, invalid values the first entries.
        const HardwareDescription stored = HardwareFromSelections(description, dialog.Selections());
        EXPECT_EQ(MembraneName(stored.MembraneStyle), c.shown[0]);
        EXPECT_EQ(RegulatorName(stored.RegulatorType), c.shown[3]);
    }
}

TEST_F(HardwareAdvDlg3, SelectionsMapToValuesAndUnknownNamesToTheInvalidOnes) {
    HardwareDescription base;
    base.FirmwareVersion = 4321;
    base.positionOffsets = std::array<int32_t, kWellCount>{1, 2, 3, 4, 5, 6, 7, 8, 9};
    HardwareDescription expected = base;
    expected.MembraneStyle = Membrane::A1_32;
    expected.SpringType = Spring::RubberGrommet12d7_7d9;
    expected.MagnetStyle = Magnet::NoMagnet;
    expected.RegulatorType = Regulator::QPV1;
    expected.WellDepth_mm = 21.25;
    EXPECT_EQ(HardwareFromSelections(base, {"A1_32", "Rubber Grommet 12.7x7.9_mm", "NoMagnet",
                                            "QPV1  (1 psi Max.)", 21.25}),
              expected);
    // One blank after QPV1 is another name.
    expected.MembraneStyle = Membrane::Invalid, expected.SpringType = Spring::Invalid;
    expected.MagnetStyle = Magnet::Invalid, expected.RegulatorType = Regulator::Invalid;
    expected.WellDepth_mm = 18.5;
    EXPECT_EQ(HardwareFromSelections(base, {"", "", "", "QPV1 (1 psi Max.)"}), expected);
}

TEST_F(HardwareAdvDlg3, IdealHeightFollowsTheWellDepthWhenItsBoxLosesFocus) {
    HardwareDescription description;
    description.hardwareVersion = 1250;
    CHardwareAdvDlg3 dialog(description, session, table, prompt);
    EXPECT_EQ(dialog.HardwareIdEdit()->text(), "1250");
    EXPECT_TRUE(dialog.HardwareIdEdit()->isReadOnly());
    EXPECT_TRUE(dialog.IdealHeightEdit()->isReadOnly());
    EXPECT_EQ(dialog.WellDepthEdit()->text(), "18.5");
    EXPECT_EQ(dialog.IdealHeightEdit()->text(), "8");

    // Refused text brings the last valid value back.
    const struct {
        const char *typed, *depth, *ideal;
        bool refused;
    } steps[] = {{"20", "20", "9.5", false},   {" 18.1 ", "18.1", "7.6", false},
                 {"abc", "18.1", "7.6", true}, {"12x", "18.1", "7.6", true},
                 {"", "18.1", "7.6", true},    {"10.5", "10.5", "0", false}};
    for (const auto& step : steps) {
        prompt.shown.clear();
        dialog.WellDepthEdit()->setText(QString::fromLatin1(step.typed));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(dialog.WellDepthEdit(), &out);
        EXPECT_EQ(dialog.WellDepthEdit()->text().toStdString(), step.depth) << step.typed;
        EXPECT_EQ(dialog.IdealHeightEdit()->text().toStdString(), step.ideal) << step.typed;
        ASSERT_EQ(prompt.shown.size(), step.refused ? 1u : 0u) << step.typed;
        if (step.refused) {
            EXPECT_EQ(prompt.Last(), "Please enter a number.");
            EXPECT_EQ(prompt.shown[0].icon, MessageIcon::Exclamation);
        }
    }
}

TEST_F(HardwareAdvDlg3, ProgramWithoutTheWorkerSaysSoAndStaysOpen) {
    session.Finish(false); // the worker no longer serves the dialog
    CHardwareAdvDlg3 dialog(HardwareDescription{}, session, table, prompt);
    dialog.ProgramButton()->click();
    EXPECT_FALSE(dialog.Busy());
    EXPECT_FALSE(dialog.Applied());
    EXPECT_TRUE(dialog.ProgramButton()->isEnabled());
    EXPECT_EQ(prompt.Last(), CHardwareAdvDlg3::kDeviceGone);
}

// --- Program on a scripted line ------------------------------------------------------------

class ProgramHardwareTest : public ::testing::Test {
protected:
    ProgramHardwareTest() : controller(MakeChannel()) {
        controller.portName = "/dev/ttyACM0";
        controller.hardware.FirmwareVersion = 4050;
        controller.hardware.hardwareVersion = 1250;
        EXPECT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0);
        firmware = std::make_unique<FakeFirmware>(*line);
        firmware->files[kHardwareInfoFile] = "old";
        firmware->overrides["0H"] = {"OK\r"};
    }
    std::unique_ptr<ISerialChannel> MakeChannel() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        line = channel.get();
        return channel;
    }

    LogCapture log;
    ScriptedSerialChannel* line = nullptr;
    Controller controller;
    std::unique_ptr<FakeFirmware> firmware;
    DeviceProgramTable table = OneSetProgram();
};

TEST_F(ProgramHardwareTest, ReplacesInfowTakesItAndClearsTheProgram) {
    const HardwareProgramResult result = ProgramHardware(controller, table, Edited());
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(HardwareProgramFailureText(result), "");
    EXPECT_EQ(firmware->files[kHardwareInfoFile], kEditedBlock);

    // Delete, write in 60-byte pieces with the end line, take it, then the empty program.
    const std::vector<std::string> expected{"0X INFOW.INI",
                                            "0W INFOW.INI",
                                            kEditedBlock.substr(0, 60),
                                            kEditedBlock.substr(60, 60),
                                            kEditedBlock.substr(120),
                                            "\x17",
                                            "0H",
                                            "0P"};
    const auto& commands = firmware->commands;
    ASSERT_EQ(commands.size(), expected.size() + 140 + 1);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 8), expected);
    EXPECT_EQ(commands.back(), "\x17");
    DeviceProgramTable cleared{};
    ClearDeviceProgram(cleared);
    EXPECT_EQ(table, cleared);
    EXPECT_EQ(firmware->programLines.size(), 140u);

    // Only the edited fields change; the versions stay the controller's.
    EXPECT_EQ(controller.hardware.MembraneStyle, Membrane::Hydrostatic);
    EXPECT_EQ(controller.hardware.WellDepth_mm, 20);
    EXPECT_EQ(controller.hardware.FirmwareVersion, 4050);
    EXPECT_EQ(controller.hardware.hardwareVersion, 1250);
}

TEST_F(ProgramHardwareTest, FailedStepsAreReportedAndAFailedWriteChangesNothing) {
    // The refused command (none: INFOW.INI is missing, which is no failure), its reply, which
    // steps then succeed (written, reloaded, program cleared) and what the box says.
    const struct {
        const char *command, *reply, *steps, *says;
    } cases[] = {
        {"", "", "111", ""},
        {"0W INFOW.INI", "Error 4\r", "000",
         "could not be written to the device's card (INFOW.INI).\nNothing was changed.\n"},
        {"0H", "Error 1\r", "101", "did not confirm"},
        {"0P", "Error 2\r", "110",
         "test program could not be cleared.\nThe hardware settings were written"},
        // Last: the fake stays in its write mode after refusing the end line.
        {"\x17", "Error 4\r", "000", "Nothing was changed"},
    };
    const HardwareDescription before = controller.hardware;
    for (const auto& c : cases) {
        controller.hardware = before;
        table = OneSetProgram();
        firmware->commands.clear();
        firmware->overrides = {{"0H", {"OK\r"}}};
        if (*c.command)
            firmware->overrides[c.command] = {c.reply};
        else
            firmware->files.erase(kHardwareInfoFile);
        const HardwareProgramResult result = ProgramHardware(controller, table, Edited());
        const std::string steps{char('0' + result.infoWritten), char('0' + result.reloaded),
                                char('0' + result.programCleared)};
        EXPECT_EQ(steps, c.steps) << c.command;
        const std::string text = HardwareProgramFailureText(result);
        EXPECT_NE(text.find(c.says), std::string::npos) << c.command << ": " << text;
        EXPECT_EQ(text.empty(), result.Succeeded()) << c.command;
        if (result.infoWritten) {
            EXPECT_EQ(controller.hardware.MembraneStyle, Membrane::Hydrostatic) << c.command;
            continue;
        }
        EXPECT_EQ(controller.hardware, before) << c.command;
        EXPECT_EQ(table, OneSetProgram()) << c.command; // the old program still fits
        EXPECT_EQ(std::count(firmware->commands.begin(), firmware->commands.end(), "0H"), 0);
        EXPECT_EQ(text.rfind("Error:  ", 0), 0u);
    }
}

// A later step failed: the box says which, the dialog stays open, and since the description did
// change, cancelling now still counts as applied.
TEST_F(ProgramHardwareTest, DialogStaysOpenAfterAPartlyFailedProgram) {
    TestApp();
    firmware->overrides["0P"] = {"Error 2\r"};
    DialogSession session;
    std::unique_ptr<QThread> worker(QThread::create([&] { session.Serve(controller); }));
    worker->start();
    RecordingPrompt prompt;
    CHardwareAdvDlg3 dialog(controller.hardware, session, table, prompt);
    dialog.MembraneList()->setCurrentText("Hydrostatic");
    dialog.ProgramButton()->click();
    EXPECT_TRUE(dialog.Busy());
    EXPECT_FALSE(dialog.CancelButton()->isEnabled());
    EXPECT_FALSE(dialog.MembraneList()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.Applied());
    EXPECT_EQ(dialog.Description().MembraneStyle, Membrane::Hydrostatic);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_NE(prompt.Last().find("could not be cleared"), std::string::npos) << prompt.Last();
    session.Finish(false);
    worker->wait();
    EXPECT_EQ(controller.hardware.MembraneStyle, Membrane::Hydrostatic);
}

// --- against the simulator -----------------------------------------------------------------

class HardwareDialogSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        MessageLog::Instance().SetEchoToStdout(false);
        if (!std::filesystem::exists(LinkSimProcess::DefaultSimulator()))
            GTEST_SKIP() << "kelvastra-sim is not built";
        sim = std::make_unique<LinkSimProcess>(std::vector<std::string>{"--firmware", "4050"});
        ASSERT_TRUE(sim->Started());
        infoBefore = ReadFile(sim->Card() / kHardwareInfoFile);
        ASSERT_FALSE(infoBefore.empty());
        StartWorker();
    }
    void TearDown() override {
        session.Finish(false);
        if (worker)
            worker->wait();
    }

    // The device worker: connects on its own thread and serves the session.
    void StartWorker() {
        // A Qt thread, as the program's worker: the serial port needs one.
        worker.reset(QThread::create([this] {
            Controller& controller = doc.m_controller;
            controller.portName = sim->Port();
            connected = controller.Connect() == 1;
            controller.serial.SetReadTimeoutMs(3000);
            session.Serve(controller);
            controller.serial.Close();
        }));
        worker->start();
        ASSERT_EQ(session.RunAndWait<int>([](Controller& c) {
            DeviceProgramTable program = OneSetProgram();
            return c.UploadProgram(program);
        }),
                  1);
        ASSERT_TRUE(connected);
    }
    HardwareDescription DeviceHardware() {
        return session.RunAndWait<HardwareDescription>([](Controller& c) { return c.hardware; });
    }
    // The program table read back from the device.
    DeviceProgramTable DeviceProgramNow() {
        return session.RunAndWait<DeviceProgramTable>([](Controller& c) {
            DeviceProgramTable read{};
            c.ReadProgram(read);
            return read;
        });
    }
    // Opens the dialog as the dialog host would, running `script` once it shows.
    bool RunDialog(const std::function<void(CHardwareAdvDlg3&)>& script) {
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<CHardwareAdvDlg3*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            script(*dialog);
        });
        poll.start();
        return OpenHardwareSettingsDialog(doc, session, nullptr, &prompt);
    }

    std::unique_ptr<LinkSimProcess> sim;
    std::string infoBefore;
    CKelvastraDoc doc;
    DialogSession session;
    RecordingPrompt prompt;
    std::unique_ptr<QThread> worker;
    std::atomic<bool> connected{false};
};

TEST_F(HardwareDialogSimTest, ProgramWritesInfowAndLeavesAnEmptyProgram) {
    ASSERT_TRUE(DeviceProgramNow()[0].IsUsed());
    doc.m_deviceProgram = OneSetProgram();
    const bool applied = RunDialog([](CHardwareAdvDlg3& dialog) {
        EXPECT_EQ(dialog.HardwareIdEdit()->text(), "1100"); // the simulator's hardware number
        dialog.WellDepthEdit()->setText("20");
        dialog.MembraneList()->setCurrentText("Hydrostatic");
        dialog.SpringList()->setCurrentText("No Spring");
        dialog.MagnetList()->setCurrentText("A2.5x1_mm");
        dialog.RegulatorList()->setCurrentText("QB3 (20 psi Max.)");
        dialog.ProgramButton()->click();
    });
    EXPECT_TRUE(applied);
    EXPECT_TRUE(prompt.shown.empty()) << prompt.Last();
    EXPECT_EQ(ReadFile(sim->Card() / kHardwareInfoFile), kEditedBlock);
    for (const DeviceProgramEntry& entry : DeviceProgramNow())
        EXPECT_FALSE(entry.IsUsed());
    EXPECT_FALSE(doc.m_deviceProgram[0].IsUsed());
    EXPECT_EQ(DeviceHardware().RegulatorType, Regulator::QB3_20);
    EXPECT_EQ(DeviceHardware().WellDepth_mm, 20);
}

TEST_F(HardwareDialogSimTest, CancelAndAFailedWriteChangeNothing) {
    const HardwareDescription before = DeviceHardware();
    EXPECT_FALSE(RunDialog([](CHardwareAdvDlg3& dialog) {
        dialog.MembraneList()->setCurrentText("Hydrostatic");
        dialog.WellDepthEdit()->setText("30");
        dialog.CancelButton()->click();
    }));
    EXPECT_EQ(ReadFile(sim->Card() / kHardwareInfoFile), infoBefore);
    EXPECT_EQ(DeviceHardware(), before);

    // The delete and the write of INFOW.INI are refused: the box shows it, the dialog stays.
    ASSERT_EQ(sim->Control("error 4 2").rfind("ok", 0), 0u);
    bool stayedOpen = false;
    EXPECT_FALSE(RunDialog([&](CHardwareAdvDlg3& dialog) {
        dialog.MembraneList()->setCurrentText("Hydrostatic");
        dialog.ProgramButton()->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
        stayedOpen = dialog.isVisible();
        dialog.CancelButton()->click();
    }));
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].icon, MessageIcon::Error);
    EXPECT_NE(prompt.Last().find("INFOW.INI"), std::string::npos) << prompt.Last();
    EXPECT_TRUE(DeviceProgramNow()[0].IsUsed());
    EXPECT_EQ(DeviceHardware(), before);
}
