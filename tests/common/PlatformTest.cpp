// What the file system does differently on Windows: names outside ASCII, a rename over a file
// that exists, a log appended to across openings.
#include "common/AtomicFile.h"
#include "common/RegularFile.h"
#include "common/platform/Files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

TEST(Platform, NamesOutsideAsciiKeepEveryCharacter) {
    TempFolder dir;
    const std::string name = "Pr\xC3\xBC"
                             "fung \xC2\xB5m \xE8\xA9\xA6\xE9\xA8\x93.csv";
    const fs::path target = dir.Path() / platform::PathFromUtf8(name);
    ASSERT_TRUE(WriteFileAtomically(target, "first\r\n"));
    ASSERT_TRUE(WriteFileAtomically(target, "second\r\n")); // over the file that exists

    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        EXPECT_EQ(platform::Utf8FromPath(entry.path().filename()), name);
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    std::string error;
    EXPECT_EQ(ReadRegularFile(target, 100, error).value_or(error), "second\r\n");
    const UniqueFile file(platform::OpenFileUtf8(platform::Utf8FromPath(target), "rb"));
    ASSERT_TRUE(file);
    char bytes[8] = {};
    EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, file.get()), 8u);
    EXPECT_EQ(std::string(bytes, 8), "second\r\n");
}

TEST(Platform, AppendFileAddsToWhatIsThereAndTakesOnlyPlainFiles) {
    TempFolder dir;
    const fs::path log = dir.Path() / "traffic.log";
    std::string error;
    {
        platform::AppendFile file;
        ASSERT_TRUE(file.Open(log, error)) << error;
        ASSERT_TRUE(file.Append("one\r\n", error)) << error;
    }
    platform::AppendFile file;
    ASSERT_TRUE(file.Open(log, error)) << error;
    ASSERT_TRUE(file.Append("two\r\n", error)) << error;
    file.Close();
    EXPECT_EQ(ReadFile(log), "one\r\ntwo\r\n");

    EXPECT_FALSE(file.Open(dir.Path(), error));
    EXPECT_FALSE(file.IsOpen());
}
