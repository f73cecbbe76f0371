// monitor: the controller's run state, one line per poll, with the set running, the elapsed time
// and the time left once the start of the test has been seen.
#include "cli/Commands.h"

#include "common/Interruption.h"
#include "common/platform/Process.h"
#include "devicelink/DeviceSession.h"
#include "document/TestMonitor.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <thread>

namespace {

void Fail(CliContext& context, const std::string& message, const DeviceSession& session) {
    std::cerr << "kelvastra-cli: " << message << "\n";
    const std::string log = session.LogSinceMark();
    if (!log.empty())
        std::cerr << log << (log.back() == '\n' ? "" : "\n");
    context.exitCode = 1;
}

std::string LocalClock() {
    const std::tm now = platform::LocalTime(std::time(nullptr));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
    return text;
}

// Sleeps until `until`, or until a stop request arrives (false then).
bool RestUntil(std::chrono::steady_clock::time_point until) {
    while (std::chrono::steady_clock::now() < until) {
        if (interruption::Pending() != 0)
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(20), until - std::chrono::steady_clock::now()));
    }
    return interruption::Pending() == 0;
}

void RunMonitor(CliContext& context, double intervalSeconds, int count) {
    // Ctrl-C is how a monitor without --count ends: it is only noted, so the poll under way
    // finishes its line and the port closes properly.
    interruption::Shield shield;
    DeviceSession session;
    std::string error;
    if (!session.Open(context.port, error)) {
        Fail(context, error, session);
        return;
    }
    session.MarkLog();
    Controller& device = session.GetController();
    TestMonitor monitor;
    DeviceProgramTable program{};
    if (device.ReadProgram(program) != 1)
        std::cerr << "kelvastra-cli: the programmed table could not be read; sets and time left "
                     "are not shown\n";
    monitor.SetProgram(program);

    using Clock = std::chrono::steady_clock;
    const auto interval =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(intervalSeconds));
    const auto start = Clock::now();
    for (int line = 0; count == 0 || line < count; ++line) {
        if (line > 0 && !RestUntil(start + interval * line))
            break;
        int state = 0;
        if (device.QueryInteger(Controller::kRunStateQuery, state) != 0) {
            Fail(context, "the run state query failed; the link to the controller is lost",
                 session);
            return;
        }
        monitor.Note(state, std::chrono::duration_cast<std::chrono::milliseconds>(
                                Clock::now().time_since_epoch())
                                .count());
        std::cout << LocalClock() << '\t' << monitor.LineFields() << std::endl;
    }
    // A stop request ends the monitor as its count would.
    interruption::Clear();
}

} // namespace

void AddMonitorCommand(CLI::App& app, CliContext& context) {
    auto* monitor = app.add_subcommand(
        "monitor", "Watch the controller's test: one line per poll, tab-separated: local time, "
                   "state (idle, running, paused), set (K of N), elapsed and time left (\"-\" "
                   "until the program has seen the test start); Ctrl-C ends it");
    auto interval = std::make_shared<double>(2.0);
    auto count = std::make_shared<int>(0);
    monitor->add_option("--interval", *interval, "Seconds between two polls (default 2)")
        ->type_name("S")
        ->check(CLI::Range(0.05, 86400.0));
    monitor->add_option("--count", *count, "Stop after N lines (default: until Ctrl-C)")
        ->type_name("N")
        ->check(CLI::PositiveNumber);
    monitor->callback([&context, interval, count] { RunMonitor(context, *interval, *count); });
}
