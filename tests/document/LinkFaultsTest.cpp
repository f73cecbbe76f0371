// What the document makes of a controller that does not answer and of a card write that stops.
#include "DocumentTestSupport.h"

#include "protocol/ProtocolTable.h"

#include <gtest/gtest.h>

namespace {

TEST(LinkFaultsTest, ASilentControllerLeavesTheDocumentDisconnectedAndSaysSo) {
    ScriptedDocument d;
    d.line->SetResponder(nullptr); // nothing answers
    EXPECT_FALSE(d.Connect());
    EXPECT_FALSE(d.doc->m_bDeviceConnected);
    EXPECT_FALSE(d.doc->m_controller.serial.IsOpen());
    EXPECT_EQ(d.line->Writes().size(), 1u);
    EXPECT_NE(d.view->MessageArea().find("The controller on scripted does not answer.\n"),
              std::string::npos)
        << d.view->MessageArea();
}

TEST(LinkFaultsTest, ProgramDeviceNamesTheIncompleteCardFile) {
    ScriptedDocument d;
    ASSERT_TRUE(d.Connect());
    SetSequence s;
    s.sets = {MakeSet("Long enough to need two pieces of the template", ControlFunction::Ramp, 1.0,
                      1.0, 1.0, TimeUnits::Seconds, 1)};
    d.view->SetWorkingSequence(s);
    // The second piece of TEMPLATE.INI is refused by the card.
    SetSequence copy = s;
    const std::string text = DeviceTemplateText(copy, d.doc->m_controller.hardware);
    d.firmware->overrides[text.substr(60, 60)] = {"Error 4\r"};
    d.doc->ProgramDevice();
    const std::string area = d.view->MessageArea();
    EXPECT_NE(area.find("Failed while writing TEMPLATE.INI\nTEMPLATE.INI on the card is "
                        "incomplete: writing it stopped after 60 of "),
              std::string::npos)
        << area;
    EXPECT_NE(area.find("(the controller answered Error 4).\n"), std::string::npos);
}

} // namespace
