// A Program Device and a read-back recorded with --trace and replayed by kelvastra-sim --replay:
// the same exit status and the same protocol back; a run the record does not hold fails. And the
// doctor passes against a running simulator.
#include "LinkSimProcess.h"

#include <gtest/gtest.h>

namespace {

const std::string kSample = KELVASTRA_SOURCE_DIR "/resources/samples/sample.tmt";

TEST(TraceReplay, ARecordedProgramAndReadGiveTheSameResultsWhenReplayedAndAFullRecordIsSaid) {
    const TempFolder folder("trace");
    const std::filesystem::path trace = folder.Path() / "trace.txt";
    CliRun program, read;
    std::string readBack;
    {
        LinkSimProcess sim;
        ASSERT_TRUE(sim.Started());
        EXPECT_EQ(sim.Cli("doctor").status, 0);
        const std::string option = "--trace " + ShellQuote(trace.string());
        program = sim.Cli(option + " program " + ShellQuote(kSample));
        read = sim.Cli(option + " read " + ShellQuote((sim.Root() / "back.tmt").string()));
        ASSERT_EQ(program.status, 0) << program.errors;
        ASSERT_EQ(read.status, 0) << read.errors;
        readBack = ReadFile(sim.Root() / "back.tmt");
        // The traffic only: neither the port nor the user's files are named.
        const std::string record = ReadFile(trace);
        EXPECT_EQ(record.find(sim.Port()), std::string::npos);
        EXPECT_EQ(record.find("sample.tmt"), std::string::npos);

        // A record that can no longer grow (the file size limit stands in for a full disk) is
        // said on standard error and the command goes on; how the record ends is the recorder's.
        // 1024 bytes at most (two blocks of 512): the session header fits, the traffic does not.
        const auto full = sim.Root() / "full.txt";
        WriteFile(full, std::string(800, '#') + "\n");
        const CliRun run =
            RunCli(sim.Root(), "--trace " + ShellQuote(full.string()) + " status", "",
                   "trap '' XFSZ; ulimit -f 2; KELVASTRA_PORTS_DIR=" +
                       ShellQuote(sim.PortsFolder().string()));
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_NE(run.errors.find("kelvastra-cli: Serial traffic record stopped: "),
                  std::string::npos)
            << run.errors;
    }
    LinkSimProcess replay({"--replay", trace.string()});
    ASSERT_TRUE(replay.Started());
    EXPECT_EQ(replay.Cli("program " + ShellQuote(kSample)).status, program.status);
    const CliRun again = replay.Cli("read " + ShellQuote((replay.Root() / "back.tmt").string()));
    EXPECT_EQ(again.status, read.status) << again.errors;
    EXPECT_EQ(ReadFile(replay.Root() / "back.tmt"), readBack);

    // Reading first departs from the record at "0I", which is answered "Error 1".
    LinkSimProcess other({"--replay", trace.string()});
    ASSERT_TRUE(other.Started());
    EXPECT_EQ(other.Cli("read").status, 1);
}

} // namespace
