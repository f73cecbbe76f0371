#include "common/MessageLog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct RecordingSink : IMessageSink {
    std::vector<std::string> seen;
    void AppendLogMessage(const std::string& text) override { seen.push_back(text); }
};

TEST(MessageLog, GoesToTheBoundSinkAndToStandardOutput) {
    auto& log = MessageLog::Instance();
    RecordingSink first, second;
    log.Bind(&first);

    testing::internal::CaptureStdout();
    log.WriteMessage("\nReadFile Timed Out Waiting for Response\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\nReadFile Timed Out Waiting for Response\n");
    EXPECT_EQ(first.seen, std::vector<std::string>{"\nReadFile Timed Out Waiting for Response\n"});

    // Another sink cannot unbind the first one; the first one can.
    log.Unbind(&second);
    EXPECT_TRUE(log.IsBound());
    log.Unbind(&first);
    EXPECT_FALSE(log.IsBound());
    testing::internal::CaptureStdout();
    log.WriteMessage("after\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "after\n");
    EXPECT_EQ(first.seen.size(), 1u);
}

TEST(MessageLog, AMutedThreadWritesNothingUntilTheMuteEnds) {
    auto& log = MessageLog::Instance();
    RecordingSink sink;
    log.Bind(&sink);
    testing::internal::CaptureStdout();
    {
        MessageLog::ScopedMute mute;
        log.WriteMessage("quiet\n");
        log.WriteNotice("notice\n"); // news that must not be lost
    }
    log.WriteMessage("loud\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "notice\nloud\n");
    EXPECT_EQ(sink.seen.size(), 2u);
    log.Unbind(&sink);
}

} // namespace
