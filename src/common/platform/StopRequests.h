// Stop requests from outside: Ctrl-C and termination requests (SIGINT and SIGTERM; on Windows
// the console's Ctrl-C, Ctrl-Break, close, logoff and shutdown events, passed on as SIGINT for
// the first two and SIGTERM for the rest).
#pragma once

namespace platform {

inline constexpr int kInterruptSignal = 2;  // SIGINT
inline constexpr int kTerminateSignal = 15; // SIGTERM

// Called for each request, possibly in a signal handler or on a thread of its own: it may only
// touch lock-free atomics. True when it took note of the request; false lets the request take
// its usual course at once (the program ends).
using StopHandler = bool (*)(int signal);

void InstallStopHandler(StopHandler handler);

} // namespace platform
