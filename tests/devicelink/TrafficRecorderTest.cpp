// The traffic record as the recording channel writes it under Serial: every byte both ways in
// exchanges, link events, sessions appended, and files it must not write through.
#include "devicelink/TrafficRecorder.h"
#include "common/TrafficRecord.h"
#include "devicelink/LogCapture.h"
#include "devicelink/ScriptedSerialChannel.h"
#include "devicelink/Serial.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <regex>
#include <sstream>
#include <thread>

#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// The record without its time stamps, which the tests cannot know.
std::string WithoutStamps(const std::string& text) {
    return std::regex_replace(text, std::regex("^[0-9]+\\.[0-9]{6} ", std::regex::multiline), "");
}

// A recorder started on a fresh file in a private folder, with a Serial recording through it.
class TrafficRecorderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(recorder.Start(path, error)) << error;
    }
    std::string Recorded() const { return WithoutStamps(ReadFile(path)); }

    LogCapture log;
    TempFolder dir;
    const std::string path = (dir.Path() / "trace.txt").string();
    TrafficRecorder recorder;
    std::unique_ptr<ScriptedSerialChannel> scripted = std::make_unique<ScriptedSerialChannel>();
    ScriptedSerialChannel& line = *scripted;
    Serial serial{std::make_unique<RecordingChannel>(std::move(scripted), recorder)};
    const std::string header = WithoutStamps(TrafficSessionHeader());
};

// Every byte both ways by exchange, sessions appended; what is dropped before a command is received
// bytes like any other, and finding nothing waiting is no time-out.
TEST_F(TrafficRecorderTest, RecordsEveryByteByExchangeAndAppendsSessions) {
    ASSERT_EQ(serial.Open("/dev/ttyACM0", false, false, true, true, -1), 0);
    line.Receive("OK\r");
    line.Receive("a\nbc\x17");
    ASSERT_EQ(serial.Write("0F A\\B\r"), 0);
    std::string reply;
    std::vector<std::string> lines;
    int count = 0;
    serial.ReadLine(reply, 1024, count);
    serial.ReadLines(lines, count);
    line.ReceiveWaiting("3\r");
    EXPECT_EQ(serial.DropWaiting(), "3\r");
    EXPECT_EQ(serial.DropWaiting(), "");
    line.Receive(std::string(70, 'x'));
    ASSERT_EQ(serial.Write("0?S\r"), 0);
    serial.ReadLines(lines, count);
    serial.Close();
    recorder.Stop();
    // A record left open to others is closed to them before the next session goes in.
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    std::string error;
    ASSERT_TRUE(recorder.Start(path, error)) << error;
    ASSERT_EQ(serial.Open("/dev/ttyACM0", false, false, true, true, -1), 0);
    recorder.Stop();

    EXPECT_EQ(Recorded(), header +
                              "! 0 open\n> 1 0F A\\\\B\\r\n< 1 OK\\r\n< 1 a\\n\n< 1 bc\\x17\n" +
                              "< 1 3\\r\n> 2 0?S\\r\n< 2 " + std::string(64, 'x') +
                              "\n< 2 xxxxxx\n! 2 timeout\n! 2 close\n" + header + "! 0 open\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(TrafficRecorder, NeverWritesThroughALinkOrIntoAnythingButAPlainFile) {
    TempFolder dir;
    const auto victim = dir.Path() / "victim";
    WriteFile(victim, "keep");
    std::filesystem::create_symlink(victim, dir.Path() / "link");
    ASSERT_EQ(::mkfifo((dir.Path() / "fifo").c_str(), 0600), 0);
    TrafficRecorder recorder;
    std::string error;
    for (const char* name : {"link", "fifo", "missing/trace.txt"}) {
        EXPECT_FALSE(recorder.Start((dir.Path() / name).string(), error)) << name;
        EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
        EXPECT_FALSE(recorder.IsRecording());
    }
    EXPECT_EQ(ReadFile(victim), "keep");
    // A device node opens for appending like a file; it is refused all the same.
    EXPECT_FALSE(recorder.Start("/dev/zero", error));
    EXPECT_EQ(error, "cannot write /dev/zero: not a plain file");
}

// Bytes from the worker and the GUI thread go in as whole lines of their own.
TEST_F(TrafficRecorderTest, RecordsFromTwoThreadsLineByLine) {
    constexpr int kLines = 200;
    std::thread other([&] {
        for (int i = 0; i < kLines; ++i)
            recorder.Received("OK\r", 3);
    });
    for (int i = 0; i < kLines; ++i)
        recorder.Sent("0?S\r", 4);
    other.join();
    recorder.Stop();
    std::istringstream text(Recorded());
    int sent = 0, received = 0;
    for (std::string row; std::getline(text, row);) {
        sent += std::regex_match(row, std::regex("> [0-9]+ 0\\?S\\\\r"));
        received += std::regex_match(row, std::regex("< [0-9]+ OK\\\\r"));
    }
    EXPECT_EQ(sent, kLines);
    EXPECT_EQ(received, kLines);
}

// Files beyond `bytes` cannot grow while one lives, as on a full disk: a write stops short,
// the next one fails.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : m_handler(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_handler)(int);
};

TEST_F(TrafficRecorderTest, AFullDiskEndsTheRecordWithAWholeLineAndIsSaidEvenWhileMuted) {
    {
        const FileSizeLimit full(std::filesystem::file_size(path) + 30);
        MessageLog::ScopedMute quiet; // as while a card file is written
        recorder.Event("open");
        recorder.Sent("0F SOME_LONG_FILE_NAME.INI\r", 27);
    }
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(Recorded(), header + "! 0 open\n");
    EXPECT_EQ(log.Text(),
              std::string("Serial traffic record stopped: ") + std::strerror(EFBIG) + "\n");
}

} // namespace
