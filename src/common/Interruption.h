// Stop requests for device work: Ctrl-C or a termination request to a tool. Work that leaves the
// controller in a mode of its own until it ends (a card write or program upload, which only the
// end line ends; a file read, which ends at the controller's end byte) runs inside a Shield: a
// signal that arrives meanwhile is only noted, the work ends properly and reports itself
// interrupted, and nothing new is started after it. Outside a shield, and for a second signal,
// the signal takes its usual course at once.
#pragma once

namespace interruption {

// Routes SIGINT and SIGTERM through the rule above (a tool calls this once, at start).
void InstallSignalHandlers();

// The signal noted inside a shield, or the request made by Request(); 0 when none.
int Pending();
// Notes a stop request as a signal handler would (tests; work stopped from elsewhere).
void Request(int signal);
void Clear();
// True while some Shield is alive.
bool Shielded();

class Shield {
public:
    Shield();
    ~Shield();
    Shield(const Shield&) = delete;
    Shield& operator=(const Shield&) = delete;
};

} // namespace interruption
