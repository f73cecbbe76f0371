// The simulator process: a pseudo-terminal, its registration as a virtual port, the firmware
// behind it, and the control channel (standard input and an optional FIFO) that steers runs
// and injects faults. The event loop here is thin; the firmware and the output queue do the
// work.
#pragma once

#include "ControlCommands.h"
#include "Firmware.h"
#include "OutputQueue.h"
#include "PortRegistration.h"
#include "PtyLink.h"
#include "Replay.h"
#include "SimCard.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace sim {

struct SimulatorOptions {
    std::filesystem::path card;
    std::filesystem::path portsDir; // empty: the default folder
    bool registerPort = true;
    std::string description = kDefaultDescription;
    std::string hardwareId = kDefaultHardwareId;
    FirmwareOptions firmware;
    int baud = 0;
    double speed = 1.0;
    double latencyMs = 0;
    std::string controlFifo;
    bool quiet = false;
    // Answer from this record instead of the simulated firmware.
    std::optional<std::vector<TrafficExchange>> replay;
};

// The control commands and what they do, as --help and "help" print them.
const char* ControlHelpText();
// What the simulated controller answers on the line and keeps on its card.
const char* WireHelpText();

class Simulator {
public:
    Simulator(SimulatorOptions options, std::ostream& out, std::ostream& log);
    ~Simulator();

    // Opens a fresh pty, registers it and announces "kelvastra-sim: port <path>".
    bool Plug();
    // Closes the pty and removes the registration (the board was pulled).
    void Unplug(const std::string& why = "unplugged");
    bool Plugged() const { return m_link.IsOpen(); }
    const std::string& PortPath() const { return m_link.SlavePath(); }

    // One control command; returns the reply line(s) without the "kelvastra-sim: " prefix.
    std::string Control(const std::string& line);
    // Opens the control FIFO, plugs the port, then runs until "quit", a signal, or Stop().
    int Run();
    void Stop() { m_quit = true; }

    Firmware& Device() { return m_firmware; }
    OutputQueue& Output() { return m_output; }
    double NowMs() const;
    bool Silent(double nowMs) const { return nowMs < m_silentUntilMs; }

    // Set by the signal handler of main.
    static volatile std::sig_atomic_t s_signal;

private:
    // The control commands' handlers work on the simulator's parts.
    friend const std::vector<ControlCommand>& ControlCommands();

    void Announce(const std::string& text);
    void ServiceLink(double nowMs);
    // What arrived from the program, after any trigger has been looked for.
    void FeedLink(const std::string& bytes, double nowMs);
    // Takes from `rest` the bytes up to the carriage return of a line that fires the trigger
    // (all of them when none does); `fired` tells whether one did.
    std::string TakeUntilTrigger(std::string& rest, bool& fired);
    void FlushOutput(double nowMs);
    void ReadControl(int fd, std::string& buffer, bool& open);
    bool OpenFifo();
    bool Reregister();

    SimulatorOptions m_options;
    std::ostream& m_out;
    std::ostream& m_log;
    SimCard m_card;
    Firmware m_firmware;
    OutputQueue m_output;
    PtyLink m_link;
    std::unique_ptr<PortRegistration> m_registration;
    std::unique_ptr<Replay> m_replay;
    bool m_replayDone = false;
    std::chrono::steady_clock::time_point m_start;
    double m_silentUntilMs = -1;
    std::optional<double> m_replugAtMs;
    std::optional<double> m_dropReplugMs;
    std::optional<double> m_dropCloseAtMs; // a dropped link closes once its last bytes are read
    bool m_quit = false;
    int m_fifoFd = -1;
    int m_fifoWriteFd = -1;
    bool m_fifoCreated = false;
    std::string m_stdinBuffer, m_fifoBuffer;
    // "when VERB COMMAND": COMMAND runs just before the firmware takes the next line starting
    // with VERB.
    std::string m_triggerVerb, m_triggerCommand, m_triggerLine;
    bool m_stdinOpen = true;
    bool m_fifoOpen = false;
};

} // namespace sim
