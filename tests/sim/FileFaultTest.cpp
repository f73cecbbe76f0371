// Card faults the simulator can be told to play: a file it cannot delete, a transfer cut short.
#include "Firmware.h"
#include "SimTestSupport.h"

#include <gtest/gtest.h>

TEST(FirmwareFileFaults, ProtectedFileAndShortTransfer) {
    TempFolder dir;
    sim::SimCard card(dir.Path());
    WriteFile(dir.Path() / "DATA0001.CSV", "0123456789");
    sim::Firmware firmware(card);
    auto send = [&](const std::string& bytes) { return simtest::Joined(firmware.Feed(bytes, 0)); };
    const std::string end(1, '\x17');

    firmware.ProtectFile("data0001.csv");
    EXPECT_EQ(send("0X DATA0001.CSV\r"), "OK\rError 4\r");
    firmware.CutNextTransfer("Data0001.csv", 4);
    EXPECT_EQ(send("0F DATA0001.CSV\r"), "OK\r0123" + end);
    EXPECT_EQ(send("0F DATA0001.CSV\r"), "OK\r0123456789" + end); // only the next transfer
    firmware.ProtectFile("");
    EXPECT_EQ(send("0X DATA0001.CSV\r"), "OK\rDeleted\r");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "DATA0001.CSV"));
}
