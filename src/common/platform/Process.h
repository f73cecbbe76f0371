// This process, other processes and the threads of this one.
#pragma once

#include <ctime>

namespace platform {

long long ProcessId();
// True while a process with this id runs, ours to signal or not.
bool ProcessIsAlive(long long pid);
// The calling thread gives way to the others of the process (background work).
void LowerThreadPriority();
// The local time of `when`, safe to call from any thread.
std::tm LocalTime(std::time_t when);

} // namespace platform
