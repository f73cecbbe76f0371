// What the conversion takes as input: any line end, and only test data.
#include "recordings/ConvertFile.h"
#include "recordings/ForceModel.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(ConvertInputTest, AnyLineEndButOnlyTestData) {
    TempFolder temp("convert-input");
    const HardwareDescription hardware;
    ForceModel model(std::nullopt, std::nullopt, hardware);
    const fs::path in = temp.Path() / "in_Raw.csv", out = temp.Path() / "out.csv";
    for (const std::string end : {"\n", "\r\n", "\r"}) {
        WriteFile(in, "Time(mS),Set,Cycle" + end + "0,1,1" + end + "10,2,1" + end);
        ASSERT_EQ(ConvertFile(model, in, out, false, true), ConvertSuccess);
        EXPECT_EQ(ReadFile(out), "Time (mS),Set,Cycle\r\n0,1,1\r\n10,2,1\r\n");
        fs::remove(out);
    }
    for (const char* raw : {"", "\r\n", "Hello,World\n1,2\n"}) {
        WriteFile(in, raw);
        EXPECT_EQ(ConvertFile(model, in, out, false, true), ConvertNotTestData) << raw;
        EXPECT_FALSE(fs::exists(out));
    }
}
