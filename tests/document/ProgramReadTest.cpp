// Program Device, Read Device, the link set-up and the connection watch against the fake
// firmware: the order of the card and table traffic, what each failure leaves behind and says.
#include "DocumentTestSupport.h"

#include "devicelink/LogCapture.h"
#include "document/ProgramTranslation.h"
#include "protocol/ProtocolTable.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr const char* kNotDetected =
    "Kelvastra Device Not Detected.\nPlease ensure that the device is powered on and all cables "
    "are properly connected\n";
constexpr const char* kHydrostatic = "AutoAdjust cannot be used with Hydrostatic testing\nPlease "
                                     "change your set parameters\n\nDevice not Programmed";

// The default description but for the regulator, which the link set-up must take.
const char* const kInfow = "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 18.5\n"
                           "MagnetStyle A100_25\nMembraneStyle 70A_794um\nRegulatorType ITV1050\n"
                           "SpringType GoldSpring_13mm_Diam\n";

class ProgramReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        d.firmware->files["NAME.INI"] = "Stretch Study";
        d.firmware->files["INFO1.INI"] = "DATA0007.CSV\n";
        d.firmware->files["INFOW.INI"] = kInfow;
        ASSERT_TRUE(d.doc->SetUpLink());
        d.firmware->commands.clear();
        d.view->SetWorkingSequence(Sequence());
    }

    static SetSequence Sequence() {
        SetSequence s;
        s.sets = {
            MakeSet("Two words", ControlFunction::Sinusoid, 2.0, 1.0, 1.0, TimeUnits::Seconds, 5),
            MakeSet("Slow", ControlFunction::Ramp, 1.0, 1.5, 0.5, TimeUnits::Minutes, 2)};
        return s;
    }

    ScriptedDocument d;
    CKelvastraDoc& doc = *d.doc;
};

// The link set-up fills the view and the description; an empty program reads as no sets.
TEST_F(ProgramReadTest, SetUpReadsNameNumberAndDescriptionAndAnEmptyProgramNoSets) {
    EXPECT_EQ(d.view->TestName(), "Stretch Study");
    EXPECT_EQ(d.view->TestNumberText(), "0007");
    // The lines' reading is the hardware layer's; the windows get the copy published.
    EXPECT_EQ(doc.PublishedHardware().hardware.RegulatorType, Regulator::ITV1050);

    doc.m_sequence = Sequence();
    doc.ReadDevice();
    EXPECT_EQ(d.view->MessageArea(), "\nReading Device... Success\n");
    EXPECT_TRUE(doc.m_sequence.sets.empty());
    EXPECT_TRUE(d.view->WorkingSequence().sets.empty());
}

// A port that will not open is said once; the next watch sets the link up without repeating the
// complaint, and the link stays on its port while that is listed.
TEST_F(ProgramReadTest, WatchKeepsIdentityAfterARetryAndStaysOnItsPort) {
    ScriptedDocument fresh;
    LogCapture log;
    std::vector<PortInfo> ports{{"Adafruit", "", "scripted"}};
    fresh.doc->m_controller.SetPortEnumerator([&] { return ports; });
    fresh.line->FailOpenAt(OpenStep::OpenPath, 16);
    fresh.doc->ConnectionWatch();
    EXPECT_FALSE(fresh.doc->m_bDeviceConnected);
    EXPECT_NE(log.Text().find("found on scripted but its port could not be opened\n"),
              std::string::npos)
        << log.Text();
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

TEST_F(ProgramReadTest, ProgramWritesNameTemplateAndTableInOrder) {
    doc.ProgramDevice();
    EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... Success\n");
    EXPECT_TRUE(d.prompt.Messages().empty());
    EXPECT_EQ(doc.m_sequence.sets, Sequence().sets);

    const auto& fw = *d.firmware;
    SetSequence expected = Sequence();
    EXPECT_EQ(fw.files.at("TEMPLATE.INI"), DeviceTemplateText(expected, doc.m_controller.hardware));
    // Each file is deleted before it is written; the table goes last.
    std::vector<std::string> order;
    for (const auto& c : fw.commands)
        if (c.rfind("0X", 0) == 0 || c.rfind("0W", 0) == 0 || c == "0P")
            order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"0X NAME.INI", "0W NAME.INI", "0X TEMPLATE.INI",
                                               "0W TEMPLATE.INI", "0P"}));
    ASSERT_EQ(fw.programLines.size(), 140u); // their form: tests/devicelink, ConversionTest
}

