// What the program can tell of a test the controller runs on its own: the run state it last
// saw and, once it has seen the test start, how long the test has run (paused time not
// counted) and, from the programmed table, the set running and the time left. The controller
// says only its run state, so the times are the program's own count between its polls.
#pragma once

#include "protocol/DeviceProgram.h"

#include <cstdint>
#include <optional>
#include <string>

// Where a test stands after it has run `elapsedMs`, by the table's durations and repetitions
// (preload phases are not in the table and are not counted).
struct ProgramProgress {
    int set = 0;      // 1 for the first used entry; 0 when the table has none
    int setCount = 0; // used entries
    std::string name; // the running set's name, blanks restored
    int64_t leftMs = 0;
};
// Past the end of the table the last set is reported with nothing left.
ProgramProgress ProgressAt(const DeviceProgramTable& table, int64_t elapsedMs);

// "HH:MM:SS" to the nearest second, the hours not limited; a negative time is 00:00:00.
std::string ClockText(int64_t ms);

enum class TestState { Idle, Running, Paused };

class TestMonitor {
public:
    // The table the controller runs a test by.
    void SetProgram(const DeviceProgramTable& table) { m_program = table; }
    // A poll's run state ("0?S") at `nowMs` on a steady clock; nullopt when the query failed,
    // which changes nothing. True when a test has just ended (running or paused before, idle
    // now).
    bool Note(std::optional<int> runState, int64_t nowMs);
    // The link has gone: nothing is known until the next poll.
    void Reset();

    TestState State() const { return m_state; }
    // "" when idle; "Test running" or "Test paused", and once the start was seen ": set 2 of 4
    // (Main), 00:42:10 elapsed, about 23:17:50 left".
    std::string StatusText() const;
    // The monitor line after its time: state, set, elapsed and left, tab-separated, "-" for
    // what is not known ("running\t1 of 2\t00:00:04\t00:00:56").
    std::string LineFields() const;

private:
    DeviceProgramTable m_program{};
    TestState m_state = TestState::Idle;
    bool m_known = false;     // a poll has answered since the link was set up
    bool m_seenStart = false; // a poll saw the controller idle before this test
    int64_t m_elapsedMs = 0;
    int64_t m_lastPollMs = 0;
};
