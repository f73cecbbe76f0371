// A raw pressure trace says how many pairs came and whether the transfer ended properly, so a
// broken trace never passes for a complete one.
#include "devicelink/Controller.h"
#include "devicelink/FakeFirmware.h"
#include "devicelink/LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(RawTraceResult, CountAndFailureOfATrace) {
    LogCapture log;
    auto channel = std::make_unique<ScriptedSerialChannel>();
    ScriptedSerialChannel& line = *channel;
    Controller controller(std::move(channel));
    ASSERT_EQ(controller.serial.Open("p", false, false, true, true, -1), 0);
    controller.serial.SetReadTimeoutMs(10);
    FakeFirmware firmware(line);
    firmware.traceLines = {"0 1200", "250 1300"};
    std::vector<uint32_t> times(53);
    std::vector<uint16_t> readings(53);
    std::size_t received = 99;
    EXPECT_EQ(controller.ReadRawTrace(0, 38, 53, times, readings, &received), 1);
    EXPECT_EQ(received, 2u);
    EXPECT_EQ(readings[1], 1300);

    firmware.overrides["0Z 0 38 53"] = {"Error 2\r\x17"};
    EXPECT_EQ(controller.ReadRawTrace(0, 38, 53, times, readings, &received), -1);
    EXPECT_EQ(received, 0u);

    // The controller stops answering in the middle of the lines.
    firmware.overrides["0Z 0 38 53"] = {"OK\r0 1200\n"};
    EXPECT_EQ(controller.ReadRawTrace(0, 38, 53, times, readings, &received), -1);
    EXPECT_EQ(received, 1u);
}

} // namespace
