// The calibration dialogs over a scripted controller served by a worker thread: the factory
// controls, collection with the other buttons held off, the Hydrostatic layout of calibration
// mode, questions answered No, and leaving by Done or by the cancel key.
#include "calibration/ui/CallibrationModeDlg.h"
#include "calibration/ui/DisplacementCalibrationDlg.h"

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "controls/ReportCtrl.h"
#include "devicelink/Controller.h"
#include "devicelink/LogCapture.h"
#include "devicelink/ScriptedSerialChannel.h"
#include "document/DialogSession.h"
#include "integration/LinkSimProcess.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

class CalibrationDialogTest : public WidgetTest {
protected:
    CalibrationDialogTest() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        channel->SetResponder([this](ScriptedSerialChannel& line, const std::string& bytes) {
            m_buffer += bytes;
            for (std::size_t end; (end = m_buffer.find('\r')) != std::string::npos;) {
                const std::string command = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                commands.push_back(command);
                while (!gateOpen)
                    QThread::msleep(1);
                if (command.rfind("0?D ", 0) == 0)
                    line.Receive(std::to_string(1000 + std::stoi(command.substr(4))) + "\r");
                else
                    line.Receive("OK\r");
            }
        });
        controller = std::make_unique<Controller>(std::move(channel));
        controller->serial.Open("p", false, false, true, true, -1);
        worker = std::make_unique<TestThread>([this] { session.Serve(*controller); });
    }
    ~CalibrationDialogTest() override {
        session.Finish(false);
        worker->Wait();
    }
    // Everything posted so far has run on the worker; the commands it sent, cleared.
    std::vector<std::string> SentCommands() {
        session.RunAndWait<int>([](Controller&) { return 0; });
        std::vector<std::string> sent;
        sent.swap(commands);
        return sent;
    }

    LogCapture log;
    std::atomic<bool> gateOpen{true};
    std::vector<std::string> commands; // written on the worker, read after a round trip
    std::unique_ptr<Controller> controller;
    DialogSession session;
    std::unique_ptr<TestThread> worker;
    std::string m_buffer;
};

TEST_F(CalibrationDialogTest, DisplacementDialogCollectsWithOtherWorkHeldOff) {
    TempFolder temp("calibration-dialog");
    const CalibrationFolders folders{temp.Path(), temp.Path() / "Backup", temp.Path() / "Raw"};
    CDisplacementCalibrationDlg plain(session, prompt, folders, false);
    EXPECT_TRUE(plain.FactoryControls()->isHidden());
    CDisplacementCalibrationDlg dialog(session, prompt, folders, true);
    EXPECT_FALSE(dialog.FactoryControls()->isHidden());

    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible()) << "Enter does not close the dialog";

    dialog.PositionEdit()->setText("250");
    gateOpen = false;
    bool heldOff = false;
    QTimer::singleShot(0, [&] {
        heldOff = dialog.Busy() && !dialog.AnalyzeButton()->isEnabled() &&
                  !dialog.CollectButton()->isEnabled() && !dialog.DoneButton()->isEnabled();
        dialog.reject(); // refused while the collection runs
        gateOpen = true;
    });
    dialog.CollectButton()->click();
    EXPECT_TRUE(heldOff);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.AnalyzeButton()->isEnabled());
    ASSERT_EQ(dialog.DataList()->rowCount(), 1);
    EXPECT_EQ(dialog.DataList()->ItemText(0, 0), "250");
    EXPECT_EQ(dialog.DataList()->ItemText(0, 9), "1009");
    EXPECT_EQ(SentCommands().size(), 1000u);
    EXPECT_TRUE(prompt.shown.empty());
}

