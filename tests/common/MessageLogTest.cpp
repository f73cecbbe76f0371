#include "common/MessageLog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(MessageLog, GoesToTheBoundCallbackAndToStandardOutput)
{
    auto& log = MessageLog::Instance();
    auto* doc = reinterpret_cast<CKelvastraDoc*>(0x1234);
    std::vector<std::string> seen;
    CKelvastraDoc* seenDoc = nullptr;
    log.Bind([&](const std::string& text, CKelvastraDoc* d) { seen.push_back(text); seenDoc = d; },
             doc);

    testing::internal::CaptureStdout();
    log.WriteMessage("\nReadFile Timed Out Waiting for Response\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nReadFile Timed Out Waiting for Response\n");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "\nReadFile Timed Out Waiting for Response\n");
    EXPECT_EQ(seenDoc, doc);

    // Another document cannot unbind the first one's callback; the first one can.
    log.Unbind(reinterpret_cast<CKelvastraDoc*>(0x5678));
    EXPECT_TRUE(log.IsBound());
    log.Unbind(doc);
    EXPECT_FALSE(log.IsBound());
    testing::internal::CaptureStdout();
    log.WriteMessage("after\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "after\n");
    EXPECT_EQ(seen.size(), 1u);
}

TEST(MessageLog, AMutedThreadWritesNothingUntilTheMuteEnds)
{
    auto& log = MessageLog::Instance();
    int calls = 0;
    log.Bind([&](const std::string&, CKelvastraDoc*) { ++calls; }, nullptr);
    testing::internal::CaptureStdout();
    {
        MessageLog::ScopedMute mute;
        log.WriteMessage("quiet\n");
        log.WriteNotice("notice\n"); // news that must not be lost
    }
    log.WriteMessage("loud\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "notice\nloud\n");
    EXPECT_EQ(calls, 2);
    log.Bind(nullptr, nullptr);
}

}  // namespace
