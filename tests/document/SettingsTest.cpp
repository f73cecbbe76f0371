// The folder helper. The template folder's default and remembering it are File Open and Save's
// (ProtocolFileTest).
#include "document/Settings.h"

#include <gtest/gtest.h>

TEST(Folders, FolderOfKeepsTheSeparator) {
    EXPECT_EQ(Folders::FolderOf("/p/x.tmt"), "/p/");
    EXPECT_EQ(Folders::FolderOf("D:\\P\\x.tmt"), "D:\\P\\");
    EXPECT_EQ(Folders::FolderOf("x.tmt"), "");
}
