// What the conversion takes as input: any line end, and only test data; never its own output.
#include "recordings/ConvertFile.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Conversion {
    Conversion() : spring(Spring::NoSpring), model(std::nullopt, Coefficients(), hardware) {}
    static ForceModel::Coefficients Coefficients() {
        std::array<double, 3 * kWellCount> c{};
        for (int k = 0; k < kWellCount; ++k)
            c[3 * k + 1] = 1.0;
        return c;
    }
    int Run(const fs::path& in, const fs::path& out) {
        return ConvertFile(model, in, out, false, true);
    }

    TempFolder temp{"convert-input"};
    HardwareDescription hardware;
    SpringModel spring;
    ForceModel model;
};

TEST(ConvertInputTest, EveryLineEndConvertsAlike) {
    Conversion c;
    const std::string lines[] = {"Time(mS),Set,Name,Cycle,ActualPressure,Disp1",
                                 "0,1,A,1,120000,50000", "10,1,A,1,130000,51000",
                                 "20,2,B,1,140000,52000"};
    std::string expected;
    for (const char* end : {"\n", "\r\n", "\r"}) {
        std::string raw;
        for (const std::string& line : lines)
            raw += line + end;
        const fs::path in = c.temp.Path() / "in_Raw.csv";
        const fs::path out = c.temp.Path() / "out.csv";
        WriteFile(in, raw);
        ASSERT_EQ(c.Run(in, out), ConvertSuccess);
        const std::string converted = ReadFile(out);
        if (expected.empty())
            expected = converted;
        EXPECT_EQ(converted, expected) << testing::PrintToString(std::string(end));
    }
    EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 4) << expected;
}

TEST(ConvertInputTest, NoTestDataAndItsOwnInputAreRefusedBeforeWriting) {
    Conversion c;
    const fs::path out = c.temp.Path() / "out.csv";
    for (const char* raw : {"", "\r\n", "Hello,World\n1,2\n", "##HARDWARE\nKelvastra TR\n"}) {
        const fs::path in = c.temp.Path() / "in_Raw.csv";
        WriteFile(in, raw);
        EXPECT_EQ(c.Run(in, out), ConvertNotTestData) << raw;
        EXPECT_FALSE(fs::exists(out));
    }

    const fs::path in = c.temp.Path() / "data_Raw.csv";
    const std::string data = "Time(mS),Set,Cycle\n0,1,1\n";
    WriteFile(in, data);
    fs::create_symlink(in, c.temp.Path() / "link.csv");
    for (const fs::path& same :
         {in, c.temp.Path() / "link.csv", c.temp.Path() / "." / "data_Raw.csv"}) {
        EXPECT_EQ(c.Run(in, same), ConvertOutputIsInput) << same;
        EXPECT_EQ(ReadFile(in), data);
    }
}

} // namespace
