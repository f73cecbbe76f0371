#include "Simulator.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <ostream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sim {

volatile std::sig_atomic_t Simulator::s_signal = 0;

namespace {

constexpr double kDropGraceMs = 300.0;

std::string Printable(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
        if (out.size() > 200) {
            out += "...";
            break;
        }
    }
    return out;
}

} // namespace

const char* WireHelpText() {
    return R"(On the line (115200 8N1 raw; every command ends with a carriage return, CR):
  0?R n   identity record n (0..4): 2 "Firmware Version X.YYY", 3 "Hardware = N"
  0?S     run state: 0 idle, 3 running, 4 paused        0?V   card capacity in kB
  0?D n   live raw reading: 0 pressure sensor, 1..9 position sensors of the wells
  0A n    regulator set point (raw counts)   0R 1|0   valve open|closed   0H   reread INFOW.INI
  0P      then 140 field lines and a line of 0x17: the program table, each line answered OK
  0I      OK, ten table lines, then a line starting with 0x17
  0L      OK, the listing (LF-ended lines: "size NAME", or "[Dd]NAME"/"[Fd_size]NAME" below
          firmware 1540), then 0x17
  0F name OK, the file's bytes, then 0x17 (a missing file: "Error 3" then 0x17)
  0W name OK; every line up to a line of 0x17 is content, appended, each answered OK
  0X name OK, then "Deleted" or "Error 3"
  0Z s p n  OK, n lines "time_us reading" of sensor s while the regulator goes to p, then 0x17
  Other lines: "Error 1" (unknown), "Error 2" (bad argument), "Error 4" (card write failed).
Card names are matched without regard to case; new files are created upper case; writes append
(the program deletes first); names with "..", empty parts or a leading separator are refused.
A test run writes DATAnnnn.CSV (readings x100), DATAnnnn.TMT (copy of TEMPLATE.INI),
DATAnnnn.NAM (first line of NAME.INI) and INFO1.INI (the data file's name).
)";
}

Simulator::Simulator(SimulatorOptions options, std::ostream& out, std::ostream& log)
    : m_options(std::move(options)), m_out(out), m_log(log), m_card(m_options.card),
      m_firmware(m_card, m_options.firmware), m_start(std::chrono::steady_clock::now()) {
    m_output.SetBaud(m_options.baud);
    m_output.SetLatencyMs(m_options.latencyMs);
    m_firmware.SetSpeed(m_options.speed);
    if (m_options.replay) {
        m_replay = std::make_unique<Replay>(*m_options.replay);
    }
    if (m_options.registerPort) {
        m_registration = std::make_unique<PortRegistration>(
            m_options.portsDir.empty() ? DefaultPortsDir() : m_options.portsDir);
    }
}

Simulator::~Simulator() {
    Unplug("stopped");
    if (m_fifoFd >= 0) {
        ::close(m_fifoFd);
    }
    if (m_fifoWriteFd >= 0) {
        ::close(m_fifoWriteFd);
    }
    if (m_fifoCreated) {
        ::unlink(m_options.controlFifo.c_str());
    }
}

double Simulator::NowMs() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
        .count();
}

void Simulator::Announce(const std::string& text) {
    m_out << "kelvastra-sim: " << text << std::endl;
}

bool Simulator::Reregister() {
    if (!m_registration || !m_link.IsOpen()) {
        return true;
    }
    PortRecord record;
    record.port = m_link.SlavePath();
    record.description = m_options.description;
    record.hardwareId = m_options.hardwareId;
    record.serial = m_options.firmware.serialNumber;
    record.pid = static_cast<long>(getpid());
    return m_registration->Register(record);
}

bool Simulator::Plug() {
    if (m_link.IsOpen()) {
        return true;
    }
    std::string error;
    if (!m_link.Open(&error)) {
        m_log << "kelvastra-sim: " << error << std::endl;
        return false;
    }
    m_firmware.ResetLine();
    if (m_replay) {
        m_replay->ResetLine();
    }
    m_output.Clear();
    if (!Reregister()) {
        m_log << "kelvastra-sim: cannot write the port registration" << std::endl;
    }
    Announce("port " + m_link.SlavePath());
    return true;
}

