// kelvastra-cli protocol show|normalize, run as the built program.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kHeader = "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\t"
                            "RecoveryDurationSec\tHoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t"
                            "DataType\tAutoAdjust\t\n";
const std::string kBlock = "##HARDWARE\nKelvastra TR\nFirmwareVersion 2150\nWellDepth_mm 20\n"
                           "MagnetStyle A25_10\nMembraneStyle Hydrostatic\nRegulatorType QB3_20\n"
                           "SpringType NoSpring\n";

class ProtocolCli : public ::testing::Test {
protected:
    fs::path Write(const std::string& name, const std::string& text) {
        WriteFile(m_dir / name, text);
        return m_dir / name;
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

// The cells are SequenceListRow's (tests/protocol): here one line per set, then the figures.
TEST_F(ProtocolCli, ShowsARowPerSetThenTheFiguresThenAFailedCheck) {
    const std::string set = "Data1\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n";
    const fs::path file = Write("two.tmt", kHeader + set + set);
    const CliRun run = Cli({"protocol", "show", file.string()});
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::string row = "Data1\tRamp 10.0 (N)\t0.0 (N)\tfalse\t10.0 (S)\t0.0 (S)\t10.0 (S)\t"
                            "0.0 (S)\t1\tAll(64) \n";
    EXPECT_EQ(run.output, row + row + "Total Time\t00:00:40\nUsed Memory (%)\t20.0\nOK\n");
    EXPECT_EQ(run.errors, "");
    const CliRun hydro = Cli({"protocol", "show", "--hydrostatic", file.string()});
    EXPECT_EQ(hydro.output.rfind("Data1\tRamp 10.000\t0.000\t", 0), 0u) << hydro.output;

    // A failing check (its rules and texts are the protocol layer's): the figures, then the
    // message, and status 1.
    std::string eleven = kHeader;
    for (int i = 0; i < 11; ++i)
        eleven += "s\tRamp\tN\t1\t0\t10\t10\t0\t0\t1\tSeconds\tAll\t0\t\n";
    const CliRun failed = Cli({"protocol", "show", Write("f.tmt", eleven).string()});
    EXPECT_EQ(failed.status, 1);
    const std::string tail =
        "Used Memory (%)\t110.0\n"
        "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n";
    EXPECT_TRUE(failed.output.ends_with(tail)) << failed.output;
}

TEST_F(ProtocolCli, NormalizeWritesStandardColumns) {
    const fs::path in = Write("odd.tmt", "name XMAGNITUDE comment DataType numreps DataFreqHz\r\n"
                                         "My[_]set[_]1 0.123456789 skip Max 3 25\r\n");
    const fs::path out = m_dir / "out.tmt";
    const CliRun run = Cli({"protocol", "normalize", in.string(), out.string()});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, "");
    // The columns' values and defaults are the protocol layer's (ProtocolTableTest).
    EXPECT_EQ(ReadFile(out).rfind(kHeader + "My[_]set[_]1\tRamp\t", 0), 0u) << ReadFile(out);
    EXPECT_EQ(Cli({"protocol", "normalize", "-", "-"}, ReadFile(in)).output, ReadFile(out));

    // A hardware block in front of the table is kept.
    const std::string table = kHeader + "Data1\tRamp\tN\t0.1\t0.05\t10\t10\t0\t0\t1\tSeconds\t"
                                        "All(64) \t0\t\n";
    EXPECT_EQ(Cli({"protocol", "normalize", Write("template.ini", kBlock + table).string()}).output,
              kBlock + table);
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

    EXPECT_EQ(Cli({"protocol", "normalize", shortFile.string()}).status, 1);
    EXPECT_EQ(
        Cli({"protocol", "normalize", shortFile.string(), (m_dir / "no/such/dir").string()}).status,
        1);
    EXPECT_EQ(Cli({"protocol"}).status, 2);
}

} // namespace

// The printouts' contents are the reports layer's; here: a terminal without a display serves,
// the report goes to its default place and failures say why with status 1.
TEST_F(ProtocolCli, PrintoutsWithoutADisplay) {
    const std::string noDisplay = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY";
    const fs::path protocol = Write("p.tmt", kBlock + kHeader +
                                                 "Data1\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\t"
                                                 "All(64) \t0\t\n");
    const fs::path pdf = m_dir / "p.pdf";
    CliRun run = RunCli(
        m_dir, "protocol pdf " + ShellQuote(protocol.string()) + " " + ShellQuote(pdf.string()), "",
        noDisplay);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(ReadFile(pdf).rfind("%PDF-", 0), 0u);

    const fs::path result = m_dir / "Test_0001";
    fs::create_directories(result);
    Write("Test_0001/Test_0001.csv", "Time (mS),Set\r\n");
    run = RunCli(m_dir, "report " + ShellQuote(result.string()), "", noDisplay);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, (result / "Test_0001_Report.pdf").string() + "\n");
    EXPECT_TRUE(fs::is_regular_file(result / "Test_0001_Report.pdf"));

    run = Cli({"report", (m_dir / "missing").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "Error:  " + (m_dir / "missing").string() + " is not a result folder.\n");
}
