// File Save and File Open through the document: the chosen folder becomes the template folder,
// the bytes written, what reading a whole or a cut file leaves and says, and the offer to save
// unsaved edits before File Open or Read Device replaces them.
#include "DocumentTestSupport.h"

#include "document/Settings.h"
#include "protocol/ProtocolTable.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

const char* const kTable =
    "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\tRecoveryDurationSec\t"
    "HoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\tDataType\tAutoAdjust\t\n"
    "Pre[_]load\tSinusoid\tN\t2.5\t0\t1.5\t2\t0\t0\t4\tSeconds\tAll(64) \t0\t\n"
    "Main\tRamp\tN\t3\t0\t0.25\t10\t0\t0\t1\tMinutes\tAll(64) \t0\t\n";

class ProtocolFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
        ::setenv("KELVASTRA_HOME", (m_dir.path() + "/home").toUtf8().constData(), 1);
        folder = m_dir.path().toStdString() + "/protocols/";
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(d.doc->SetUpLink());
        SetSequence s;
        s.sets = {
            MakeSet("Pre load", ControlFunction::Sinusoid, 2.5, 1.5, 2.0, TimeUnits::Seconds, 4),
            MakeSet("Main", ControlFunction::Ramp, 3.0, 0.25, 10.0, TimeUnits::Minutes, 1)};
        d.view->SetWorkingSequence(s);
    }
    void TearDown() override { ::unsetenv("KELVASTRA_HOME"); }

    // A chooser that records where it was started and answers `answer`.
    CKelvastraDoc::FileChooser Chooser(std::optional<std::string> answer) {
        return [this, answer](const std::string& start) {
            starts.push_back(start);
            return answer;
        };
    }

    QTemporaryDir m_dir;
    ScriptedDocument d;
    CKelvastraDoc& doc = *d.doc;
    std::string folder;
    std::vector<std::string> starts;
};

TEST_F(ProtocolFileTest, SaveWritesTheTableAndRemembersTheFolder) {
    const std::string home = m_dir.path().toStdString() + "/home";
    doc.OnFileSave(Chooser(folder + "study.tmt"));
    ASSERT_EQ(starts, std::vector<std::string>{home + "/Templates"});
    EXPECT_EQ(ReadFile(folder + "study.tmt"), kTable);
    EXPECT_EQ(d.view->MessageArea(), "Protocol File Successfully Saved\n");
    EXPECT_EQ(Settings::TemplateDirValue(), folder);

    // The next dialog starts where the last one ended; cancelling changes nothing.
    doc.OnFileOpen(Chooser(std::nullopt));
    doc.OnFileSave(Chooser(std::nullopt));
    EXPECT_EQ(starts, (std::vector<std::string>{home + "/Templates", folder, folder}));
    EXPECT_EQ(Settings::TemplateDirValue(), folder);
    EXPECT_EQ(Folders::FolderOf("D:\\P\\x.tmt"), "D:\\P\\");
    EXPECT_EQ(Folders::FolderOf("x.tmt"), "");
}

TEST_F(ProtocolFileTest, NothingHappensWhileAnActionIsPending) {
    doc.m_nPendingAction = DeviceAction::ProgramDevice;
    doc.OnFileSave(Chooser(folder + "a.tmt"));
    doc.OnFileOpen(Chooser(folder + "a.tmt"));
    // A failed check saves nothing either.
    doc.m_nPendingAction = DeviceAction::None;
    d.view->SetWorkingSequence(SetSequence{});
    doc.OnFileSave(Chooser(folder + "a.tmt"));
    EXPECT_TRUE(starts.empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "a.tmt"));
    EXPECT_EQ(d.view->CheckMessages(),
              std::vector<std::string>{"Please Specify a Test Sequence Before Executing"});
}

TEST_F(ProtocolFileTest, OpenReadsTheTableAndAHardwareBlockAndSaysWhenTheFileIsCut) {
    WriteFile(folder + "device.tmt", std::string("##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\n"
                                                 "WellDepth_mm 20\nMagnetStyle A25_10\n"
                                                 "MembraneStyle Hydrostatic\nRegulatorType QB3_20\n"
                                                 "SpringType NoSpring\n") +
                                         kTable);
    doc.OnFileOpen(Chooser(folder + "device.tmt"));
    EXPECT_EQ(d.view->MessageArea(), "Protocol File Successfully Opened\n");
    EXPECT_EQ(Settings::TemplateDirValue(), folder);
    // The fields' reading is the protocol and hardware layers'; the document takes the result.
    ASSERT_EQ(doc.m_sequence.sets.size(), 2u);
    EXPECT_EQ(doc.m_sequence.sets[0].Name, "Pre load");
    EXPECT_EQ(d.view->WorkingSequence(), doc.m_sequence);
    EXPECT_EQ(doc.m_controller.hardware.MembraneStyle, Membrane::Hydrostatic);

    // A file ending inside a set says so.
    std::string cut = kTable;
    cut.resize(cut.rfind("\tMinutes"));
    WriteFile(folder + "cut.tmt", cut);
    doc.OnFileOpen(Chooser(folder + "cut.tmt"));
    EXPECT_EQ(d.view->MessageArea(),
              "Protocol File Successfully Opened\n"
              "Warning:  The protocol ends inside a set; that incomplete set was left out\n");
    ASSERT_EQ(doc.m_sequence.sets.size(), 1u);
    EXPECT_EQ(doc.m_sequence.sets[0].Name, "Pre load");
}

