#include "document/TestMonitor.h"

#include "devicelink/Controller.h"

#include <algorithm>
#include <cstdio>

namespace {

// The durations are unsigned 32-bit numbers on the controller; their product with the
// repetitions can pass 64 bits, a double holds it closely enough for a clock.
double EntryMs(const DeviceProgramEntry& e) {
    const double cycle = double(uint32_t(e.stretchMs)) + double(uint32_t(e.holdMs)) +
                         double(uint32_t(e.recoveryMs)) + double(uint32_t(e.restMs));
    return cycle * double(uint32_t(e.repetitions));
}

int64_t ClampMs(double ms) {
    return ms >= 9.0e18 ? int64_t(9000000000000000000) : int64_t(std::max(0.0, ms));
}

} // namespace

ProgramProgress ProgressAt(const DeviceProgramTable& table, int64_t elapsedMs) {
    ProgramProgress progress;
    const double elapsed = double(elapsedMs);
    double total = 0;
    std::string lastName;
    for (const DeviceProgramEntry& e : table) {
        if (!e.IsUsed())
            continue;
        ++progress.setCount;
        total += EntryMs(e);
        // The first set whose end lies ahead runs now; one of no length is over at once.
        if (progress.set == 0 && elapsed < total) {
            progress.set = progress.setCount;
            progress.name = e.name;
        }
        lastName = e.name;
    }
    // Past the end (the controller still runs, its preloads not being in the table): the last.
    if (progress.set == 0 && progress.setCount > 0) {
        progress.set = progress.setCount;
        progress.name = lastName;
    }
    std::replace(progress.name.begin(), progress.name.end(), '|', ' ');
    progress.leftMs = ClampMs(total - elapsed);
    return progress;
}

std::string ClockText(int64_t ms) {
    const long long seconds = (std::max<int64_t>(0, ms) + 500) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

bool TestMonitor::Note(std::optional<int> runState, int64_t nowMs) {
    if (!runState)
        return false;
    const TestState next = *runState == Controller::kRunStateRunning  ? TestState::Running
                           : *runState == Controller::kRunStatePaused ? TestState::Paused
                                                                      : TestState::Idle;
    // The test is taken to have run until this poll when the last one saw it running.
    if (m_known && m_state == TestState::Running)
        m_elapsedMs += std::max<int64_t>(0, nowMs - m_lastPollMs);
    const bool ended = m_known && m_state != TestState::Idle && next == TestState::Idle;
    if (next == TestState::Idle || !m_known) {
        m_seenStart = false;
        m_elapsedMs = 0;
    } else if (m_state == TestState::Idle) {
        m_seenStart = true;
        m_elapsedMs = 0;
    }
    m_state = next;
    m_known = true;
    m_lastPollMs = nowMs;
    return ended;
}

void TestMonitor::Reset() {
    m_state = TestState::Idle;
    m_known = false;
    m_seenStart = false;
    m_elapsedMs = 0;
}

std::string TestMonitor::StatusText() const {
    if (m_state == TestState::Idle)
        return {};
    std::string text = m_state == TestState::Running ? "Test running" : "Test paused";
    if (!m_seenStart)
        return text;
    const ProgramProgress progress = ProgressAt(m_program, m_elapsedMs);
    if (progress.setCount == 0)
        return text + ": " + ClockText(m_elapsedMs) + " elapsed";
    text += ": set " + std::to_string(progress.set) + " of " + std::to_string(progress.setCount);
    if (!progress.name.empty())
        text += " (" + progress.name + ")";
    return text + ", " + ClockText(m_elapsedMs) + " elapsed, about " + ClockText(progress.leftMs) +
           " left";
}

std::string TestMonitor::LineFields() const {
    std::string line = m_state == TestState::Idle      ? "idle"
                       : m_state == TestState::Running ? "running"
                                                       : "paused";
    if (m_state == TestState::Idle || !m_seenStart)
        return line + "\t-\t-\t-";
    const ProgramProgress progress = ProgressAt(m_program, m_elapsedMs);
    if (progress.setCount == 0)
        return line + "\t-\t" + ClockText(m_elapsedMs) + "\t-";
    return line + "\t" + std::to_string(progress.set) + " of " + std::to_string(progress.setCount) +
           "\t" + ClockText(m_elapsedMs) + "\t" + ClockText(progress.leftMs);
}
