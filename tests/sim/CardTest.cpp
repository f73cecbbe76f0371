// The card folder: names matched as the firmware matches them, and both listing formats.
#include "SimCard.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(SimCard, NamesMatchWithoutRegardToCaseAndStayInsideTheCard) {
    TempFolder dir;
    sim::SimCard card(dir.Path());
    WriteFile(dir.Path() / "Mixed.Ini", "x");
    std::filesystem::create_directories(dir.Path() / "LOGS");
    WriteFile(dir.Path() / "LOGS" / "A.TXT", "y");

    EXPECT_TRUE(card.Exists("mixed.ini"));
    EXPECT_TRUE(card.Exists("logs/a.txt"));
    EXPECT_TRUE(card.Exists("logs\\A.TXT"));
    EXPECT_FALSE(card.Exists("LOGS")) << "a folder is not a file";
    // Appending to a name in another case writes the existing file; new files get upper-case
    // names and unsafe names are refused (FirmwareTest).
    EXPECT_TRUE(card.Append("MIXED.ini", "z"));
    EXPECT_EQ(*card.Read("Mixed.Ini"), "xz");
    EXPECT_FALSE(card.Append("MISSING/X.TXT", "no")) << "folders are not made by writes";
}

TEST(SimCard, ListingsInBothFirmwareFormats) {
    TempFolder dir;
    sim::SimCard card(dir.Path());
    WriteFile(dir.Path() / "DATA0001.CSV", std::string(1234, 'a'));
    WriteFile(dir.Path() / "DATA0001.NAM", "Run\n");
    std::filesystem::create_directories(dir.Path() / "OLD" / "DEEP");
    WriteFile(dir.Path() / "OLD" / "DATA0002.CSV", "12345");
    WriteFile(dir.Path() / "OLD" / "DEEP" / "X.CSV", "");

    EXPECT_EQ(card.Listing(1540), "1234 DATA0001.CSV\n4 DATA0001.NAM\n");
    EXPECT_EQ(card.Listing(4050), card.Listing(1540));
    EXPECT_EQ(card.Listing(1539), "[F0_1234]DATA0001.CSV\n"
                                  "[F0_4]DATA0001.NAM\n"
                                  "[D1]OLD\n"
                                  "[F1_5]DATA0002.CSV\n"
                                  "[D2]DEEP\n"
                                  "[F2_0]X.CSV\n");
}

} // namespace
