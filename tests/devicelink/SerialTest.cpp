// Serial at the byte level, over the scripted channel.
#include "devicelink/Serial.h"
#include "devicelink/LogCapture.h"
#include "devicelink/ScriptedSerialChannel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

namespace {

class SerialTest : public ::testing::Test {
protected:
    SerialTest() {
        auto channel = std::make_unique<ScriptedSerialChannel>();
        line = channel.get();
        serial = std::make_unique<Serial>(std::move(channel));
    }
    int OpenDefault() { return serial->Open("/dev/ttyACM0", false, false, true, true, -1); }
    // The next reply, read whole.
    std::string NextLine() {
        std::string text;
        int count = 0;
        EXPECT_EQ(serial->ReadLine(text, 1024, count), 0);
        return text;
    }

    LogCapture log;
    ScriptedSerialChannel* line = nullptr;
    std::unique_ptr<Serial> serial;
};

class OpenSerialTest : public SerialTest {
protected:
    void SetUp() override { ASSERT_EQ(OpenDefault(), 0); }
};

// The program opens every port one way: 115200 baud, no DTR, the long read wait.
TEST_F(OpenSerialTest, TheProgramsSettingsAndOpeningAgainChangesNothing) {
    EXPECT_EQ(serial->Open("/dev/other", true, false, false, false, 9600), 0);
    EXPECT_EQ(line->OpenCount(), 1);
    EXPECT_EQ(line->PortName(), "/dev/ttyACM0");
    EXPECT_EQ(line->Settings().baudRate, 115200);
    EXPECT_FALSE(line->Settings().assertDtr);
    std::string text;
    int count = 0;
    EXPECT_EQ(serial->ReadLine(text, 10, count), Serial::kTimedOut);
    EXPECT_EQ(line->ReadTimeouts(), std::vector<int>{Serial::kLongTimeoutMs});
}

TEST_F(SerialTest, EachFailingOpenStepLogsItsTextAndReleasesThePortAndCloseIsQuiet) {
    const std::string denied =
        "Permission denied opening /dev/ttyACM0: your user is not allowed to use serial ports. "
        "Add it to the dialout group (sudo usermod -aG dialout $USER), then log out and in "
        "again.\n";
    const struct {
        OpenStep step; // the steps the platform's port can fail at
        int error;
        std::vector<std::string> messages;
    } cases[] = {
        {OpenStep::OpenPath, 2, {"CreateFile failed with error 2.\n"}},
        {OpenStep::WriteSettings, 2, {"SetCommState failed with error 2.\n"}},
        {OpenStep::OpenPath, EACCES, {"CreateFile failed with error 13.\n", denied}},
    };
    for (const auto& c : cases) {
        log.Clear();
        line->FailOpenAt(c.step, c.error);
        EXPECT_EQ(OpenDefault(), 2) << c.messages[0];
        EXPECT_FALSE(serial->IsOpen());
        EXPECT_FALSE(line->IsOpen()) << "port still held after " << c.messages[0];
        EXPECT_EQ(log.Messages(), c.messages);
        // The next attempt opens the port.
        EXPECT_EQ(OpenDefault(), 0);
        EXPECT_EQ(serial->Close(), 0);
        EXPECT_FALSE(line->IsOpen());
    }
    // Closing a closed port says so, and logs nothing.
    log.Clear();
    EXPECT_EQ(serial->Close(), Serial::kNotOpen);
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(OpenSerialTest, WriteSendsTheBytesAndReportsFailures) {
    EXPECT_EQ(serial->Write(std::string("0?S\r")), 0);
    EXPECT_EQ(line->Written(), "0?S\r");

    line->FailNextWrite(5);
    EXPECT_EQ(serial->Write(std::string("0?S\r")), Serial::kWriteFailure);
    EXPECT_EQ(log.Text(), "WriteFile failed with error 5.\n");

    serial->Close();
    EXPECT_EQ(serial->Write(std::string("x")), Serial::kWriteFailure);
}

TEST_F(OpenSerialTest, ReadLineEndsAtTheCarriageReturnWithinItsCapacity) {
    std::string text;
    int count = -1;
    // Read in turn: a line feed left from the previous reply leads the next one, and nothing
    // past the carriage return is consumed.
    const struct {
        std::string bytes;
        int status;
        std::string text;
        int count;
    } cases[] = {
        {"OK\r", 0, "OK", 2},
        {"\nA\r", 0, "\nA", 2},
        {"X\rY\r", 0, "X", 1},
        {"", 0, "Y", 1},
        {std::string(1024, 'x'), Serial::kOverflow, "", 1024},
        {std::string(1023, 'y') + "\r", 0, std::string(1023, 'y'), 1023},
    };
    for (const auto& c : cases) {
        line->Receive(c.bytes);
        EXPECT_EQ(serial->ReadLine(text, 1024, count), c.status) << c.text;
        if (c.status == 0) {
            EXPECT_EQ(text, c.text);
        }
        EXPECT_EQ(count, c.count) << c.text;
    }
    EXPECT_TRUE(log.Messages().empty());

    line->Receive("ab");
    line->ReceiveTimeout();
    EXPECT_EQ(serial->ReadLine(text, 1024, count), Serial::kTimedOut);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(log.Text(), "\nReadFile Timed Out Waiting for Response\n");

    log.Clear();
    line->ReceiveFailure();
    EXPECT_EQ(serial->ReadLine(text, 1024, count), Serial::kReadFailure);
    EXPECT_TRUE(log.Messages().empty()); // failed read calls are not logged
}

TEST_F(OpenSerialTest, ReadLinesSplitsAtLineFeedsAndEndsAtTheEndByte) {
    const struct {
        std::string bytes;
        std::vector<std::string> lines;
        int count;
    } cases[] = {
        {"A\nB\n\x17", {"A", "B"}, 2},
        {"A\nBC\x17", {"A", "BC"}, 3},
        {"A\nB\x17", {"A"}, 2}, // a final unterminated single character is dropped
        {"\n\n\x17", {"", ""}, 0},
        {"\x17", {}, 0},
        {"A\r\nB\r\n\x17", {"A\r", "B\r"}, 4}, // carriage returns stay with their line
    };
    for (const auto& c : cases) {
        line->Receive(c.bytes);
        std::vector<std::string> lines{"stale"};
        int count = -1;
        EXPECT_EQ(serial->ReadLines(lines, count), 0);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(count, c.count);
    }
}

TEST_F(OpenSerialTest, ReadLinesRefusesAnEightyCharacterLineAndStaysInStep) {
    line->Receive("first\n" + std::string(80, 'z') + "\nmore\n\x17");
    line->Receive("OK\r");
    std::vector<std::string> lines;
    int count = 0;
    EXPECT_EQ(serial->ReadLines(lines, count), Serial::kOverflow);
    EXPECT_EQ(lines, std::vector<std::string>{"first"});
    EXPECT_EQ(NextLine(), "OK"); // the rest of that transfer is not taken for it

    line->Receive(std::string(79, 'z') + "\n\x17");
    EXPECT_EQ(serial->ReadLines(lines, count), 0);
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(OpenSerialTest, ReadToStreamKeepsEveryByteBeforeTheEndByte) {
    // Pieces as they arrive, what the stream gets and the read calls (at most 128 bytes each).
    const struct {
        std::vector<std::string> pieces;
        std::string content;
        int reads;
    } cases[] = {
        {{"\x17"}, "", 1},
        {{"xyz", "\x17"}, "xyz", 2},
        {{std::string(300, 'q') + "\x17"}, std::string(300, 'q'), 3},
        // Last: the next reply arrives with the end byte.
        {{std::string(100, 'a'), "tail\x17OK\r"}, std::string(100, 'a') + "tail", 2},
    };
    for (const auto& c : cases) {
        for (const auto& piece : c.pieces)
            line->Receive(piece);
        const int readsBefore = line->ReadCalls();
        std::ostringstream out;
        long long count = -1;
        EXPECT_EQ(serial->ReadToStream(out, count), 0);
        EXPECT_EQ(out.str(), c.content);
        EXPECT_EQ(count, static_cast<long long>(c.content.size()));
        EXPECT_EQ(line->ReadCalls() - readsBefore, c.reads) << c.content.size();
    }
    EXPECT_EQ(NextLine(), "OK");
}

// Bytes behind an end byte and those already waiting are dropped; what is still to come is not
// waited for.
TEST_F(OpenSerialTest, DropWaitingTakesWhatHasArrivedWithoutWaiting) {
    line->Receive("ab\x17"
                  "5\r");
    line->ReceiveWaiting("OK\r");
    line->Receive("7\r");
    std::ostringstream out;
    long long count = 0;
    ASSERT_EQ(serial->ReadToStream(out, count), 0);
    const int reads = line->ReadCalls();
    EXPECT_EQ(serial->DropWaiting(), "5\rOK\r");
    EXPECT_EQ(serial->DropWaiting(), "");
    EXPECT_EQ(line->ReadCalls(), reads);
    EXPECT_EQ(NextLine(), "7");
    EXPECT_EQ(log.Text(), "");
}

// Thresholds follow the running total, whatever the piece boundaries.
TEST_F(OpenSerialTest, ReadToStreamNotifiesProgressEveryThousandBytes) {
    line->Receive(std::string(999, 'p'));
    line->Receive(std::string(1002, 'p'));
    line->Receive(std::string(10, 'p') + "\x17");
    std::ostringstream out;
    long long count = 0;
    std::vector<long long> steps;
    EXPECT_EQ(serial->ReadToStream(out, count, [&](long long bytes) { steps.push_back(bytes); }),
              0);
    EXPECT_EQ(count, 2011);
    EXPECT_EQ(steps, (std::vector<long long>{1127, 2001}));
}

// A transfer that stops keeps what came and says why.
TEST_F(OpenSerialTest, TransfersThatStopKeepWhatCame) {
    line->Receive("A\nB");
    std::vector<std::string> lines;
    int lineCount = 0;
    EXPECT_EQ(serial->ReadLines(lines, lineCount), Serial::kTimedOut);
    EXPECT_EQ(lines, std::vector<std::string>{"A"});

    line->Receive("partial");
    std::ostringstream out;
    long long count = 0;
    EXPECT_EQ(serial->ReadToStream(out, count), Serial::kTimedOut);
    EXPECT_EQ(count, 7);

    line->Receive("partial");
    line->ReceiveFailure();
    EXPECT_EQ(serial->ReadToStream(out, count), Serial::kReadFailure);
}

} // namespace