TEST_F(ProtocolFileTest, AFileThatCannotBeWrittenOrOpenedSaysSo) {
    const std::string path = folder + "missing/a.tmt";
    doc.OnFileSave(Chooser(path));
    EXPECT_EQ(d.view->MessageArea(), "Error:  Protocol File Could Not Be Saved\n" + path + "\n");
    EXPECT_FALSE(std::filesystem::exists(path));

    doc.m_sequence.sets = {SetRecord{}};
    doc.OnFileOpen(Chooser(folder + "absent.tmt"));
    EXPECT_EQ(d.view->MessageArea(),
              "Error:  Protocol File Could Not Be Opened\n" + folder + "absent.tmt\n");
    EXPECT_EQ(doc.m_sequence.sets.size(), 1u);

    // A folder is no protocol either.
    std::filesystem::create_directories(folder + "dir.tmt");
    EXPECT_EQ(doc.OpenProtocolFile(folder + "dir.tmt"), -1);
    EXPECT_EQ(d.view->MessageArea(),
              "Error:  Protocol File Could Not Be Opened\n" + folder + "dir.tmt\n");
    EXPECT_EQ(doc.m_sequence.sets.size(), 1u);
}

// File Open and Read Device replace the sequence: unsaved edits are offered for saving first,
// Yes saves them, Cancel keeps them on screen.
TEST_F(ProtocolFileTest, OpenAndReadDeviceOfferToSaveUnsavedEdits) {
    const std::string kept = folder + "kept.tmt", other = folder + "other.tmt";
    std::string asked;
    doc.SetSaveFileChooser([&](const std::string&) {
        asked += "save ";
        return std::optional<std::string>(kept);
    });
    d.firmware->readBackLines = {"1000 0 1000 0 1 5 1025 0 s s Device n 0 0"};
    const struct {
        bool read;
        MessageAnswer answer;
        std::string asked;
    } cases[] = {{false, MessageAnswer::Cancel, ""},
                 {false, MessageAnswer::No, "open "},
                 {false, MessageAnswer::Yes, "save open "},
                 {true, MessageAnswer::Cancel, ""},
                 {true, MessageAnswer::No, ""},
                 {true, MessageAnswer::Yes, "save "}};
    for (const auto& c : cases) {
        SCOPED_TRACE((c.read ? "Read Device, " : "File Open, ") + c.asked);
        SetSequence edited;
        edited.sets = {MakeSet("A", ControlFunction::Ramp, 1, 1, 1, TimeUnits::Seconds, 1)};
        d.view->SetWorkingSequence(edited);
        ASSERT_TRUE(d.view->CheckSequence());
        ASSERT_EQ(doc.SaveProtocolFile(other), 1);
        std::filesystem::remove(kept);
        edited.sets[0].XMagnitude = 2;
        d.view->SetWorkingSequence(edited);
        asked.clear();
        d.prompt.SetAnswer(c.answer);
        if (c.read) {
            doc.ReadDevice();
        } else {
            doc.OnFileOpen([&](const std::string&) {
                asked += "open ";
                return std::optional<std::string>(other);
            });
        }
        EXPECT_EQ(d.prompt.Messages().back().text, "Save changes to the protocol?");
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(doc.m_bModified.load(), c.answer == MessageAnswer::Cancel);
        const SetSequence shown = d.view->WorkingSequence();
        ASSERT_EQ(shown.sets.size(), 1u);
        const bool editStays = c.answer == MessageAnswer::Cancel;
        EXPECT_EQ(shown.sets[0].Name, editStays || !c.read ? "A" : "Device");
        if (editStays || !c.read) {
            EXPECT_EQ(shown.sets[0].XMagnitude, editStays ? 2.0 : 1.0);
        }
        EXPECT_EQ(d.view->MessageArea() == "\nReading Device... Cancelled\n", c.read && editStays);
        SetSequence saved;
        ReadProtocolText(ReadFile(kept), saved, nullptr);
        EXPECT_EQ(saved.sets.size() == 1 && saved.sets[0].XMagnitude == 2.0,
                  c.answer == MessageAnswer::Yes);
    }
}

} // namespace
