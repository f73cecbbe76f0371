// kelvastra-cli protocol show|normalize, run as the built program.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kCli = KELVASTRA_BINARY_DIR "/src/kelvastra-cli";
const std::string kSample = KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt";

const std::string kHeader = "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\t"
                            "RecoveryDurationSec\tHoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t"
                            "DataType\tAutoAdjust\t\n";
const std::string kBlock = "##HARDWARE\nKelvastra TR\nFirmwareVersion 2150\nWellDepth_mm 20\n"
                           "MagnetStyle A25_10\nMembraneStyle Hydrostatic\nRegulatorType QB3_20\n"
                           "SpringType NoSpring\n";

class ProtocolCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fs::exists(kCli)) << kCli << " has not been built"; }

    fs::path Write(const std::string& name, const std::string& text) {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    CliRun Cli(const std::vector<std::string>& args, const std::string& input = "") {
        std::string arguments;
        for (const std::string& arg : args)
            arguments += " " + ShellQuote(arg);
        return RunCli(m_dir, arguments, input);
    }

    TempFolder m_folder{"cli"};
    const fs::path& m_dir = m_folder.Path();
};

TEST_F(ProtocolCli, ShowsTwoDefaultSets) {
    const fs::path file = Write(
        "two.tmt", kHeader + "Data1\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n" +
                       "Pre[_]load\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n");
    const CliRun run = Cli({"protocol", "show", file.string()});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, "Data1\tRamp 10.0 (N)\t0.0 (N)\tfalse\t10.0 (S)\t0.0 (S)\t10.0 (S)\t"
                          "0.0 (S)\t1\tAll(64) \n"
                          "Pre load\tRamp 10.0 (N)\t0.0 (N)\tfalse\t10.0 (S)\t0.0 (S)\t10.0 (S)\t"
                          "0.0 (S)\t1\tAll(64) \n"
                          "Total Time\t00:00:40\nUsed Memory (%)\t20.0\nOK\n");
    EXPECT_EQ(run.errors, "");

    const CliRun hydro = Cli({"protocol", "show", "--hydrostatic", file.string()});
    EXPECT_EQ(hydro.output.substr(0, hydro.output.find('\n')),
              "Data1\tRamp 10.000\t0.000\tfalse\t10.0 (S)\t0.0 (S)\t10.0 (S)\t0.0 (S)\t1\t"
              "All(64) ");
}

TEST_F(ProtocolCli, SampleIsCanonicalAndPasses) {
    const std::string sample = ReadFile(kSample);
    ASSERT_FALSE(sample.empty());
    const CliRun normalized = Cli({"protocol", "normalize", kSample});
    EXPECT_EQ(normalized.status, 0) << normalized.errors;
    EXPECT_EQ(normalized.output, sample);

    const CliRun shown = Cli({"protocol", "show", kSample});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.output.find("Used Memory (%)\t30.0\nOK\n"), std::string::npos) << shown.output;
}

TEST_F(ProtocolCli, NormalizeWritesStandardColumns) {
    const fs::path in = Write("odd.tmt", "name XMAGNITUDE comment DataType numreps DataFreqHz\r\n"
                                         "My[_]set[_]1 0.123456789 skip Max 3 25\r\n");
    const fs::path out = m_dir / "out.tmt";
    const CliRun run = Cli({"protocol", "normalize", in.string(), out.string()});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    // Columns the input lacked take a new set's defaults.
    EXPECT_EQ(ReadFile(out), kHeader + "My[_]set[_]1\tRamp\t%\t0.123457\t0\t10\t10\t0\t0\t3\t"
                                       "Seconds\tAll\t0\t\n");

    const CliRun piped = Cli({"protocol", "normalize", "-", "-"}, ReadFile(in));
    EXPECT_EQ(piped.output, ReadFile(out));
}

TEST_F(ProtocolCli, HardwareBlockIsKeptAndDecidesTheForms) {
    const std::string table = kHeader + "Data1\tRamp\tN\t0.1\t0.05\t10\t10\t0\t0\t1\tSeconds\t"
                                        "All(64) \t0\t\n";
    const fs::path in = Write("template.ini", kBlock + table);
    const CliRun normalized = Cli({"protocol", "normalize", in.string()});
    EXPECT_EQ(normalized.status, 0) << normalized.errors;
    EXPECT_EQ(normalized.output, kBlock + table);

    const CliRun shown = Cli({"protocol", "show", in.string()});
    EXPECT_EQ(shown.output.substr(0, shown.output.find('\n')),
              "Data1\tRamp 0.100\t0.050\tfalse\t10.0 (S)\t0.0 (S)\t10.0 (S)\t0.0 (S)\t1\tAll(64) ");
}

