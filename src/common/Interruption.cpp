#include "common/Interruption.h"

#include "common/platform/StopRequests.h"

#include <atomic>

namespace interruption {

namespace {

// Lock-free atomics are safe to touch in a signal handler.
std::atomic<int> g_pending{0};
std::atomic<int> g_shields{0};
static_assert(std::atomic<int>::is_always_lock_free);

bool NoteInsideShield(int signal) {
    // A second request while the first is being honoured does not wait any longer.
    if (g_shields.load() > 0 && g_pending.load() == 0) {
        g_pending.store(signal);
        return true;
    }
    return false;
}

} // namespace

void InstallSignalHandlers() {
    platform::InstallStopHandler(NoteInsideShield);
}

int Pending() {
    return g_pending.load();
}

void Request(int signal) {
    g_pending.store(signal);
}

void Clear() {
    g_pending.store(0);
}

bool Shielded() {
    return g_shields.load() > 0;
}

Shield::Shield() {
    g_shields.fetch_add(1);
}

Shield::~Shield() {
    g_shields.fetch_sub(1);
}

} // namespace interruption
