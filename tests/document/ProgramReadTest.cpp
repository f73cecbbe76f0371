// Program Device, Read Device and the hardware read of the link set-up against the fake
// firmware: the order of the card and table traffic, what each failure leaves behind and says.
#include "DocumentTestSupport.h"

#include "protocol/ProtocolTable.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr const char* kNotDetected =
    "Kelvastra Device Not Detected.\nPlease ensure that the device is powered on and all cables "
    "are properly connected\n";
constexpr const char* kHydrostatic = "AutoAdjust cannot be used with Hydrostatic testing\nPlease "
                                     "change your set parameters\n\nDevice not Programmed";

const char* const kInfow = "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 17.25\n"
                           "MagnetStyle A25_10\nMembraneStyle 10A_794um\nRegulatorType ITV1030\n"
                           "SpringType NoSpring\n";

class ProgramReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        d.firmware->files["NAME.INI"] = "Stretch Study";
        d.firmware->files["INFO1.INI"] = "DATA0007.CSV\n";
        ASSERT_TRUE(d.Connect());
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

    std::vector<std::string> CommandsStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& c : d.firmware->commands)
            if (c.rfind(prefix, 0) == 0)
                found.push_back(c);
        return found;
    }

    ScriptedDocument d;
    CKelvastraDoc& doc = *d.doc;
};

// The link set-up fills the view and the description, then raises the flags.
TEST_F(ProgramReadTest, SetUpReadsNameNumberAndDescription) {
    ScriptedDocument fresh;
    fresh.firmware->files["NAME.INI"] = "Stretch Study";
    fresh.firmware->files["INFO1.INI"] = "DATA0007.CSV\n";
    fresh.firmware->files["INFOW.INI"] = kInfow;
    EXPECT_FALSE(fresh.doc->m_bDeviceConnected);
    ASSERT_TRUE(fresh.Connect());
    EXPECT_TRUE(fresh.doc->m_bDeviceConnected);
    EXPECT_TRUE(fresh.doc->m_bDeviceInfoLoaded);
    EXPECT_EQ(fresh.doc->m_fMaxStretchPosMm, 1000.0f);
    EXPECT_EQ(fresh.view->TestName(), "Stretch Study");
    EXPECT_EQ(fresh.view->TestNumberText(), "0007");
    const HardwareDescription& hw = fresh.doc->m_controller.hardware;
    EXPECT_EQ(hw.FirmwareVersion, 4050);
    EXPECT_DOUBLE_EQ(hw.WellDepth_mm, 17.25);
    EXPECT_EQ(hw.MagnetStyle, Magnet::A25_10);
    EXPECT_EQ(hw.MembraneStyle, Membrane::M10A_794um);
    EXPECT_EQ(hw.RegulatorType, Regulator::ITV1030);
    EXPECT_EQ(hw.SpringType, Spring::NoSpring);
}

// INFOW.INI is read by position: each value after its key's width; lines too short to hold a
// value and files of fewer than eight lines leave the description as it was.
TEST_F(ProgramReadTest, DeviceHardwareSkipsShortLinesAndShortFiles) {
    HardwareDescription partial; // short value lines are absent
    partial.WellDepth_mm = 20.0;
    partial.MembraneStyle = Membrane::Hydrostatic;
    partial.SpringType = Spring::NoSpring;
    HardwareDescription byPosition; // keys are not compared, unknown codes are invalid
    byPosition.FirmwareVersion = 1234;
    byPosition.WellDepth_mm = 9.5;
    byPosition.MagnetStyle = Magnet::Invalid;
    byPosition.MembraneStyle = Membrane::Invalid;
    byPosition.RegulatorType = Regulator::QPV1;
    byPosition.SpringType = Spring::Invalid;
    const std::pair<std::string, HardwareDescription> cases[] = {
        {"##HARDWARE\nKelvastra TR\nFirmwareVersion\nWellDepth_mm 20\nMagnetStyle \n"
         "MembraneStyle Hydrostatic\nRegulatorType\nSpringType NoSpring\n",
         partial},
        {"##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 20\nMagnetStyle A25_10\n"
         "MembraneStyle Hydrostatic\nRegulatorType QB3_20\n",
         HardwareDescription{}},
        {"", HardwareDescription{}},
        {"x\ny\nXXXXXXXXXXXXXXX 1234\nXXXXXXXXXXXX 9.5\nXXXXXXXXXXX Foo\nXXXXXXXXXXXXX Bar\n"
         "XXXXXXXXXXXXX QPV1\nXXXXXXXXXX Baz\n",
         byPosition},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file);
        if (file.empty())
            d.firmware->files.erase("INFOW.INI");
        else
            d.firmware->files["INFOW.INI"] = file;
        HardwareDescription hw;
        doc.ReadDeviceHardware(hw);
        EXPECT_EQ(hw, expected);
    }
}

