// Serial over a real pseudo-terminal: the platform port path, with the test holding the master.
#include "devicelink/LogCapture.h"
#include "devicelink/Serial.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <thread>
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

    // Everything the port sent, waiting up to `ms` for the first byte.
    std::string ReadMaster(std::size_t expected, int ms = 5000) {
        std::string bytes;
        while (bytes.size() < expected) {
            pollfd fd{master, POLLIN, 0};
            if (::poll(&fd, 1, ms) <= 0)
                break;
            char buffer[256];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(n));
        }
        return bytes;
    }
    void WriteMaster(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += static_cast<std::size_t>(n);
        }
    }

    LogCapture log;
    int master = -1;
    std::string path;
};

TEST_F(PtyTest, CommandAndReplyCrossTheLineUnchanged) {
    ASSERT_FALSE(path.empty());
    Serial serial;
    ASSERT_EQ(serial.Open(path, false, false, true, true, -1), 0);
    EXPECT_EQ(serial.BaudRate(), 115200);

    // Carriage returns and line feeds pass untranslated in both directions.
    ASSERT_EQ(serial.Write(std::string("0?R 3\r\n")), 0);
    EXPECT_EQ(ReadMaster(7), "0?R 3\r\n");

    WriteMaster("Hardware = 1250\r\nA\nBC\x17");
    std::string text;
    int count = 0;
    EXPECT_EQ(serial.ReadLine(text, 1024, count), 0);
    EXPECT_EQ(text, "Hardware = 1250");
    std::vector<std::string> lines;
    EXPECT_EQ(serial.ReadLines(lines, count), 0);
    EXPECT_EQ(lines, (std::vector<std::string>{"", "A", "BC"}));
    EXPECT_EQ(serial.Close(), 0);
}

TEST_F(PtyTest, SilenceTimesOutAndAHangUpFails) {
    ASSERT_FALSE(path.empty());
    Serial serial;
    ASSERT_EQ(serial.Open(path, false, false, true, true, -1), 0);
    serial.SetReadTimeoutMs(100);
    std::string text;
    int count = 0;
    EXPECT_EQ(serial.ReadLine(text, 1024, count), Serial::kTimedOut);
    EXPECT_EQ(log.Text(), "\nReadFile Timed Out Waiting for Response\n");

    ::close(master);
    master = -1;
    const int status = serial.ReadLine(text, 1024, count);
    EXPECT_TRUE(status == Serial::kReadFailure || status == Serial::kTimedOut) << status;
}

TEST_F(PtyTest, ClosedPortCanBeOpenedAgain) {
    ASSERT_FALSE(path.empty());
    Serial first;
    ASSERT_EQ(first.Open(path, false, false, true, true, -1), 0);
    EXPECT_EQ(first.Close(), 0);
    Serial second;
    EXPECT_EQ(second.Open(path, false, false, true, true, -1), 0);
    // Held by `second`: the port is opened exclusively.
    EXPECT_EQ(first.Open(path, true, false, false, false, 57600), 2);
}

} // namespace