TEST_F(ProgramReadTest, ProgramNamesTheStepThatFailedAndWhatTheCardHolds) {
    const std::string mayDiffer =
        "The card's NAME.INI and TEMPLATE.INI may no longer match the device's program.\n"
        "Program the device again before running a test.\n";
    const std::string unchanged = "Nothing on the device was changed.\n";
    // What the card file's replacement says in between is the device link's (ControllerTest).
    struct Case {
        std::string command, reply, undeletable;
        std::string step, card;
        bool tableSent;
    };
    const Case cases[] = {
        {"", "", "NAME.INI", "writing NAME.INI\nNAME.INI was not replaced", unchanged, false},
        {"", "", "TEMPLATE.INI", "writing TEMPLATE.INI\nTEMPLATE.INI was not replaced", mayDiffer,
         false},
        {"0P", "Error 2\r", "", "uploading the program table\n", mayDiffer, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        d.firmware->commands.clear();
        d.firmware->files["NAME.INI"] = "Old name";
        d.firmware->files["TEMPLATE.INI"] = "old template\n";
        d.firmware->undeletable = {c.undeletable};
        if (!c.command.empty())
            d.firmware->overrides[c.command] = {c.reply};
        doc.ProgramDevice();
        const std::string area = d.view->MessageArea();
        EXPECT_EQ(area.rfind("\nProgramming Device... Failed while " + c.step, 0), 0u) << area;
        EXPECT_TRUE(area.ends_with(c.card)) << area;
        const auto& sent = d.firmware->commands;
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "0P") > 0, c.tableSent);
        if (c.card == unchanged) {
            EXPECT_EQ(d.firmware->files["NAME.INI"], "Old name");
        }
        if (!c.tableSent) {
            EXPECT_EQ(d.firmware->files["TEMPLATE.INI"], "old template\n");
        }
    }
}

TEST_F(ProgramReadTest, ProgramRefusals) {
    // Not connected: the box, nothing sent.
    doc.m_bDeviceConnected = false;
    doc.ProgramDevice();
    ASSERT_EQ(d.prompt.Messages().size(), 1u);
    EXPECT_EQ(d.prompt.Messages()[0].text, kNotDetected);
    EXPECT_EQ(d.prompt.Messages()[0].icon, MessageIcon::Error);
    EXPECT_TRUE(d.firmware->commands.empty());
    doc.m_bDeviceConnected = true;

    // Hydrostatic with AutoAdjust: the plain box, nothing sent.
    doc.m_controller.hardware.MembraneStyle = Membrane::Hydrostatic;
    SetSequence s = Sequence();
    s.sets[1].AutoAdjust = 1;
    d.view->SetWorkingSequence(s);
    doc.ProgramDevice();
    ASSERT_EQ(d.prompt.Messages().size(), 2u);
    EXPECT_EQ(d.prompt.Messages()[1].text, kHydrostatic);
    EXPECT_EQ(d.prompt.Messages()[1].icon, MessageIcon::None);
    EXPECT_TRUE(d.firmware->commands.empty());

    // Hydrostatic with every AutoAdjust 0 goes ahead (pressures within the regulator's 0.9 MPa).
    s = Sequence();
    for (SetRecord& set : s.sets)
        set.XMagnitude = 0.5;
    d.view->SetWorkingSequence(s);
    doc.ProgramDevice();
    EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... Success\n");
    d.firmware->commands.clear();

    // A table that cannot be built (the reason is ConversionTest's): said, nothing sent.
    doc.m_controller.hardware.RegulatorType = Regulator::Invalid;
    doc.ProgramDevice();
    EXPECT_EQ(d.view->MessageArea().rfind("\nProgramming Device... Failed\nError:  ", 0), 0u);
    EXPECT_TRUE(d.firmware->commands.empty());
    doc.m_controller.hardware.RegulatorType = Regulator::SMC1050;

    // A test paused (or running): only the run state is asked.
    d.firmware->runState = 4;
    doc.ProgramDevice();
    EXPECT_EQ(d.prompt.Messages().back().text, CKelvastraDoc::kProgramDuringTest);
    EXPECT_EQ(d.firmware->commands, std::vector<std::string>{"0?S"});
    d.firmware->runState = 0;
    d.firmware->commands.clear();

    // The check fails: its own message, the committed sequence untouched, nothing sent.
    d.view->SetWorkingSequence(SetSequence{});
    doc.ProgramDevice();
    EXPECT_EQ(d.view->CheckMessages().back(), "Please Specify a Test Sequence Before Executing");
    EXPECT_EQ(doc.m_sequence.sets.size(), 2u);
    EXPECT_TRUE(d.firmware->commands.empty());

    // Port closed: silence.
    const auto shown = d.prompt.Messages().size();
    doc.m_controller.serial.Close();
    d.view->AppendMessage("kept");
    doc.ProgramDevice();
    doc.ReadDevice();
    EXPECT_EQ(d.view->MessageArea(), "kept");
    EXPECT_EQ(d.prompt.Messages().size(), shown);
}

