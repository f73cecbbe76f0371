// Serial over a real pseudo-terminal, with the test holding the master: what the simulator
// cannot show (time-outs, a hang-up, exclusive opening). Bytes cross it untranslated in every
// test against kelvastra-sim.
#include "devicelink/LogCapture.h"
#include "devicelink/Serial.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <pty.h>
#include <unistd.h>

namespace {

class PtyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureCoreApplication(); }

    PtyTest() {
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0) {
            path = ::ttyname(slave);
            ::close(slave);
        }
    }
    ~PtyTest() override {
        if (master >= 0)
            ::close(master);
    }

    LogCapture log;
    int master = -1;
    std::string path;
};

TEST_F(PtyTest, AClosedPortOpensAgainExclusivelySilenceTimesOutAndAHangUpFails) {
    ASSERT_FALSE(path.empty());
    Serial first;
    ASSERT_EQ(first.Open(path, false, false, true, true, -1), 0);
    EXPECT_EQ(first.Close(), 0);
    Serial second;
    ASSERT_EQ(second.Open(path, false, false, true, true, -1), 0);
    // Held by `second`: the port is opened exclusively.
    EXPECT_EQ(first.Open(path, true, false, false, false, 57600), 2);

    second.SetReadTimeoutMs(100);
    std::string text;
    int count = 0;
    EXPECT_EQ(second.ReadLine(text, 1024, count), Serial::kTimedOut);
    ::close(master);
    master = -1;
    const int status = second.ReadLine(text, 1024, count);
    EXPECT_TRUE(status == Serial::kReadFailure || status == Serial::kTimedOut) << status;
}

} // namespace
