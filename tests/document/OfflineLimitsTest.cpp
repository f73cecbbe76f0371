// Protocols without a controller: the limits of the controller connected last, kept in the
// settings, and the check of the open sets when a controller with other hardware connects.
#include "DocumentTestSupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char* const kRefused = "Set 1 (Big)\nError:  Maximum Compress Magnitude = 32.0 N\n";

TEST(OfflineLimits, LastControllersLimitsHoldUntilAnotherConnects) {
    EnsureCoreApplication();
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    ::setenv("KELVASTRA_HOME", dir.path().toUtf8().constData(), 1);
    SetSequence big;
    big.sets = {MakeSet("Big", ControlFunction::Ramp, 100, 1, 1, TimeUnits::Seconds, 1)};

    // A controller with a small regulator connects while a 100 N set is open (made against the
    // defaults): the set is named at once.
    ScriptedDocument first;
    first.doc->UseRememberedController();
    EXPECT_EQ(first.doc->LinkStatusText(), "No controller found");
    first.firmware->records[1] = "Serial Number K-0042";
    first.firmware->files["INFOW.INI"] = "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\n"
                                         "WellDepth_mm 18.5\nMagnetStyle A100_25\n"
                                         "MembraneStyle 70A_794um\nRegulatorType ITV1010\n"
                                         "SpringType GoldSpring_13mm_Diam\n";
    first.view->SetWorkingSequence(big);
    ASSERT_TRUE(first.doc->SetUpLink());
    EXPECT_NE(first.view->MessageArea().find("Warning:  Program Device will refuse this protocol "
                                             "on the connected controller's hardware:\n" +
                                             std::string(kRefused)),
              std::string::npos)
        << first.view->MessageArea();
    EXPECT_EQ(first.doc->LinkStatusText(), "Controller K-0042");
    first.doc->TearDownLink();
    EXPECT_EQ(first.doc->LinkStatusText(), "No controller: limits of K-0042 (ITV1010, 70A_794um)");
    // The same hardware again: nothing new to say.
    ASSERT_TRUE(first.doc->SetUpLink());
    EXPECT_EQ(first.view->MessageArea().find("Warning:"), std::string::npos);

    // The next start, with no controller: its limits, and the set is refused as it was.
    CKelvastraDoc offline;
    HeadlessStageView view(offline);
    offline.SetView(&view);
    offline.UseRememberedController();
    EXPECT_EQ(offline.LinkStatusText(), "No controller: limits of K-0042 (ITV1010, 70A_794um)");
    offline.SetControllerChoice("A1");
    EXPECT_EQ(offline.LinkStatusText(),
              "Controller A1 not found (Hardware > Choose Controller...): "
              "limits of K-0042 (ITV1010, 70A_794um)");
    offline.SetControllerChoice("");
    EXPECT_TRUE(offline.IsCommandEnabled(ID_FILE_SAVE));
    EXPECT_FALSE(offline.IsCommandEnabled(ID_PROGRAM_DEVICE));
    view.SetWorkingSequence(big);
    offline.OnFileSave([&](const std::string&) { return dir.path().toStdString() + "/big.tmt"; });
    EXPECT_EQ(view.MessageArea(), "Protocol File Successfully Saved\nWarning:  Program Device will "
                                  "refuse this protocol on the fitted hardware:\n" +
                                      std::string(kRefused));
    offline.SetView(nullptr);
    ::unsetenv("KELVASTRA_HOME");
}

} // namespace
