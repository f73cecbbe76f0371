// Line ends of every kind, and the one-file check that keeps a writer off its own input.
#include "common/TextLines.h"
#include "common/AtomicFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

TEST(TextLinesTest, CarriageReturnLineFeedAndBothTogetherEndALine) {
    using Lines = std::vector<std::string_view>;
    const std::pair<std::string_view, Lines> cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},   {"a\nb", {"a", "b"}}, {"a\rb\r", {"a", "b"}},
        {"a\r\r\nb", {"a", "", "b"}}, {"\n\n", {"", ""}},   {"", {}},
        {"a\n\rb", {"a", "", "b"}},   {"x,y\r", {"x,y"}},
    };
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(SplitTextLines(text), lines) << testing::PrintToString(std::string(text));
}

TEST(TextLinesTest, SameFileSeesThroughLinksAndPaths) {
    TempFolder folder("same");
    const fs::path raw = folder.Path() / "raw.csv";
    WriteFile(raw, "x");
    WriteFile(folder.Path() / "other.csv", "x");
    fs::create_directory(folder.Path() / "sub");
    fs::create_symlink(raw, folder.Path() / "link.csv");
    fs::create_hard_link(raw, folder.Path() / "hard.csv");
    EXPECT_TRUE(SameFile(raw, folder.Path() / "link.csv"));
    EXPECT_TRUE(SameFile(raw, folder.Path() / "hard.csv"));
    EXPECT_TRUE(SameFile(raw, folder.Path() / "sub" / ".." / "raw.csv"));
    EXPECT_FALSE(SameFile(raw, folder.Path() / "other.csv"));
    EXPECT_FALSE(SameFile(raw, folder.Path() / "absent.csv"));
}

} // namespace
