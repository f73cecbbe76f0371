// Refusals, values through files and read-back, the offer to save, and the watch after a retry.
#include "DocumentTestSupport.h"

#include "devicelink/LogCapture.h"
#include "document/ProgramTranslation.h"
#include "protocol/ProtocolTable.h"

#include <gtest/gtest.h>

namespace {

class SafeProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(d.Connect()); }
    void Edit(const std::string& row) {
        SetSequence sequence;
        ReadProtocolText("Name XMagnitude HoldTimeSec RestTimeSec DataType\nA " + row, sequence,
                         nullptr);
        d.view->SetWorkingSequence(sequence);
        d.firmware->commands.clear();
    }
    std::string Saved(const std::string& name) {
        EXPECT_TRUE(d.view->CheckSequence());
        const std::string path = (temp.Path() / name).string();
        EXPECT_EQ(doc.SaveProtocolFile(path), 1);
        return path;
    }

    ScriptedDocument d;
    CKelvastraDoc& doc = *d.doc;
    TempFolder temp{"safe-program"};
};

TEST_F(SafeProgramTest, ProgramWaitsForTheTestToEndAndSaveOnlyWarns) {
    Edit("5 0 0 Peaks");
    d.firmware->runState = 4;
    doc.ProgramDevice();
    EXPECT_EQ(d.prompt.Messages().back().text, CKelvastraDoc::kProgramDuringTest);
    EXPECT_EQ(d.firmware->commands, std::vector<std::string>{"0?S"});
    Edit("5000 0 0 Peaks");
    Saved("big.tmt");
    EXPECT_NE(d.view->MessageArea().find("Warning:  Program Device will refuse this protocol on "
                                         "the fitted hardware:\nSet 1 (A)\nError:  Maximum"),
              std::string::npos);
}

TEST_F(SafeProgramTest, RateAndPressureSurviveFilesAndReadBack) {
    Edit("1 3 3 Max"); // "All Data": 10 Hz, rate letter '1'
    ASSERT_EQ(doc.OpenProtocolFile(Saved("all.tmt")), 1);
    doc.ProgramDevice();
    EXPECT_EQ(d.firmware->programLines.at(12), "1");
    doc.m_sequence.sets.at(0).StretchDurationSec = -5; // "Do Not Stretch", as the editor reads it
    EXPECT_TRUE(
        SequenceToDeviceProgram(doc.m_sequence, doc.m_controller.hardware, doc.m_deviceProgram) &&
        doc.m_deviceProgram[0].stretchMs == 0);

    HardwareDescription& hw = doc.m_controller.hardware;
    hw.MembraneStyle = Membrane::Hydrostatic;
    hw.RegulatorType = Regulator::ITV1010;
    Edit("0.04 0 0 Peaks");
    d.firmware->programLines.clear();
    doc.ProgramDevice();
    std::string entry;
    for (std::size_t f = 0; f < 14; ++f)
        entry += d.firmware->programLines.at(f) + " ";
    d.firmware->readBackLines = {entry};
    doc.ReadDevice();
    EXPECT_DOUBLE_EQ(doc.m_sequence.sets.at(0).XMagnitude, 0.04);
    hw.RegulatorType = Regulator::Invalid; // no pressure scaling: a failure, the sets stay
    doc.ReadDevice();
    EXPECT_EQ(d.view->MessageArea().rfind("\nReading Device... Failed\nError:  The fitted", 0), 0u);
    EXPECT_DOUBLE_EQ(doc.m_sequence.sets.at(0).XMagnitude, 0.04);
}

