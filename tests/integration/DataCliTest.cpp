// kelvastra-cli list, download and delete against the simulator's card and a copy of it.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace fs = std::filesystem;

namespace {

TEST(DataCli, ListDownloadAndDeleteAsTheDialogDoes) {
    LinkSimProcess sim({"--firmware", "4050"});
    ASSERT_TRUE(sim.Started());
    AddTwoTests(sim.Card());
    ASSERT_EQ(sim.Control("capacity 1000").rfind("ok", 0), 0u);
    const std::string kb = std::to_string(fs::file_size(sim.Card() / "DATA0001.CSV") / 1000);

    const CliRun list = sim.Cli("list");
    EXPECT_EQ(list.status, 0) << list.errors;
    char used[32];
    std::snprintf(used, sizeof used, "%.1f%%",
                  3 * fs::file_size(sim.Card() / "DATA0001.CSV") / 1000.0 / 10);
    EXPECT_EQ(list.output, "Sample_0001.csv\t" + kb + "\tDATA0001.CSV\nOther_0002.csv\t" + kb +
                               "\tDATA0002.CSV\nDATA0003.CSV\t" + kb +
                               "\tDATA0003.CSV\nUsed Storage\t" + used + "\n");

    // Every row is done (the folders' contents are the test data model's); the one without a
    // protocol copy says what it was converted with.
    const fs::path out = sim.Root() / "out";
    const CliRun all = sim.Cli("download --all --to " + ShellQuote(out.string()));
    EXPECT_EQ(all.status, 0) << all.errors;
    EXPECT_EQ(all.output, (out / "Sample_0001" / "Sample_0001.csv").string() + "\n" +
                              (out / "Other_0002" / "Other_0002.csv").string() + "\n" +
                              (out / "DATA0003" / "DATA0003.CSV").string() + "\n");
    EXPECT_EQ(all.errors.rfind("kelvastra-cli: Warning:  DATA0003: ", 0), 0u) << all.errors;

    // By card name in any case or by display name; an unknown name fails, the others are done.
    const CliRun some = sim.Cli("download data0002.csv Sample_0001.csv NOSUCH.CSV --to " +
                                ShellQuote((sim.Root() / "again").string()));
    EXPECT_EQ(some.status, 1);
    EXPECT_EQ(std::count(some.output.begin(), some.output.end(), '\n'), 2);
    EXPECT_NE(some.errors.find("NOSUCH.CSV"), std::string::npos);

    EXPECT_EQ(sim.Cli("delete DATA0002.CSV").status, 0); // which files go: the model's
    EXPECT_FALSE(fs::exists(sim.Card() / "DATA0002.CSV"));
    EXPECT_EQ(sim.Cli("delete --all").status, 2); // standard input is not a terminal

    ASSERT_EQ(sim.Control("protect DATA0003.CSV").rfind("ok", 0), 0u);
    const CliRun rest = sim.Cli("delete --all --yes");
    EXPECT_EQ(rest.status, 1);
    EXPECT_EQ(rest.errors, "kelvastra-cli: Error:  File Not Deleted DATA0003\n");
    EXPECT_FALSE(fs::exists(sim.Card() / "DATA0001.CSV"));
    EXPECT_TRUE(fs::exists(sim.Card() / "DATA0003.CSV"));
}

// Two tests with one display name and a test still recording: refused with status 1 and the
// reason. What a card fault leaves and says is the model's (tests/recordings).
TEST(DataCli, RefusesWhatWouldLoseOrMixUpResults) {
    LinkSimProcess sim({"--firmware", "4050"});
    ASSERT_TRUE(sim.Started());
    for (const char* ext : {".CSV", ".TMT", ".NAM"})
        fs::copy_file(sim.Card() / ("DATA0001" + std::string(ext)),
                      sim.Card() / ("WXYZ0001" + std::string(ext)));
    WriteFile(sim.Card() / "WXYZ0001.CSV", ReadFile(sim.Card() / "WXYZ0001.CSV") + "\n");
    const std::string out = ShellQuote((sim.Root() / "out").string());

    for (const std::string& command :
         {"download Sample_0001.csv --to " + out, std::string("delete Sample_0001")}) {
        const CliRun ambiguous = sim.Cli(command);
        EXPECT_EQ(ambiguous.status, 1) << command;
        EXPECT_NE(ambiguous.errors.find("names 2 tests; give the card name of the one you mean: "
                                        "DATA0001.CSV, WXYZ0001.CSV"),
                  std::string::npos)
            << ambiguous.errors;
    }
    EXPECT_FALSE(fs::exists(sim.Root() / "out" / "Sample_0001"));
    EXPECT_TRUE(fs::exists(sim.Card() / "WXYZ0001.CSV"));
    // Each by its card name, in a result folder of its own (TestDataTest).
    const CliRun both = sim.Cli("download DATA0001.CSV WXYZ0001.CSV --to " + out);
    EXPECT_EQ(both.status, 0) << both.errors;

    // A test running or paused: nothing is listed, fetched or deleted.
    ASSERT_EQ(sim.Control("start").rfind("ok", 0), 0u) << "test run";
    for (const char* control : {"", "pause"}) {
        if (*control) {
            ASSERT_EQ(sim.Control(control).rfind("ok", 0), 0u);
        }
        for (const char* command :
             {"list", "download --all --to /nonexistent", "delete --all --yes"}) {
            const CliRun refused = sim.Cli(command);
            EXPECT_EQ(refused.status, 1) << command;
            EXPECT_EQ(refused.errors, "kelvastra-cli: Cannot Access Test Data While Test is "
                                      "Running or Paused\n")
                << command;
        }
    }
    ASSERT_EQ(sim.Control("stop").rfind("ok", 0), 0u);
    EXPECT_TRUE(fs::exists(sim.Card() / "DATA0001.CSV"));
}

TEST(DataCli, SummariesAndACardCopyOfflineGiveTheDevicesResult) {
    LinkSimProcess sim({"--firmware", "4050", "--hardware-version", "1100"});
    ASSERT_TRUE(sim.Started());
    const fs::path copy = sim.Root() / "copy";
    fs::copy(sim.Card(), copy);
    const fs::path device = sim.Root() / "device";
    ASSERT_EQ(sim.Cli("download --all --to " + ShellQuote(device.string())).status, 0);

    // The downloaded summary is what summarize and convert --summary make of the full file.
    const fs::path result = device / "Sample_0001";
    const std::string summary = ReadFile(result / "Sample_0001_Summary.csv");

    const fs::path logs = result / "TestLogs";
    const CliRun summarize =
        sim.Cli("summarize " + ShellQuote((logs / "Sample_0001_Full.csv").string()));
    EXPECT_EQ(summarize.status, 0) << summarize.errors;
    EXPECT_EQ(summarize.output, (logs / "Sample_0001_Summary.csv").string() + "\n");
    EXPECT_EQ(ReadFile(logs / "Sample_0001_Summary.csv"), summary);

    const auto in = [&sim](const char* name) { return ShellQuote((sim.Root() / name).string()); };
    const CliRun convert =
        sim.Cli("convert " + ShellQuote((logs / "Sample_0001_Raw.csv").string()) + " --template " +
                ShellQuote((result / "Sample_0001.tmt").string()) + " --out " + in("c.csv") +
                " --full " + in("c_Full.csv") + " --summary " + in("c_Summary.csv"));
    EXPECT_EQ(convert.status, 0) << convert.errors;
    EXPECT_EQ(sim.Cli("summarize " + in("c_Full.csv") + " --out " + in("again.csv")).status, 0);
    EXPECT_EQ(ReadFile(sim.Root() / "c_Summary.csv"), ReadFile(sim.Root() / "again.csv"));

    // No controller to be found: names, description and calibration come from the copy.
    const fs::path offline = sim.Root() / "offline";
    const std::string alone = "KELVASTRA_PORTS_DIR=" + ShellQuote((sim.Root() / "none").string());
    const CliRun list = RunCli(sim.Root(), "list --local " + ShellQuote(copy.string()), "", alone);
    EXPECT_EQ(list.status, 0) << list.errors;
    EXPECT_EQ(list.output.rfind("Sample_0001.csv\t", 0), 0u) << list.output;
    const CliRun run =
        RunCli(sim.Root(),
               "download --all --hardware-version 1100 --local " + ShellQuote(copy.string()) +
                   " --to " + ShellQuote(offline.string()),
               "", alone);
    EXPECT_EQ(run.status, 0) << run.errors;
    for (const char* file : {"Sample_0001.csv", "TestLogs/Sample_0001_Full.csv"})
        EXPECT_EQ(ReadFile(offline / "Sample_0001" / file), ReadFile(device / "Sample_0001" / file))
            << file;
    EXPECT_EQ(RunCli(sim.Root(), "list", "", alone).status, 1); // no card, no copy
}

} // namespace
