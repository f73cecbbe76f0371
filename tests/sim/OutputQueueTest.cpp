// Timing faults of the link: latency, line-rate pacing, a drop in the middle of a transfer.
#include "OutputQueue.h"

#include <gtest/gtest.h>

namespace {

using sim::Chunk;
using sim::OutputQueue;

TEST(OutputQueue, LatencyAndAnEndByteApartAreHeldBack) {
    OutputQueue queue;
    queue.SetLatencyMs(50);
    queue.Push({{"OK\r"}, {"data", 0, true}, {"\x17", 30, true}}, 100);
    EXPECT_EQ(queue.NextDueMs(100), 150);
    EXPECT_TRUE(queue.Take(149).bytes.empty());
    EXPECT_EQ(queue.Take(150).bytes, "OK\r");
    EXPECT_EQ(queue.Take(150).bytes, "data");
    EXPECT_TRUE(queue.Take(179).bytes.empty());
    EXPECT_EQ(queue.Take(180).bytes, "\x17");
    EXPECT_TRUE(queue.Empty());
}

TEST(OutputQueue, LineRatePacesTheBytes) {
    for (int baud : {9600, 115200}) {
        OutputQueue queue;
        queue.SetBaud(baud);
        const size_t total = static_cast<size_t>(baud / 10); // one second's worth
        queue.Push({{std::string(total, 'x'), 0, true}}, 0);
        size_t sent = 0;
        double finished = -1;
        for (int ms = 0; ms <= 2000 && finished < 0; ++ms) {
            sent += queue.Take(ms).bytes.size();
            if (sent == total)
                finished = ms;
        }
        // A second of bytes takes about a second (less the burst allowance).
        EXPECT_GT(finished, 980) << baud;
        EXPECT_LT(finished, 1010) << baud;
    }
}

TEST(OutputQueue, DropCutsTheTransferAfterTheArmedCount) {
    OutputQueue queue;
    queue.ArmDrop(10);
    queue.Push({{"OK\r"}, {std::string(100, 'd') + "\x17", 0, true}}, 0);
    auto first = queue.Take(0);
    EXPECT_EQ(first.bytes, "OK\r") << "acknowledgements do not count";
    EXPECT_FALSE(first.dropAfter);
    auto second = queue.Take(0);
    EXPECT_EQ(second.bytes, std::string(10, 'd'));
    EXPECT_TRUE(second.dropAfter);
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.DropArmed());

    // Armed across transfers: the count runs on until it is reached.
    queue.ArmDrop(6);
    queue.Push({{"abcd", 0, true}}, 0);
    EXPECT_FALSE(queue.Take(0).dropAfter);
    queue.Push({{"efghij", 0, true}}, 0);
    auto cut = queue.Take(0);
    EXPECT_EQ(cut.bytes, "ef");
    EXPECT_TRUE(cut.dropAfter);
}

TEST(OutputQueue, ShortExchangesPayTheirLineTime) {
    OutputQueue queue;
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
    // Bytes the terminal did not take go out first and are not paced a second time.
    queue.Push({{"def"}}, 1005);
    queue.PutBack("\r");
    EXPECT_EQ(queue.Take(1005).bytes, "\r");
    EXPECT_EQ(queue.Take(1008).bytes, "def");
}

} // namespace