void Simulator::Unplug(const std::string& why) {
    m_dropCloseAtMs.reset();
    if (m_registration) {
        m_registration->Unregister();
    }
    if (m_link.IsOpen()) {
        m_link.Close();
        m_firmware.ResetLine();
        m_output.Clear();
        Announce(why);
    }
}

void Simulator::FlushOutput(double nowMs) {
    while (m_link.IsOpen() && !m_dropCloseAtMs) {
        OutputQueue::Slice slice = m_output.Take(nowMs);
        if (slice.bytes.empty() && !slice.dropAfter) {
            return;
        }
        long written = m_link.Write(slice.bytes);
        if (written < 0) {
            Unplug("unplugged (write failed)");
            return;
        }
        if (!m_options.quiet && written > 0) {
            m_log << "sim> " << Printable(slice.bytes.substr(0, size_t(written))) << std::endl;
        }
        if (slice.dropAfter) {
            // Closing at once would let the terminal discard the bytes just written; the
            // program must see the transfer break off, not vanish.
            m_dropCloseAtMs = nowMs + kDropGraceMs;
            return;
        }
        if (static_cast<size_t>(written) < slice.bytes.size()) {
            m_output.PutBack(slice.bytes.substr(static_cast<size_t>(written)));
            return;
        }
    }
}

void Simulator::ServiceLink(double nowMs) {
    std::string bytes;
    if (!m_link.Read(bytes)) {
        Unplug("unplugged (read failed)");
        return;
    }
    while (!bytes.empty() && m_link.IsOpen() && !m_dropCloseAtMs) {
        bool fired = false;
        FeedLink(TakeUntilTrigger(bytes, fired), nowMs);
        if (fired) {
            const std::string command = m_triggerCommand;
            m_triggerVerb.clear();
            Announce("triggered " + command + ": " + Control(command));
        }
    }
}

std::string Simulator::TakeUntilTrigger(std::string& rest, bool& fired) {
    fired = false;
    std::string head;
    if (m_triggerVerb.empty()) {
        head.swap(rest);
        return head;
    }
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '\r') {
            m_triggerLine += rest[i];
            continue;
        }
        const std::vector<std::string> words = Words(m_triggerLine);
        m_triggerLine.clear();
        if (!words.empty() && UpperCase(words[0]) == m_triggerVerb) {
            // The line's own carriage return stays: the firmware takes the line after the fault.
            head = rest.substr(0, i);
            rest.erase(0, i);
            fired = true;
            return head;
        }
    }
    head.swap(rest);
    return head;
}

void Simulator::FeedLink(const std::string& bytes, double nowMs) {
    if (bytes.empty()) {
        return;
    }
    if (Silent(nowMs)) {
        if (!m_options.quiet) {
            m_log << "(silent) ignored " << Printable(bytes) << std::endl;
        }
        return;
    }
    if (!m_options.quiet) {
        m_log << "prog> " << Printable(bytes) << std::endl;
    }
    const double received = m_output.ReceivedMs(nowMs, bytes.size());
    if (!m_replay) {
        m_output.Push(m_firmware.Feed(bytes, nowMs), received);
        if (m_firmware.TakeLinkCut()) {
            Unplug("unplugged (fail-write)");
        }
        return;
    }
    if (std::string reply = m_replay->Feed(bytes); !reply.empty()) {
        m_output.Push({Chunk{std::move(reply)}}, received);
    }
    // A departure from the record is news even with --quiet.
    for (const std::string& report : m_replay->TakeReports()) {
        m_log << "kelvastra-sim: " << report << std::endl;
    }
    if (!m_replayDone && m_replay->Answered() == m_replay->Total()) {
        m_replayDone = true;
        Announce("replay done: " + std::to_string(m_replay->Total()) + " exchanges answered");
    }
}

void Simulator::ReadControl(int fd, std::string& buffer, bool& open) {
    // One read per readiness report, so that a blocking descriptor never blocks the loop.
    char chunk[4096];
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
        buffer.append(chunk, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        open = false;
    }
    for (size_t end; (end = buffer.find('\n')) != std::string::npos;) {
        std::string line = buffer.substr(0, end);
        buffer.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string reply = Control(line);
        if (!reply.empty()) {
            if (reply.back() == '\n') {
                m_out << reply << std::flush;
            } else {
                Announce(reply);
            }
        }
    }
}