TEST_F(CalibrationDialogTest, HydrostaticCalibrationModeUsesThePressureOnly) {
    controller->hardware.MembraneStyle = Membrane::Hydrostatic; // before the worker uses it
    CCallibrationModeDlg dialog(controller->hardware, session, prompt, "unused.csv");
    EXPECT_EQ(dialog.SetPointGroup()->title(), "Pressure (MPa)");
    for (QWidget* off : std::initializer_list<QWidget*>{
             dialog.PlusButton(), dialog.MinusButton(), dialog.QueryButton(),
             dialog.CalibrateButton(), dialog.ResetButton(), dialog.SpecialButton(),
             dialog.ShowRawBox(), dialog.SpecifyMPaBox(), dialog.PositionEdit(1),
             dialog.ForceEdit(9), dialog.AverageForceEdit(), dialog.SpringForceEdit(),
             dialog.AbsolutePositionEdit()})
        EXPECT_FALSE(off->isEnabled()) << off->metaObject()->className();
    for (QWidget* on : std::initializer_list<QWidget*>{
             dialog.SetPointEdit(), dialog.SetButton(), dialog.SpecifyRawBox(), dialog.ValveBox(),
             dialog.PressureEdit(), dialog.RawPressureEdit(), dialog.StdDevEdit(),
             dialog.DoneButton()})
        EXPECT_TRUE(on->isEnabled()) << on->metaObject()->className();

    EXPECT_EQ(SentCommands(), std::vector<std::string>{"0R 1"}); // the valve opens with it
    dialog.SpecifyRawBox()->click(); // the readings it asks for are the calibration model's
    EXPECT_EQ(dialog.RawPressureEdit()->text(), "1000");
    EXPECT_EQ(dialog.PositionEdit(1)->text(), "0");

    HardwareDescription standard;
    CCallibrationModeDlg forces(standard, session, prompt, "unused.csv");
    EXPECT_EQ(forces.SetPointGroup()->title(), "Force (N)");
    EXPECT_TRUE(forces.QueryButton()->isEnabled());
}

TEST_F(CalibrationDialogTest, QuestionsAnsweredNoSendNothingAndLeavingPulsesTheValve) {
    HardwareDescription description;
    CCallibrationModeDlg dialog(description, session, prompt, "unused.csv");
    SentCommands();
    prompt.answer = MessageAnswer::No;
    dialog.ResetButton()->click();
    dialog.CalibrateButton()->click();
    EXPECT_TRUE(SentCommands().empty());
    ASSERT_EQ(prompt.shown.size(), 2u);
    EXPECT_EQ(prompt.Last(), kAdvancedSettingQuestion);

    const std::vector<std::string> leave{"0A 0", "0R 1", "0R 0"};
    dialog.DoneButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(SentCommands(), leave);

    CCallibrationModeDlg escaped(description, session, prompt, "unused.csv");
    escaped.show();
    SentCommands();
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_EQ(escaped.result(), QDialog::Accepted);
    EXPECT_EQ(SentCommands(), leave);
}

// It fits a 1366 x 768 screen, and Import takes an export (".csv") as well as its backup copy.
TEST_F(CalibrationDialogTest, DisplacementDialogFitsALaptopAndImportsAnExport) {
    TempFolder temp("calibration-import");
    const CalibrationFolders folders{temp.Path(), temp.Path() / "Backup", temp.Path() / "Raw"};
    std::filesystem::create_directories(folders.backup);
    const auto exported = temp.Path() / "MagnetCal_2026-01-02_03-04-05.csv";
    WriteFile(exported, FlatCalibrationSession());
    CDisplacementCalibrationDlg dialog(session, prompt, folders, true);
    dialog.show();
    EXPECT_LE(dialog.sizeHint().height(), 700);
    EXPECT_LE(dialog.frameGeometry().height(), 700);

    QString shownFolder;
    QTimer::singleShot(0, [&] {
        auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        const QString exports = chooser->nameFilters().filter("*.csv").value(0);
        chooser->selectNameFilter(exports);
        emit chooser->filterSelected(exports);
        shownFolder = chooser->directory().absolutePath();
        chooser->selectFile(QString::fromStdString(exported.string()));
        static_cast<QDialog*>(chooser)->accept();
    });
    dialog.ImportButton()->click();
    EXPECT_EQ(shownFolder.toStdString(), temp.Path().string());
    EXPECT_EQ(dialog.StatusText()->text().toStdString(),
              "Calibration data imported from: " + exported.string());
    EXPECT_EQ(dialog.FactorList()->ItemText(2, 9), "1500.0");
}

} // namespace