TEST_F(ProgramReadTest, ProgramWritesNameTemplateAndTableInOrder) {
    doc.ProgramDevice();
    EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... Success\n");
    EXPECT_TRUE(d.prompt.Messages().empty());
    EXPECT_EQ(doc.m_sequence.sets, Sequence().sets);

    const auto& fw = *d.firmware;
    EXPECT_EQ(fw.files.at("NAME.INI"), "Stretch Study");
    SetSequence expected = Sequence();
    EXPECT_EQ(fw.files.at("TEMPLATE.INI"), DeviceTemplateText(expected, doc.m_controller.hardware));
    // Each file is deleted before it is written; the table goes last.
    std::vector<std::string> order;
    for (const auto& c : fw.commands)
        if (c.rfind("0X", 0) == 0 || c.rfind("0W", 0) == 0 || c == "0P")
            order.push_back(c);
    EXPECT_EQ(order, (std::vector<std::string>{"0X NAME.INI", "0W NAME.INI", "0X TEMPLATE.INI",
                                               "0W TEMPLATE.INI", "0P"}));
    ASSERT_EQ(fw.programLines.size(), 140u);
    // The table's wire form is the upload's (tests/devicelink); the entries are checked in
    // ConversionTest.
}

TEST_F(ProgramReadTest, ProgramNamesTheStepThatFailedAndWhatTheCardHolds) {
    const std::string mayDiffer =
        "The card's NAME.INI and TEMPLATE.INI may no longer match the device's program.\n"
        "Program the device again before running a test.\n";
    const std::string unchanged = "Nothing on the device was changed.\n";
    struct Case {
        std::string command;
        std::string reply;
        std::string undeletable;
        std::string message;
        bool tableSent;
    };
    const Case cases[] = {
        {"0W NAME.INI", "Error 4\r", "",
         "Failed while writing NAME.INI\nNAME.INI was not replaced: writing it stopped after 0 "
         "of 13 bytes (the controller answered Error 4); its old content was written back.\n" +
             unchanged,
         false},
        {"", "", "NAME.INI",
         "Failed while writing NAME.INI\nNAME.INI was not replaced: the controller did not "
         "delete it (the controller answered Error 4); it keeps its old content.\n" +
             unchanged,
         false},
        {"", "", "TEMPLATE.INI",
         "Failed while writing TEMPLATE.INI\nTEMPLATE.INI was not replaced: the controller did "
         "not delete it (the controller answered Error 4); it keeps its old content.\n" +
             mayDiffer,
         false},
        {"0P", "Error 2\r", "", "Failed while uploading the program table\n" + mayDiffer, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        d.firmware->commands.clear();
        d.firmware->files["NAME.INI"] = "Old name";
        d.firmware->files["TEMPLATE.INI"] = "old template\n";
        d.firmware->undeletable = {c.undeletable};
        if (!c.command.empty())
            d.firmware->overrides[c.command] = {c.reply};
        doc.ProgramDevice();
        EXPECT_EQ(d.view->MessageArea(), "\nProgramming Device... " + c.message);
        EXPECT_EQ(!CommandsStartingWith("0P").empty(), c.tableSent);
        if (c.message.find(unchanged) != std::string::npos) {
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

    // Hardware without pressure scaling: said in the message area, nothing sent.
    doc.m_controller.hardware.RegulatorType = Regulator::Invalid;
    doc.ProgramDevice();
    EXPECT_EQ(d.view->MessageArea().rfind("\nProgramming Device... Failed\nError:  The fitted "
                                          "hardware cannot turn magnitudes into pressure set "
                                          "points\n",
                                          0),
              0u)
        << d.view->MessageArea();
    EXPECT_TRUE(d.firmware->commands.empty());
    doc.m_controller.hardware.RegulatorType = Regulator::SMC1050;

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

TEST_F(ProgramReadTest, EmptyProgramReadsAsAnEmptySequence) {
    doc.m_sequence = Sequence();
    doc.ReadDevice();
    EXPECT_EQ(d.view->MessageArea(), "\nReading Device... Success\n");
    EXPECT_TRUE(doc.m_sequence.sets.empty());
    EXPECT_TRUE(d.view->WorkingSequence().sets.empty());
}

TEST_F(ProgramReadTest, FailedReadBackKeepsTheUsersSequence) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
    };
    const Case cases[] = {
        // The controller says OK and then falls silent.
        {"time-out", [this] { d.firmware->overrides["0I"] = {"OK\r"}; }},
        {"read failure",
         [this] {
             d.firmware->overrides["0I"] = {"OK\r1000 0 1000 0 1 5 1025 0 s s A n 0 0\r"};
             d.line->ReceiveFailure();
         }},
        {"write failure", [this] { d.line->FailNextWrite(5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        doc.m_sequence = Sequence();
        const int refreshes = d.view->RefreshCount();
        c.arrange();
        doc.ReadDevice();
        EXPECT_EQ(d.view->MessageArea().rfind("\nReading Device... Failed\n"),
                  d.view->MessageArea().size() - 26)
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
