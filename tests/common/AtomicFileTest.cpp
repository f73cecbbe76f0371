#include "common/AtomicFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

size_t EntriesIn(const fs::path& folder) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

} // namespace

TEST(AtomicFile, LeavesTheTargetAloneUntilCommitted) {
    TempFolder dir;
    const fs::path target = dir.Path() / "out.csv";
    WriteFile(target, "old");
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.Open());
        ASSERT_TRUE(file.Write("new "));
        EXPECT_EQ(ReadFile(target), "old"); // nothing shows before the rename
        EXPECT_EQ(file.TemporaryPath().parent_path(), dir.Path());
    } // dropped without Commit
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(AtomicFile, NeverWritesThroughALink) {
    SKIP_ON_WINDOWS("making a symbolic link takes a privilege on Windows");
    TempFolder dir;
    const fs::path victim = dir.Path() / "victim.txt";
    WriteFile(victim, "keep");
    const fs::path target = dir.Path() / "LOCAL.CSV";
    fs::create_symlink(victim, target);

    ASSERT_TRUE(WriteFileAtomically(target, "data"));
    EXPECT_EQ(ReadFile(victim), "keep");
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(ReadFile(target), "data");
}

TEST(AtomicFile, ReportsAFolderItCannotUseAndLeavesNothingNorRenamesOverAPipe) {
    TempFolder dir;
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir.Path() / "missing" / "x.csv", "data", &error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;

    // A folder in the way of the rename: the write fails and the temporary file is removed.
    fs::create_directory(dir.Path() / "taken");
    fs::create_directory(dir.Path() / "taken" / "inner");
    EXPECT_FALSE(WriteFileAtomically(dir.Path() / "taken", "data", &error));
    EXPECT_EQ(error, "Not a plain file: " + (dir.Path() / "taken").string());
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);

    // Nor is a pipe renamed over: /dev/null would become a plain file for every program.
    SKIP_ON_WINDOWS("no FIFOs on Windows");
    const fs::path pipe = dir.Path() / "out.csv";
    ASSERT_TRUE(MakeFifo(pipe));
    EXPECT_FALSE(WriteFileAtomically(pipe, "data", &error));
    EXPECT_TRUE(fs::is_fifo(pipe));
    EXPECT_EQ(EntriesIn(dir.Path()), 2u);
}
