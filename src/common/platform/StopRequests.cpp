#include "common/platform/StopRequests.h"

#include <atomic>

#if defined(_WIN32)
#include "common/platform/WindowsApi.h"
#else
#include <signal.h>
#endif

namespace platform {

namespace {

std::atomic<StopHandler> g_handler{nullptr};
static_assert(std::atomic<StopHandler>::is_always_lock_free);

#if defined(_WIN32)
// Runs on a thread the system starts for the event. Returning FALSE passes the event on to the
// default handler, which ends the process.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const int signal =
        event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? kInterruptSignal : kTerminateSignal;
    const StopHandler handler = g_handler.load();
    return handler && handler(signal) ? TRUE : FALSE;
}
#else
extern "C" void OnSignal(int signal) {
    const StopHandler handler = g_handler.load();
    if (handler && handler(signal))
        return;
    struct sigaction usual {};
    usual.sa_handler = SIG_DFL;
    sigemptyset(&usual.sa_mask);
    ::sigaction(signal, &usual, nullptr);
    ::raise(signal);
}
#endif

} // namespace

void InstallStopHandler(StopHandler handler) {
    g_handler.store(handler);
#if defined(_WIN32)
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Calls that the signal interrupts go on, as they did with signal(); the handler only notes.
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
#endif
}

} // namespace platform
