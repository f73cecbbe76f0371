// Card faults the simulator can be told to play: a transfer cut short, a write that fails at a
// given piece. A file it cannot delete: ControlTest ("protect") and DataCliTest.
#include "Firmware.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

TEST(FirmwareFileFaults, AShortTransferAndAWriteStruckAtItsPiece) {
    TempFolder dir;
    sim::SimCard card(dir.Path());
    WriteFile(dir.Path() / "DATA0001.CSV", "0123456789");
    sim::Firmware firmware(card);
    auto send = [&](const std::string& bytes) { return simtest::Joined(firmware.Feed(bytes, 0)); };
    const std::string end(1, '\x17');

    firmware.CutNextTransfer("Data0001.csv", 4);
    EXPECT_EQ(send("0F DATA0001.CSV\r"), "OK\r0123" + end);
    EXPECT_EQ(send("0F DATA0001.CSV\r"), "OK\r0123456789" + end); // only the next transfer

    // The second piece fails: it and the rest of that write stay off the card.
    firmware.FailWriteAt("poscal.ini", 2);
    EXPECT_EQ(send("0W POSCAL.INI\rab\rcd\ref\r\x17\r"), "OK\rOK\rError 4\rError 4\rError 4\r");
    EXPECT_EQ(ReadFile(dir.Path() / "POSCAL.INI"), "ab");
    EXPECT_EQ(send("0W POSCAL.INI\rcd\r\x17\r"), "OK\rOK\rOK\r"); // only the next write
    EXPECT_EQ(ReadFile(dir.Path() / "POSCAL.INI"), "abcd");

    // As a lost link: the piece gets no answer and the link is to be cut, once.
    firmware.FailWriteAt("OTHER.INI", 1, true);
    EXPECT_EQ(send("0W POSCAL.INI\rx\r\x17\r"), "OK\rOK\rOK\r"); // another file
    EXPECT_FALSE(firmware.TakeLinkCut());
    EXPECT_EQ(send("0W OTHER.INI\rx\r"), "OK\r");
    EXPECT_TRUE(firmware.TakeLinkCut());
    EXPECT_FALSE(firmware.TakeLinkCut());
    EXPECT_EQ(ReadFile(dir.Path() / "OTHER.INI"), "");
}
