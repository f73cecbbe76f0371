// The hardware settings dialog: what it selects and shows, and the Program steps on a scripted
// line. The whole flow against the simulator runs in StageFlowTest.
#include "hardware/ui/HardwareAdvDlg3.h"

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"
#include "document/DialogSession.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

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

// The lists' contents and order are the hardware vocabulary's; here: what is selected.
TEST_F(HardwareAdvDlg3, OpensWithTheDescriptionSelected) {
    struct Case {
        int32_t membrane, spring, magnet, regulator;
        std::vector<std::string> shown; // membrane, spring, magnet, regulator
    };
    const std::string first = "ITV1050 (130 psi Max.)";
    const Case cases[] = {
        {3, 1, 2, 7,
         {"Hydrostatic", "Rubber Grommet 12.7x7.9_mm", "NoMagnet", "QB3 (20 psi Max.)"}},
        // A1_32 and invalid values are not offered: the first entry stands for them.
        {Membrane::A1_32, 5, 3, 8, {"70A_794um", "No Spring", "A10x2.5_mm", first}},
        {-1, 99, -7, 42, {"70A_794um", "No Spring", "A10x2.5_mm", first}},
    };
    for (const Case& c : cases) {
        HardwareDescription description;
        description.MembraneStyle = c.membrane;
        description.SpringType = c.spring;
        description.MagnetStyle = c.magnet;
        description.RegulatorType = c.regulator;
        CHardwareAdvDlg3 dialog(description, session, table, prompt);
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

    // Delete, write (the pieces are the controller's), take it, then the empty program.
    std::vector<std::string> order;
    for (const auto& c : firmware->commands)
        if (c.rfind("0X", 0) == 0 || c.rfind("0W", 0) == 0 || c == "0H" || c == "0P")
            order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"0X INFOW.INI", "0W INFOW.INI", "0H", "0P"}));
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
    TestThread worker([&] { session.Serve(controller); });
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
    worker.Wait();
    EXPECT_EQ(controller.hardware.MembraneStyle, Membrane::Hydrostatic);
}
