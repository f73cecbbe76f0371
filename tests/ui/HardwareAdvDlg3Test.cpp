// The hardware settings dialog: what it selects and shows, and how it follows Program's outcome.
// The Program steps are the document's (ControllerHardwareTest); the whole flow against the
// simulator runs in StageFlowTest.
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
#include <gtest/gtest.h>

class HardwareAdvDlg3 : public WidgetTest {
protected:
    DialogSession session;
};

// The lists' contents and order are the hardware vocabulary's; here: what is selected.
TEST_F(HardwareAdvDlg3, OpensWithTheDescriptionSelected) {
    struct Case {
        std::vector<std::string> shown; // membrane, spring, magnet, regulator
        int32_t membrane, spring, magnet, regulator;
    };
    const std::vector<std::string> hydrostatic{"Hydrostatic", "Rubber Grommet 12.7x7.9_mm",
                                               "NoMagnet", "QB3 (20 psi Max.)"};
    const std::vector<std::string> first{"70A_794um", "No Spring", "A10x2.5_mm",
                                         "ITV1050 (130 psi Max.)"};
    const Case cases[] = {
        {hydrostatic, 3, 1, 2, 7},
        // A1_32 and invalid values are not offered: the first entries stand for them.
        {first, Membrane::A1_32, 5, 3, 8},
        {first, -1, 99, -7, 42},
    };
    for (const Case& c : cases) {
        HardwareDescription description;
        description.MembraneStyle = c.membrane;
        description.SpringType = c.spring;
        description.MagnetStyle = c.magnet;
        description.RegulatorType = c.regulator;
        CHardwareAdvDlg3 dialog(description, session, prompt);
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
    CHardwareAdvDlg3 dialog(HardwareDescription{}, session, prompt);
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
    CHardwareAdvDlg3 dialog(HardwareDescription{}, session, prompt);
    dialog.ProgramButton()->click();
    EXPECT_FALSE(dialog.Busy());
    EXPECT_FALSE(dialog.Applied());
    EXPECT_TRUE(dialog.ProgramButton()->isEnabled());
    EXPECT_EQ(prompt.Last(), CHardwareAdvDlg3::kDeviceGone);
}

// A later step failed (the program table is refused): the box says which, the dialog stays
// open, and since the description did change, cancelling now still counts as applied.
TEST_F(HardwareAdvDlg3, StaysOpenAfterAPartlyFailedProgram) {
    auto channel = std::make_unique<ScriptedSerialChannel>();
    FakeFirmware firmware(*channel);
    firmware.overrides["0P"] = {"Error 2\r"};
    Controller controller(std::move(channel));
    ASSERT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0);
    LogCapture log;
    TestThread worker([&] { session.Serve(controller); });
    CHardwareAdvDlg3 dialog(controller.hardware, session, prompt);
    dialog.MembraneList()->setCurrentText("Hydrostatic");
    dialog.ProgramButton()->click();
    EXPECT_TRUE(dialog.Busy());
    EXPECT_FALSE(dialog.CancelButton()->isEnabled());
    EXPECT_FALSE(dialog.MembraneList()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog.Busy(); }, 20000));
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.Applied());
    EXPECT_EQ(dialog.Description().MembraneStyle, Membrane::Hydrostatic);
    EXPECT_EQ(prompt.shown.size(), 1u) << "the failed step: ControllerHardwareTest";
    session.Finish(false);
    worker.Wait();
}
