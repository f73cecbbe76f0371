// What calibrations need of the simulator: a sensor that can be broken, and an emulated line
// whose short replies pay their full line time in both directions.
#include "CardSeed.h"
#include "OutputQueue.h"
#include "SimTestSupport.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CalibrationLine, ABrokenSensorAnswersWithItsError) {
    TempFolder dir;
    sim::SimCard card(dir.Path());
    sim::SeedCard(card, 4050, 1100);
    sim::SimulatorOptions options;
    options.card = dir.Path();
    options.registerPort = false;
    options.quiet = true;
    std::ostringstream out, log;
    sim::Simulator simulator(options, out, log);
    auto ask = [&](const char* line) {
        return simtest::Joined(simulator.Device().Feed(line, simulator.NowMs()));
    };
    for (const char* bad : {"sensor-error", "sensor-error 10 5", "sensor-error 3 0"})
        EXPECT_EQ(simulator.Control(bad).rfind("error ", 0), 0u) << bad;
    EXPECT_EQ(simulator.Control("sensor-error 4 5"), "ok sensor-error 4 5");
    EXPECT_EQ(ask("0?D 4\r"), "Error 5\r");
    EXPECT_NE(ask("0?D 3\r").rfind("Error", 0), 0u);
    EXPECT_EQ(simulator.Control("sensor-error 4 off"), "ok sensor-error 4 off");
    EXPECT_NE(ask("0?D 4\r").rfind("Error", 0), 0u);
}

TEST(CalibrationLine, ShortExchangesPayTheirLineTime) {
    sim::OutputQueue queue;
    queue.SetBaud(10000); // one byte per millisecond
    // A 6-byte command read at once has come in only after six byte times.
    const double received = queue.ReceivedMs(100, 6);
    EXPECT_DOUBLE_EQ(received, 106);
    EXPECT_DOUBLE_EQ(queue.ReceivedMs(101, 6), 112); // the line was still busy
    // A 5-byte reply after a long idle time still takes five byte times.
    queue.Push({{"1234\r"}}, 1000);
    EXPECT_DOUBLE_EQ(queue.NextDueMs(1000), 1005);
    EXPECT_TRUE(queue.Take(1004.5).bytes.empty());
    EXPECT_EQ(queue.Take(1005).bytes, "1234\r");
    // Bytes the terminal did not take are not paced a second time.
    queue.PutBack("\r");
    EXPECT_EQ(queue.Take(1005).bytes, "\r");
}

} // namespace
