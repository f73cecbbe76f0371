// kelvastra-cli program and read against the simulator: a protocol file goes in and comes back
// byte for byte; refusals and failures end with status 1 and say why on standard error.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const char* const kProtocol =
    "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\tRecoveryDurationSec\t"
    "HoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\tDataType\tAutoAdjust\t\n"
    "Pre[_]load\tSinusoid\tN\t2.5\t0\t1.5\t2\t0\t0.5\t4\tSeconds\tAll(64) \t0\t\n"
    "Long[_]hold\tRamp\tN\t3\t2\t0.25\t10\t1.5\t0\t12\tMinutes\tAll(64) \t1\t\n"
    "Hours\tSinusoid\tN\t1\t0\t1\t1\t0\t0.75\t2\tHours\tAll(64) \t0\t\n";

class CliProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Started());
        folder = sim.Card().parent_path() / "cli";
        std::filesystem::create_directories(folder);
    }

    CliRun Run(const std::string& arguments) { return sim.Cli(arguments); }

    LinkSimProcess sim;
    std::filesystem::path folder;
};

TEST_F(CliProgramTest, ProgramThenReadGivesBackTheProtocol) {
    WriteFile(folder / "study.tmt", kProtocol);
    const CliRun program =
        Run("--port " + ShellQuote(sim.Port()) + " program " +
            ShellQuote((folder / "study.tmt").string()) + " --name 'Cell Study'");
    EXPECT_EQ(program.status, 0) << program.errors;
    EXPECT_NE(program.output.find("\nProgramming Device... Success\n"), std::string::npos)
        << program.output;
    EXPECT_EQ(program.errors, "");
    EXPECT_EQ(ReadFile(sim.Card() / "NAME.INI"), "Cell Study");
    const std::string templateText = ReadFile(sim.Card() / "TEMPLATE.INI");
    EXPECT_EQ(templateText.substr(templateText.find("Name\t")), kProtocol);

    // To a file (messages on standard output), and to standard output (messages on error).
    const CliRun toFile = Run("read " + ShellQuote((folder / "back.tmt").string()));
    EXPECT_EQ(toFile.status, 0) << toFile.errors;
    EXPECT_EQ(ReadFile(folder / "back.tmt"), kProtocol);
    EXPECT_NE(toFile.output.find("\nReading Device... Success\n"), std::string::npos);

    const CliRun toOutput = Run("read");
    EXPECT_EQ(toOutput.status, 0) << toOutput.errors;
    EXPECT_EQ(toOutput.output, kProtocol);
    EXPECT_NE(toOutput.errors.find("\nReading Device... Success\n"), std::string::npos);

    // Without --name the device's own test name stays.
    const CliRun again = Run("program " + ShellQuote((folder / "study.tmt").string()));
    EXPECT_EQ(again.status, 0) << again.errors;
    EXPECT_EQ(ReadFile(sim.Card() / "NAME.INI"), "Cell Study");

    // A preload the membrane needs no pressure for: said on standard error, programmed anyway.
    std::string preload = kProtocol;
    preload.replace(preload.find("2.5\t0\t"), 6, "2.5\t0.5\t");
    WriteFile(folder / "preload.tmt", preload);
    const CliRun warned = Run("program " + ShellQuote((folder / "preload.tmt").string()));
    EXPECT_EQ(warned.status, 0) << warned.errors;
    EXPECT_NE(warned.errors.find("Set 1 (Pre load) Preload Magnitude: "), std::string::npos);
    EXPECT_NE(warned.output.find("\nProgramming Device... Success\n"), std::string::npos);
}

TEST_F(CliProgramTest, RefusalsAndFailuresExitWithOne) {
    const std::string before = ReadFile(sim.Card() / "TEMPLATE.INI");
    struct Case {
        const char* name;
        std::string file;   // written to a.tmt unless empty
        std::string errors; // expected in standard error
    };
    const std::string header(kProtocol, std::strchr(kProtocol, '\n') + 1);
    const Case cases[] = {
        {"cut inside a set", header + "A\tRamp\tN\t2\t0\t1\t1\t0",
         "Warning:  The protocol ends inside a set; that incomplete set was left out\n"},
        {"no such file", "", "kelvastra-cli: cannot read "},
        {"beyond the regulator",
         header + "A\tRamp\tN\t5000\t0\t1\t1\t0\t0\t-4\tSeconds\tMax\t0\t\n"
                  "B\tRamp\tN\t5\t0\t1\t1\t0\t0\t9\tSeconds\tMax\t0\t\n",
         "Error:  Minimum Repetitions = 1\nError:  Maximum Compress Magnitude = 280.0 N\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto path = folder / (c.file.empty() ? "absent.tmt" : "a.tmt");
        if (!c.file.empty())
            WriteFile(path, c.file);
        const CliRun run = Run("program " + ShellQuote(path.string()));
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.errors.find(c.errors), std::string::npos) << run.errors;
        EXPECT_EQ(run.output.find("Programming Device... Success"), std::string::npos);
    }
    EXPECT_EQ(ReadFile(sim.Card() / "TEMPLATE.INI"), before);

    // The card cannot take the template (a folder holds its name): the step is named.
    std::filesystem::remove(sim.Card() / "TEMPLATE.INI");
    std::filesystem::create_directories(sim.Card() / "TEMPLATE.INI" / "inside");
    WriteFile(folder / "a.tmt", kProtocol);
    const CliRun refused = Run("program " + ShellQuote((folder / "a.tmt").string()));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("\nProgramming Device... Failed while writing TEMPLATE.INI\n"),
              std::string::npos)
        << refused.output;
    EXPECT_NE(refused.errors.find("kelvastra-cli: the device was not programmed\n"),
              std::string::npos)
        << refused.errors;
}

} // namespace
