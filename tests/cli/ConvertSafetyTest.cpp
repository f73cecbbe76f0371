// convert refuses, before writing anything, outputs that name an input and inputs that are not
// what they claim; protocol normalize replaces a link at its output, not what it points to.
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const std::string kTemplate = KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt";

TEST(ConvertSafetyTest, RefusalsWriteNothingAndNormalizeWritesNoLinkTarget) {
    TempFolder temp("convert-safety");
    const fs::path dir = temp.Path();
    const std::string raw = "Time(mS),Set,Cycle\n0,1,1\n";
    WriteFile(dir / "raw.csv", raw);
    WriteFile(dir / "tmt", ReadFile(kTemplate));
    WriteFile(dir / "empty", "");
    fs::create_symlink(dir / "raw.csv", dir / "link.csv");
    fs::create_directory(dir / "sub");
    WriteFile(dir / "POSCAL.INI", "0\n0\n0\n0\n1e10\n0\n0\n0\n0\n");
    WriteFile(dir / "MAGCAL.INI", "-1e80" + std::string(27, '\n'));
    const std::pair<std::string, std::string> cases[] = {
        {"tmt --out s.csv --full link.csv", "link.csv is the raw data file"},
        {"tmt --out sub/../raw.csv --full f.csv", "raw.csv is the raw data file"},
        {"tmt --out x.csv --full ./x.csv", "--out and --full name the same file"},
        {"tmt --out s.csv --full f.csv --summary ./raw.csv", "raw.csv is the raw data file"},
        {"tmt --out x.csv --full f.csv --summary sub/../x.csv", "--summary names the converted"},
        {"sub --out s.csv --full f.csv", "Cannot Open Template File"},
        {"empty --out s.csv --full f.csv", "is empty: it holds no protocol copy"},
        {"tmt --out s.csv --full f.csv --offsets POSCAL.INI",
         "Line 5 of the position offsets file POSCAL.INI (1e10) is beyond what the controller"},
        {"tmt --out s.csv --full f.csv --coefficients MAGCAL.INI", "Line 1 of the displacement"},
    };
    for (const auto& [options, message] : cases) {
        const CliRun run = RunCli(dir, "convert raw.csv --template " + options, "",
                                  "cd " + ShellQuote(dir.string()) + " &&");
        EXPECT_EQ(run.status, 1) << options;
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
        EXPECT_EQ(ReadFile(dir / "raw.csv"), raw);
        for (const char* output : {"s.csv", "f.csv", "x.csv"})
            EXPECT_FALSE(fs::exists(dir / output)) << options;
    }

    // normalize: a link at the output is replaced, what it points to is left alone
    fs::create_symlink(dir / "empty", dir / "out.tmt");
    EXPECT_EQ(RunCli(dir, "protocol normalize " + ShellQuote(kTemplate) + " " +
                              ShellQuote((dir / "out.tmt").string()))
                  .status,
              0);
    EXPECT_EQ(ReadFile(dir / "empty"), "");
    EXPECT_NE(ReadFile(dir / "out.tmt").find("Name\tXFunction"), std::string::npos);
}

} // namespace