bool Simulator::OpenFifo() {
    if (m_options.controlFifo.empty()) {
        return true;
    }
    struct stat st {};
    if (::stat(m_options.controlFifo.c_str(), &st) != 0) {
        if (::mkfifo(m_options.controlFifo.c_str(), 0600) != 0) {
            m_log << "kelvastra-sim: cannot create the control FIFO " << m_options.controlFifo
                  << std::endl;
            return false;
        }
        m_fifoCreated = true;
    } else if (!S_ISFIFO(st.st_mode)) {
        m_log << "kelvastra-sim: " << m_options.controlFifo << " is not a FIFO" << std::endl;
        return false;
    }
    m_fifoFd = ::open(m_options.controlFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    // Holding a writer ourselves keeps the FIFO from reporting end of file between clients.
    m_fifoWriteFd = ::open(m_options.controlFifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    m_fifoOpen = m_fifoFd >= 0;
    return m_fifoOpen;
}

int Simulator::Run() {
    // The emulated line rate times bytes to a few microseconds; the kernel's default slack of
    // 50 us per wake-up would add up over a thousand short exchanges.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (!OpenFifo()) {
        return 1;
    }
    if (!m_link.IsOpen() && !Plug()) {
        return 1;
    }
    while (!m_quit && !s_signal) {
        double now = NowMs();
        std::vector<pollfd> fds;
        int linkIndex = -1, stdinIndex = -1, fifoIndex = -1;
        if (m_link.IsOpen()) {
            linkIndex = static_cast<int>(fds.size());
            fds.push_back({m_link.MasterFd(), POLLIN, 0});
        }
        if (m_stdinOpen) {
            stdinIndex = static_cast<int>(fds.size());
            fds.push_back({STDIN_FILENO, POLLIN, 0});
        }
        if (m_fifoOpen) {
            fifoIndex = static_cast<int>(fds.size());
            fds.push_back({m_fifoFd, POLLIN, 0});
        }
        double wait = 20.0;
        double due = m_output.NextDueMs(now);
        if (due >= 0) {
            wait = std::min(wait, std::max(0.0, due - now));
        }
        if (m_firmware.RunStateOfTest() == RunState::Running) {
            wait = std::min(wait, 5.0);
        }
        if (!m_output.Empty() && due <= now) {
            // The terminal is full: wait until it takes more.
            if (linkIndex >= 0) {
                fds[static_cast<size_t>(linkIndex)].events |= POLLOUT;
            }
            wait = 5.0;
        }
        // Sub-millisecond waits: an emulated line's bytes are due a fraction of a millisecond
        // apart, and whole-millisecond sleeps would slow every exchange down.
        const double waitNs = std::max(0.0, wait) * 1e6;
        timespec timeout{static_cast<time_t>(waitNs / 1e9),
                         static_cast<long>(std::fmod(waitNs, 1e9))};
        int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (ready < 0 && errno != EINTR) {
            m_log << "kelvastra-sim: poll failed" << std::endl;
            break;
        }
        now = NowMs();
        if (linkIndex >= 0 && (fds[size_t(linkIndex)].revents & (POLLIN | POLLHUP | POLLERR))) {
            ServiceLink(now);
        }
        if (stdinIndex >= 0 && (fds[size_t(stdinIndex)].revents & (POLLIN | POLLHUP))) {
            ReadControl(STDIN_FILENO, m_stdinBuffer, m_stdinOpen);
        }
        if (fifoIndex >= 0 && (fds[size_t(fifoIndex)].revents & (POLLIN | POLLHUP))) {
            bool open = true;
            ReadControl(m_fifoFd, m_fifoBuffer, open);
        }
        m_firmware.Tick(now);
        for (const std::string& event : m_firmware.TakeEvents()) {
            Announce(event);
        }
        if (m_dropCloseAtMs && now >= *m_dropCloseAtMs) {
            m_dropCloseAtMs.reset();
            Unplug("unplugged (link dropped mid-transfer)");
            if (m_dropReplugMs) {
                m_replugAtMs = now + *m_dropReplugMs;
                m_dropReplugMs.reset();
            }
        }
        if (m_replugAtMs && now >= *m_replugAtMs) {
            m_replugAtMs.reset();
            Plug();
        }
        FlushOutput(now);
    }
    Unplug("stopped");
    return 0;
}

} // namespace sim
