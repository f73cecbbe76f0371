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
                                  {"StrayLineBehindTheReply", "stray after"}};

// Paths are relative to the simulator's folder. After a success `made` exists and equals
// `reference` (when given), `gone` does not exist, standard output `shows`; after a failure a
// local `made` is absent or equal to `reference`.
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
     "", "500\t"}};

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

    if (*fault[1]) {
        const bool now = !*op.trigger || std::string(fault[0]) == "StuckInWriteMode";
        const std::string armed = sim.Control(
            now ? std::string(fault[1]) : "when " + std::string(op.trigger) + " " + fault[1]);
        ASSERT_EQ(armed.rfind("ok", 0), 0u) << armed;
    }
    const CliRun run = RunCli(root, std::string("--timeout 150 ") + op.arguments, "",
                              "cd " + ShellQuote(root.string()) + " && KELVASTRA_PORTS_DIR=ports");
    const fs::path made = root / op.made, reference = root / op.reference;
    if (run.status == 0) {
        EXPECT_NE(run.output.find(op.shows), std::string::npos) << run.output;
        EXPECT_TRUE(!*op.made ||
                    (*op.reference ? ReadFile(made) == ReadFile(reference) : fs::exists(made)))
            << made;
        EXPECT_TRUE(!*op.gone || !fs::exists(root / op.gone));
    } else {
        EXPECT_EQ(run.status, 1) << run.errors;
        EXPECT_NE(run.errors.find_first_not_of(" \n"), std::string::npos);
        EXPECT_TRUE(!*op.made || std::string(op.made).rfind("card/", 0) == 0 || !fs::exists(made) ||
                    (*op.reference && ReadFile(made) == ReadFile(reference)))
            << made;
    }
    EXPECT_EQ(sim.Control("clear"), "ok clear");
    EXPECT_EQ(sim.Control("replug").rfind("ok replug", 0), 0u);
    EXPECT_EQ(sim.Cli("--timeout 2000 card ls").status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cells, FaultMatrix,
    ::testing::Combine(::testing::Range(0, static_cast<int>(std::size(kOperations))),
                       ::testing::Range(0, static_cast<int>(std::size(kFaults)))),
    [](const ::testing::TestParamInfo<std::tuple<int, int>>& info) {
        return std::string(kOperations[std::get<0>(info.param)].name) + "_" +
               kFaults[std::get<1>(info.param)][0];
    });

} // namespace
