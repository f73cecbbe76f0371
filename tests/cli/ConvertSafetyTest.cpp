// kelvastra-cli convert refuses, before writing anything, outputs that would replace an input and
// inputs that are not what they claim; protocol normalize replaces a link at its output instead
// of writing through it.
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string kTemplate = KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt";
const std::string kRaw = "Time(mS),Set,Name,Cycle,ActualPressure,Disp1\n0,1,A,1,120000,50000\n";

TEST(ConvertSafetyTest, RefusalsWriteNothingAndExitOne) {
    TempFolder temp("convert-safety");
    const fs::path dir = temp.Path();
    auto path = [&](const std::string& name) { return (dir / name).string(); };
    WriteFile(dir / "raw.csv", kRaw);
    WriteFile(dir / "tmt", ReadFile(kTemplate));
    fs::create_symlink(dir / "raw.csv", dir / "link.csv");
    fs::create_directory(dir / "sub");
    WriteFile(dir / "empty", "");
    WriteFile(dir / "words.csv", "Hello,World\n1,2\n");
    std::string offsets, coefficients;
    for (int i = 0; i < 9; ++i)
        offsets += i == 4 ? "1e10\n" : "0\n";
    for (int i = 0; i < 27; ++i)
        coefficients += i == 26 ? "1e80\n" : "1\n";
    WriteFile(dir / "POSCAL.INI", offsets);
    WriteFile(dir / "MAGCAL.INI", coefficients);

    struct Case {
        std::string raw, templateFile, out, full, extra, message;
    };
    const Case cases[] = {
        {"raw.csv", "tmt", "raw.csv", "f.csv", "", "raw.csv is the raw data file"},
        {"raw.csv", "tmt", "s.csv", "link.csv", "", "link.csv is the raw data file"},
        {"raw.csv", "tmt", "sub/../raw.csv", "f.csv", "", "is the raw data file"},
        {"raw.csv", "tmt", "s.csv", "tmt", "", "tmt is the template file"},
        {"raw.csv", "tmt", "x.csv", "./x.csv", "", "--out and --full name the same file"},
        {"raw.csv", "sub", "s.csv", "f.csv", "", "Cannot Open Template File"},
        {"raw.csv", "empty", "s.csv", "f.csv", "", "is empty: it holds no protocol copy"},
        {"empty", "tmt", "s.csv", "f.csv", "", "holds no test data: the file is empty"},
        {"words.csv", "tmt", "s.csv", "f.csv", "", "names no column of test data"},
        {"raw.csv", "tmt", "s.csv", "f.csv", "--offsets POSCAL.INI",
         "Line 5 of the position offsets file POSCAL.INI (1e10) is beyond what the controller "
         "can hold"},
        {"raw.csv", "tmt", "s.csv", "f.csv", "--coefficients MAGCAL.INI",
         "Line 27 of the displacement coefficients file MAGCAL.INI (1e80) is beyond"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const CliRun run =
            RunCli(dir,
                   "convert " + ShellQuote(path(c.raw)) + " --template " +
                       ShellQuote(path(c.templateFile)) + " --out " + ShellQuote(path(c.out)) +
                       " --full " + ShellQuote(path(c.full)) + " " + c.extra,
                   "", "cd " + ShellQuote(dir.string()) + " &&");
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        EXPECT_EQ(ReadFile(dir / "raw.csv"), kRaw);
        EXPECT_EQ(ReadFile(dir / "tmt"), ReadFile(kTemplate));
        for (const char* output : {"s.csv", "f.csv", "x.csv"})
            EXPECT_FALSE(fs::exists(dir / output)) << output;
    }
}

TEST(ConvertSafetyTest, NormalizeReplacesALinkAtItsOutput) {
    TempFolder temp("normalize-link");
    const fs::path dir = temp.Path();
    WriteFile(dir / "victim.txt", "keep me");
    fs::create_symlink(dir / "victim.txt", dir / "out.tmt");
    const CliRun run = RunCli(dir, "protocol normalize " + ShellQuote(kTemplate) + " " +
                                       ShellQuote((dir / "out.tmt").string()));
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(ReadFile(dir / "victim.txt"), "keep me");
    EXPECT_FALSE(fs::is_symlink(dir / "out.tmt"));
    EXPECT_NE(ReadFile(dir / "out.tmt").find("Name\tXFunction"), std::string::npos);
}

} // namespace
