// Each command-line device operation under each fault of kelvastra-sim, struck at its first
// command: a clear failure or the correct result, never a file that looks complete but is not.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

const char* const kFaults[][2] = {{"None", ""},
                                  {"Unplug", "unplug"},
                                  {"LinkDroppedMidTransfer", "drop 200"},
                                  {"Error97BeyondTheRetries", "error97 3"},
                                  {"Silence", "silence"},
                                  {"Garbage", "garbage 700"},
                                  {"LowerCaseError", "inject 1 error 5"},
                                  {"EndByteApart", "end-byte apart 40"},
                                  {"Latency", "latency 1"},
                                  {"ShortTransfer", "short DATA0001.CSV 100"},
                                  {"StuckInWriteMode", "stuck write OLD.TXT"},
                                  {"StrayLine", "stray"},
                                  {"StrayLineBehindTheReply", "stray after"},
                                  {"DeleteRefused", "protect *"}};

// Paths are relative to the simulator's folder. After a success `made` exists and equals
// `reference` (when given), `gone` does not exist, standard output `shows`; after a failure a
// local `made` is absent or equal to `reference`, and a card file `made` holds its old content
// or the reference unless the errors name it as missing or incomplete.
struct Operation {
    const char *name, *trigger, *arguments, *made, *reference, *gone, *shows;
};
const Operation kOperations[] = {
    {"Connect", "", "info", "", "", "",
     "offsets (um): 12 -8 5 0 -15 7 3 -4 10\ndisplacement coefficients:\n"},
    {"Program", "0?S", "program work/p.tmt", "card/TEMPLATE.INI", "work/p.tmt", "", ""},
    {"Read", "0I", "read work/read.tmt", "work/read.tmt", "work/table.tmt", "", ""},
    {"CardGet", "0L", "card get DATA0001.CSV work/got.csv", "work/got.csv", "card/DATA0001.CSV", "",
     ""},
    {"CardPut", "0X", "card put work/put.txt NEW.TXT", "card/NEW.TXT", "work/put.txt", "", ""},
    {"CardRm", "0X", "card rm DATA0001.CSV", "", "", "card/DATA0001.CSV", ""},
    {"CardLs", "0L", "card ls", "", "", "", " TEMPLATE.INI\n"},
    {"List", "0?V", "list", "", "", "", "Sample_0001.csv\t"},
    {"Download", "0?V", "download DATA0001.CSV --to work/data",
     "work/data/Sample_0001/TestLogs/Sample_0001_Raw.csv", "card/DATA0001.CSV", "",
     "Sample_0001.csv\n"},
    {"CalibrationCollect", "0?S", "calibrate collect 500 --session work/s.csv", "work/s.csv", "",
     "", "500\t"},
    {"CardPutOver", "0W", "card put work/put.txt DATA0001.NAM", "card/DATA0001.NAM", "work/put.txt",
     "", ""},
    {"CalibrationApply", "0W", "calibrate apply --session work/cal.csv", "card/MAGCAL.INI",
     "work/magcal.ini", "", "Calibration Data written to Device.\n"},
    {"CalibrationApplyFactory", "0W", "calibrate apply --factory --session work/cal.csv",
     "card/MAGCAL0.INI", "work/magcal.ini", "", "Calibration Data written to Device.\n"},
    {"CalibrationRestore", "0W", "calibrate restore-factory --yes", "card/MAGCAL.INI",
     "card/MAGCAL0.INI", "", "Device calibration restored to Factory Settings.\n"},
    {"OffsetsSet", "0W", "offsets set 500 --yes", "card/POSCAL.INI", "", "", "Offset 9\t"},
    {"OffsetsReset", "0W", "offsets reset --yes", "card/POSCAL.INI", "work/zeros.ini", "", ""}};

class FaultMatrix : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(FaultMatrix, ClearFailureOrCorrectResultThenAWorkingLink) {
    const Operation& op = kOperations[std::get<0>(GetParam())];
    const char* const* fault = kFaults[std::get<1>(GetParam())];
    LinkSimProcess sim;
    ASSERT_TRUE(sim.Started());
    const fs::path work = sim.Root() / "work";
    fs::create_directories(work);
    const fs::path& root = sim.Root();
    std::string table = ReadFile(sim.Card() / "TEMPLATE.INI");
    WriteFile(work / "p.tmt", std::string(table).replace(table.find("Warm"), 4, "Cool"));
    WriteFile(work / "table.tmt", table.substr(table.find("Name\t")));
    WriteFile(work / "put.txt", std::string(900, 'x') + "\nend\n");
    // A calibration to apply, and a factory copy on the card unlike the calibration in use.
    std::string magcal, factory;
    for (int well = 1; well <= 9; ++well) {
        magcal += kFlatWellCoefficients;
        factory += "    0.000200\n   -0.700000\n 1700.000000\n";
    }
    WriteFile(work / "cal.csv", FlatCalibrationSession());
    WriteFile(work / "magcal.ini", magcal);
    WriteFile(work / "zeros.ini", "0\n0\n0\n0\n0\n0\n0\n0\n0");
    WriteFile(sim.Card() / "MAGCAL0.INI", factory);
    const fs::path made = root / op.made, reference = root / op.reference;
    const bool onCard = std::string(op.made).rfind("card/", 0) == 0;
    const std::string before = onCard && fs::exists(made) ? ReadFile(made) : "(none)";

    if (*fault[1]) {
        // A card that refuses to delete refuses from the start.
        const bool now = !*op.trigger || std::string(fault[0]) == "StuckInWriteMode" ||
                         std::string(fault[0]) == "DeleteRefused";
        const std::string armed = sim.Control(
            now ? std::string(fault[1]) : "when " + std::string(op.trigger) + " " + fault[1]);
        ASSERT_EQ(armed.rfind("ok", 0), 0u) << armed;
    }
    const CliRun run = RunCli(root, std::string("--timeout 150 ") + op.arguments, "",
                              "cd " + ShellQuote(root.string()) + " && KELVASTRA_PORTS_DIR=ports");
    if (run.status == 0) {
        EXPECT_NE(run.output.find(op.shows), std::string::npos) << run.output;
        EXPECT_TRUE(!*op.made ||
                    (*op.reference ? ReadFile(made) == ReadFile(reference) : fs::exists(made)))
            << made;
        EXPECT_TRUE(!*op.gone || !fs::exists(root / op.gone));
    } else {
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_NE(run.errors.find_first_not_of(" \n"), std::string::npos);
        EXPECT_TRUE(!*op.made || onCard || !fs::exists(made) ||
                    (*op.reference && ReadFile(made) == ReadFile(reference)))
            << made;
        const std::string now = onCard && fs::exists(made) ? ReadFile(made) : "(none)";
        const bool said =
            run.errors.find(made.filename().string() +
                            " on the card may now be missing or incomplete") != std::string::npos;
        EXPECT_TRUE(!onCard || now == before || (*op.reference && now == ReadFile(reference)) ||
                    said)
            << made << " holds:\n"
            << now << "\n"
            << run.errors;
    }
    EXPECT_EQ(sim.Control("clear"), "ok clear");
    EXPECT_EQ(sim.Control("replug").rfind("ok replug", 0), 0u);
    EXPECT_EQ(sim.Cli("--timeout 2000 card ls").status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, FaultMatrix,
    ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kOperations))),
                       ::testing::Range(0, static_cast<int>(std::size(kFaults)))),
    [](const ::testing::TestParamInfo<std::tuple<int, int>>& cell) {
        return std::string(kOperations[std::get<0>(cell.param)].name) + "_" +
               kFaults[std::get<1>(cell.param)][0];
    });

} // namespace
