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
    // Binary garbage is no test data either, whatever its first line says.
    std::string garbage;
    for (int i = 0; i < 4000; ++i)
        garbage += static_cast<char>((i * 131 + i / 7) % 256);
    const std::string header = "Time(mS),Set,Cycle\n";
    using namespace std::string_literals;
    for (const std::string& raw :
         std::vector<std::string>{"", "\r\n", "Hello,World\n1,2\n", header + garbage,
                                  header + "0,1,1\n" + garbage, "Time(mS),Set\x01,Cycle\n0,1,1\n",
                                  header + "0,1,1\n10,\x7f,1\n", header + "0,1\0,1\n"s}) {
        WriteFile(in, raw);
        EXPECT_EQ(ConvertFile(model, in, out, false, true), ConvertNotTestData) << raw;
        EXPECT_FALSE(fs::exists(out));
    }
    // A card file cut off by a power loss ends in zero bytes; what was written is converted.
    WriteFile(in, header + "0,1,1\n10,2,1\n20,2" + std::string(600, '\0') + "\n" +
                      std::string(512, '\0'));
    ASSERT_EQ(ConvertFile(model, in, out, false, true), ConvertSuccess);
    EXPECT_EQ(ReadFile(out), "Time (mS),Set,Cycle\r\n0,1,1\r\n10,2,1\r\n20,2,0\r\n");
}
