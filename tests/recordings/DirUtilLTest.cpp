#include "recordings/DirUtilL.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

TEST(DirUtilL, CreatesEveryMissingParent) {
    TempFolder temp("dirutil");
    const fs::path deep = temp.Path() / "Data" / "MyTest_0001" / "TestLogs";
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(deep), 1);
    EXPECT_TRUE(fs::is_directory(deep));
    // Existing folders are fine, with or without a trailing separator.
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(deep), 1);
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(deep.string() + "/"), 1);
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(temp.Path() / "a" / "." / "b"), 1);
    EXPECT_TRUE(fs::is_directory(temp.Path() / "a" / "b"));
}

TEST(DirUtilL, FailsForEmptyPathAndFilesInTheWay) {
    TempFolder temp("dirutil");
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(""), -1);

    const fs::path file = temp.Path() / "plain.txt";
    std::ofstream(file) << "x";
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(file), -1);
    EXPECT_EQ(DirUtilL::CreateDirectoryPath(file / "below"), -1);
    EXPECT_FALSE(fs::exists(file / "below"));
}