// A value the fitted hardware turns into another one is named before anything is written: No
// stops, Yes programs, without asking it is shown and programming goes on, and a sequence the
// controller takes as shown is not asked about.
TEST_F(ProgramReadTest, ProgramAsksBeforeSendingChangedValues) {
    SetSequence changed = Sequence();
    changed.sets[0].XPreloadMag = 0.5; // the membrane needs no pressure for it: 0 counts
    d.view->SetWorkingSequence(changed);
    struct Case {
        bool ask;
        MessageAnswer answer;
        const char* area;
    };
    const Case cases[] = {{true, MessageAnswer::No, "\nDevice not Programmed\n"},
                          {true, MessageAnswer::Yes, "\nProgramming Device... Success\n"},
                          {false, MessageAnswer::No, "\nProgramming Device... Success\n"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.area);
        d.firmware->commands.clear();
        doc.SetAskBeforeChangedValues(c.ask);
        d.prompt.SetAnswer(c.answer);
        doc.ProgramDevice();
        const std::string asked = d.prompt.Messages().back().text;
        // The named values are ConversionTest's; the question is the document's.
        EXPECT_EQ(asked.rfind(kValuesChanged, 0), 0u) << asked;
        EXPECT_EQ(asked.find("\nProgram the device with these values?") != std::string::npos,
                  c.ask);
        EXPECT_EQ(d.prompt.Messages().back().icon, MessageIcon::Exclamation);
        EXPECT_EQ(d.view->MessageArea(), c.area);
        EXPECT_EQ(d.firmware->commands.empty(), c.answer == MessageAnswer::No && c.ask);
    }
    d.view->SetWorkingSequence(Sequence());
    const auto shown = d.prompt.Messages().size();
    doc.ProgramDevice();
    EXPECT_EQ(d.prompt.Messages().size(), shown);
}

TEST_F(ProgramReadTest, FailedReadBackKeepsTheUsersSequence) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    // How the link fails (a time-out, a lost line) is the device link's; each ends the read.
    const Case cases[] = {
        {"read failure",
         [this] {
             d.firmware->overrides["0I"] = {"OK\r1000 0 1000 0 1 5 1025 0 s s A n 0 0\r"};
             d.line->ReceiveFailure();
         }},
        // Entries the fitted hardware cannot turn into magnitudes.
        {"no pressure scaling",
         [this] {
             d.firmware->readBackLines = {"1000 0 1000 0 1 5 1025 0 s s A n 0 0"};
             doc.m_controller.hardware.RegulatorType = Regulator::Invalid;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        doc.m_sequence = Sequence();
        const int refreshes = d.view->RefreshCount();
        c.arrange();
        doc.ReadDevice();
        EXPECT_NE(d.view->MessageArea().find("\nReading Device... Failed\n"), std::string::npos)
            << d.view->MessageArea();
        EXPECT_EQ(doc.m_sequence.sets, Sequence().sets);
        EXPECT_EQ(d.view->RefreshCount(), refreshes);
        d.firmware->overrides.clear();
        if (!doc.m_controller.serial.IsOpen()) {
            ASSERT_EQ(doc.m_controller.serial.Open("scripted", false, false, true, true, -1), 0);
        }
    }
}

} // namespace