// File Open and Read Device replace the sequence: unsaved edits are offered for saving first,
// Yes saves them, Cancel keeps them on screen.
TEST_F(SafeProgramTest, OpenAndReadDeviceOfferToSaveUnsavedEdits) {
    const auto kept = temp.Path() / "kept.tmt";
    std::string asked;
    doc.SetSaveFileChooser([&](const std::string&) {
        asked += "save ";
        return std::optional<std::string>(kept.string());
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
        Edit("1 0 0 Peaks");
        const std::string other = Saved("other.tmt");
        std::filesystem::remove(kept);
        Edit("2 0 0 Peaks");
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
        if (c.answer == MessageAnswer::Cancel) {
            EXPECT_EQ(shown.sets[0].XMagnitude, 2.0) << "the edit stays";
        } else if (c.read) {
            EXPECT_EQ(shown.sets[0].Name, "Device");
        } else {
            EXPECT_EQ(shown.sets[0].XMagnitude, 1.0);
        }
        if (c.read && c.answer == MessageAnswer::Cancel) {
            EXPECT_EQ(d.view->MessageArea(), "\nReading Device... Cancelled\n");
        }
        SetSequence saved;
        ReadProtocolText(ReadFile(kept), saved, nullptr);
        EXPECT_EQ(saved.sets.size() == 1 && saved.sets[0].XMagnitude == 2.0,
                  c.answer == MessageAnswer::Yes);
    }
}

// A value the fitted hardware turns into another one is named before anything is written: No
// stops, Yes programs, and a sequence the controller takes as shown is not asked about.
TEST_F(SafeProgramTest, ProgramAsksBeforeSendingChangedValues) {
    SetRecord hold = MakeSet("Hold", ControlFunction::Ramp, 2.0, 1.0, 1.0, TimeUnits::Seconds, 1);
    hold.XPreloadMag = 0.5; // the default membrane needs no pressure for it: 0 counts
    // The controller times whole milliseconds: half of one is no stretch at all.
    const SetRecord quick =
        MakeSet("Quick", ControlFunction::Sinusoid, 3.0, 0.5, 20.0, TimeUnits::mSeconds, 1);
    const SetRecord plain =
        MakeSet("Plain", ControlFunction::Ramp, 2.5, 1.5, 1.0, TimeUnits::Minutes, 2);
    const std::string warning =
        "Warning:  The controller will not get every value as entered:\n"
        "Set 1 (Hold) Preload Magnitude: 0.5 N entered, 0.0 N programmed\n"
        "Set 2 (Quick) Compress Duration: 0.5 mS entered, 0.0 mS programmed\n";
    SetSequence changed;
    changed.sets = {hold, quick, plain};

    d.view->SetWorkingSequence(changed);
    d.firmware->commands.clear();
    d.prompt.SetAnswer(MessageAnswer::No);
    doc.ProgramDevice();
    ASSERT_EQ(d.prompt.Messages().size(), 1u);
    EXPECT_EQ(d.prompt.Messages()[0].text, warning + "\nProgram the device with these values?");
    EXPECT_EQ(d.prompt.Messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(d.view->MessageArea(), "\nDevice not Programmed\n");
    EXPECT_TRUE(d.firmware->commands.empty());

    d.prompt.SetAnswer(MessageAnswer::Yes);
    doc.ProgramDevice();
    EXPECT_EQ(d.prompt.Messages().size(), 2u);
    EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... Success\n");
    EXPECT_EQ(d.firmware->programLines.size(), 140u);

    // Without asking (the command-line program) the warning is shown and programming goes on.
    doc.SetAskBeforeChangedValues(false);
    d.prompt.SetAnswer(MessageAnswer::No);
    doc.ProgramDevice();
    EXPECT_EQ(d.prompt.Messages().back().text, warning);
    EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... Success\n");
    doc.SetAskBeforeChangedValues(true);

    SetSequence taken;
    taken.sets = {plain};
    d.view->SetWorkingSequence(taken);
    const auto shown = d.prompt.Messages().size();
    doc.ProgramDevice();
    EXPECT_EQ(d.prompt.Messages().size(), shown);
    EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... Success\n");
}

TEST_F(SafeProgramTest, WatchKeepsIdentityAfterARetryAndStaysOnItsPort) {
    ScriptedDocument fresh;
    LogCapture log;
    std::vector<PortInfo> ports{{"Adafruit", "", "scripted"}};
    fresh.doc->m_controller.SetPortEnumerator([&] { return ports; });
    fresh.line->FailOpenAt(OpenStep::OpenPath, 16);
    fresh.doc->ConnectionWatch();
    fresh.view->AppendMessage(log.Text()); // the complaint, as the window showed it
    log.Clear();
    fresh.doc->ConnectionWatch();
    EXPECT_EQ(log.Text(), "\nR0\nR1\nVERSION 4.05\nHardware = 1250\nR4\nSoftware Version 1.91\n");
    EXPECT_EQ(fresh.view->MessageArea(), "");
    ports.insert(ports.begin(), PortInfo{"Adafruit", "", "/dev/ttyACM7"});
    fresh.doc->ConnectionWatch();
    EXPECT_EQ(fresh.line->OpenCount(), 1); // a second board does not take the link over
    ports.pop_back();
    fresh.doc->ConnectionWatch();
    EXPECT_EQ(fresh.line->PortName(), "/dev/ttyACM7"); // its own port gone, the link moves
}

} // namespace