TEST_F(ProtocolCli, ShowsTotalsInEveryTimeUnit) {
    struct Case {
        std::string row;
        std::string total;
    };
    const std::vector<Case> cases{
        // 3725 s: one set of 3725 repetitions of a 1 s cycle.
        {"a\tRamp\tN\t1\t0\t0.5\t0.5\t0\t0\t3725\tSeconds\tAll\t0\t\n", "01:02:05"},
        // 100 hours.
        {"a\tRamp\tN\t1\t0\t50\t50\t0\t0\t1\tHours\tAll\t0\t\n", "100:00:00"},
        {"a\tRamp\tN\t1\t0\t500\t500\t0\t0\t3\tmSeconds\tAll\t0\t\n", "00:00:03"},
    };
    for (const Case& c : cases) {
        const CliRun run = Cli({"protocol", "show", Write("t.tmt", kHeader + c.row).string()});
        EXPECT_NE(run.output.find("Total Time\t" + c.total + "\n"), std::string::npos)
            << c.row << run.output;
    }
    // The preload type is not a standard column; a file that has it is timed with it.
    const CliRun preload =
        Cli({"protocol", "show",
             Write("p.tmt", "NumReps XPreloadType TimeUnits\n2 First Minutes\n").string()});
    // 60 x (2 x 20 + 2.0)
    EXPECT_NE(preload.output.find("Total Time\t00:42:00\n"), std::string::npos) << preload.output;
}

TEST_F(ProtocolCli, FailingChecksExitWithOneAndTheMessage) {
    std::string eleven = kHeader;
    for (int i = 0; i < 11; ++i) {
        eleven += "s\tRamp\tN\t1\t0\t10\t10\t0\t0\t1\tSeconds\tAll\t0\t\n";
    }
    const std::string up = "u\tRamp\tmm\t0.6\t0\t10\t0\t0\t0\t1000\tSeconds\tAll\t0\t\n";
    const std::string down = "d\tRamp\tmm\t1\t0\t0\t10\t0\t0\t1\tSeconds\tAll\t0\t\n";
    struct Case {
        std::string text;
        std::string tail;
    };
    const std::vector<Case> cases{
        {eleven, "Used Memory (%)\t110.0\n"
                 "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n"},
        {kHeader + up + up, "Error:  Maximum Stretch Position\n"
                            "Across All Sets Must Be Less Than 1000.0mm\n"},
        {kHeader + down + up, "Error:  Minimum Stretch Position\n"
                              "Across All Sets Must Be Greater Than 0.0 mm\n"},
        {kHeader, "Total Time\t00:00:00\nUsed Memory (%)\t0.0\n"
                  "Please Specify a Test Sequence Before Executing\n"},
        {kHeader + "z\tRamp\tN\t1\t0\t10\t10\t0\t0\t0\tSeconds\tAll\t0\t\n",
         "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length\n"},
    };
    for (const Case& c : cases) {
        const CliRun run = Cli({"protocol", "show", Write("f.tmt", c.text).string()});
        EXPECT_EQ(run.status, 1) << c.tail;
        ASSERT_GE(run.output.size(), c.tail.size());
        EXPECT_EQ(run.output.substr(run.output.size() - c.tail.size()), c.tail);
    }
    // One "mm" set up by exactly the limit passes.
    const std::string exact = "u\tRamp\tmm\t1\t0\t10\t0\t0\t0\t1000\tSeconds\tAll\t0\t\n";
    EXPECT_EQ(Cli({"protocol", "show", Write("e.tmt", kHeader + exact).string()}).status, 0);
}

TEST_F(ProtocolCli, UnreadableAndShortFiles) {
    const CliRun missing = Cli({"protocol", "show", (m_dir / "none.tmt").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.output, "");
    EXPECT_NE(missing.errors.find("none.tmt"), std::string::npos);
    EXPECT_EQ(Cli({"protocol", "normalize", (m_dir / "none.tmt").string()}).status, 2);
    EXPECT_EQ(Cli({"protocol", "show", m_dir.string()}).status, 2);

    const fs::path shortFile =
        Write("short.tmt", kHeader + "a\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll\t0\t\n" +
                               "b\tRamp\tN\t10\n");
    const CliRun shown = Cli({"protocol", "show", shortFile.string()});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.errors.find("ends inside a set"), std::string::npos);
    EXPECT_EQ(shown.output.find("b\t"), std::string::npos);

    const CliRun normalized = Cli({"protocol", "normalize", shortFile.string()});
    EXPECT_EQ(normalized.status, 1);
    EXPECT_EQ(normalized.output,
              kHeader + "a\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll\t0\t\n");

    EXPECT_EQ(
        Cli({"protocol", "normalize", shortFile.string(), (m_dir / "no/such/dir").string()}).status,
        1);
    EXPECT_EQ(Cli({"protocol"}).status, 2);
}

} // namespace
