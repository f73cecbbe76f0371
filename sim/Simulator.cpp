#include "Simulator.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <ostream>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sim {

volatile std::sig_atomic_t Simulator::s_signal = 0;

namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();
constexpr double kDropGraceMs = 300.0;

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

// The text after the first `skip` words, as typed.
std::string Rest(const std::string& line, size_t skip) {
    size_t at = 0;
    for (size_t i = 0; i < skip; ++i) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string::npos) {
            return {};
        }
        at = line.find_first_of(" \t", at);
        if (at == std::string::npos) {
            return {};
        }
    }
    at = line.find_first_not_of(" \t", at);
    return at == std::string::npos ? std::string() : line.substr(at);
}

bool ToLong(const std::string& text, long long& value) {
    try {
        size_t used = 0;
        value = std::stoll(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

bool ToDouble(const std::string& text, double& value) {
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

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

const char* ControlHelpText() {
    return R"(Control commands (standard input, and the FIFO of --control; one per line):
  help                     this text
  status                   run state, port, faults in force
  quit                     leave (the port registration is removed)
  state N | state auto     report run state N to "0?S" while no test runs (3 running,
                           4 paused) / stop forcing it; start and stop also end the forcing
  start [SPEED]            start a test run of the programmed table (else TEMPLATE.INI, else a
                           short sample set); writes DATAnnnn.CSV/.TMT/.NAM and INFO1.INI
  pause | resume | stop    pause (state 4), resume (state 3), stop the test run (idle, state 0)
  finish                   record the rest of the running test at once and end it
  speed F                  simulated seconds per real second for test runs
  unplug | replug          remove the port (pty closed, registration deleted) / plug a new one
  error97 N                the next N command lines are answered "Error 97" and not acted on
  error N [COUNT]          the next COUNT (1) command lines are answered "Error N"
  inject COUNT TEXT        the next COUNT command lines are answered TEXT (e.g. "Error" without
                           a number, or "error 5" in lower case)
  stray [before|after] [TEXT] | stray off   the reply to the next command line comes with one
                           more line, TEXT (default OK), in front of it (before, the default) or
                           behind all of it (after), as a reply that came late or an echo would
  silence [MS] | silence off   ignore the line for MS milliseconds (no MS: until "silence off")
  garbage N                send N random printable bytes now
  garbage-hex HEX          send these bytes now (e.g. 0d17)
  drop N [REPLUG_MS] | drop off   close the link after N bytes of the next file transfer
                           ("0F", "0L", "0Z" content); replug after REPLUG_MS when given
  latency MS               hold every reply back by MS milliseconds
  baud N                   emulate an N-baud line both ways, 8N1 (0: unlimited)
  end-byte apart [MS] | end-byte joined   send 0x17 in its own write MS (30) ms after the
                           content / right behind the last content byte (default)
  firmware N               firmware version code (4050 = 4.05); below 1540 the old listing
  hardware-version N       the number in identity record 3 ("Hardware = N")
  identity I TEXT | identity I default   replace identity record I (0..4)
  description TEXT | hardware-id TEXT     change the registration (rewritten at once)
  spacer UM | spacer off   put spacers of UM micrometres under every shuttle
  when VERB COMMAND | when off   run COMMAND (any control command) just before the firmware
                           takes the next command line that starts with VERB (e.g. when 0F silence)
  clear                    end every injected fault (silence, drop, latency, end byte apart,
                           short transfer, protected files, failing writes, injected replies,
                           stray line, trigger, transfer mode)
  stuck write NAME | stuck upload   as if a session had sent "0W NAME" (or "0P") and gone
                           away before its end line: every line is content, answered OK
  capacity KB              card capacity reported by "0?V"
  sensor-error CH N | sensor-error CH off   "0?D CH" answers "Error N" (a broken sensor)
  protect NAME | protect * | protect off   "0X NAME" fails ("Error 4") while NAME is on the
                           card (* every file)
  fail-write NAME N [unplug] | fail-write off   the N-th content line (from 1) of the next
                           "0W NAME" is answered "Error 4" and neither it nor the rest of that
                           write reaches the card; with unplug the port is unplugged as it
                           arrives instead (a link lost in the middle of a write)
  short NAME BYTES | short off   the next "0F NAME" sends only BYTES bytes, then 0x17
Replies go to standard output as "kelvastra-sim: ok ..." or "kelvastra-sim: error ...";
notices as "kelvastra-sim: port PATH", "kelvastra-sim: unplugged", "kelvastra-sim: test ...".
)";
}

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

std::string Simulator::Control(const std::string& line) {
    auto words = Words(line);
    if (words.empty()) {
        return "";
    }
    const std::string& cmd = words[0];
    double now = NowMs();
    long long n = 0;
    double f = 0;
    auto wantInt = [&](size_t i, long long& v) { return words.size() > i && ToLong(words[i], v); };

    if (cmd == "help") {
        return ControlHelpText();
    }
    if (cmd == "quit" || cmd == "exit") {
        m_quit = true;
        return "ok quit";
    }
    if (cmd == "status") {
        std::ostringstream s;
        s << "ok state " << m_firmware.ReportedRunState() << " port "
          << (m_link.IsOpen() ? m_link.SlavePath() : "-") << " firmware "
          << m_firmware.FirmwareVersion() << " baud " << m_output.Baud() << " latency "
          << m_output.LatencyMs() << " injected " << m_firmware.PendingInjectedReplies()
          << " silent " << (Silent(now) ? "yes" : "no") << " stray "
          << (m_firmware.StrayLineArmed() ? "yes" : "no") << " mode " << m_firmware.ModeName()
          << " card " << m_card.Root().string();
        if (const TestRun* run = m_firmware.CurrentRun()) {
            s << " test " << run->DataFileName() << " lines " << run->LinesWritten();
        }
        return s.str();
    }
    if (cmd == "state") {
        if (words.size() > 1 && words[1] == "auto") {
            m_firmware.ForceRunState(std::nullopt);
            return "ok state auto";
        }
        if (!wantInt(1, n)) {
            return "error usage: state N | state auto";
        }
        m_firmware.ForceRunState(static_cast<int>(n));
        return "ok state " + std::to_string(n);
    }
    if (cmd == "start") {
        double speed = 0;
        if (words.size() > 1 && (!ToDouble(words[1], speed) || speed <= 0)) {
            return "error usage: start [SPEED]";
        }
        std::string message;
        if (!m_firmware.StartTest(now, speed, &message)) {
            return "error " + message;
        }
        return "ok start " + message;
    }
    if (cmd == "pause") {
        return m_firmware.PauseTest(now) ? "ok pause" : "error no test running";
    }
    if (cmd == "resume") {
        return m_firmware.ResumeTest(now) ? "ok resume" : "error no test paused";
    }
    if (cmd == "stop") {
        return m_firmware.StopTest(now) ? "ok stop" : "ok stop (no test)";
    }
    if (cmd == "finish") {
        if (m_firmware.RunStateOfTest() == RunState::Idle) {
            return "error no test running";
        }
        m_firmware.ResumeTest(now);
        double speed = m_firmware.Speed();
        const TestRun* run = m_firmware.CurrentRun();
        // One huge step of simulated time finishes the run on this tick.
        m_firmware.SetSpeed(1e12);
        m_firmware.Tick(now + 1.0);
        m_firmware.SetSpeed(speed);
        return "ok finish " + (run ? run->DataFileName() : std::string());
    }
    if (cmd == "speed") {
        if (words.size() < 2 || !ToDouble(words[1], f) || f <= 0) {
            return "error usage: speed F";
        }
        m_firmware.SetSpeed(f);
        return "ok speed " + words[1];
    }
    if (cmd == "unplug") {
        m_replugAtMs.reset();
        Unplug();
        return "ok unplug";
    }
    if (cmd == "replug") {
        m_replugAtMs.reset();
        if (m_link.IsOpen()) {
            Unplug();
        }
        return Plug() ? "ok replug " + m_link.SlavePath() : "error cannot open a pty";
    }
    if (cmd == "error97") {
        if (!wantInt(1, n) || n < 0) {
            return "error usage: error97 N";
        }
        m_firmware.InjectReplies("Error 97", static_cast<int>(n));
        return "ok error97 " + std::to_string(n);
    }
    if (cmd == "error") {
        long long count = 1;
        if (!wantInt(1, n) || (words.size() > 2 && (!ToLong(words[2], count) || count < 0))) {
            return "error usage: error N [COUNT]";
        }
        m_firmware.InjectReplies("Error " + std::to_string(n), static_cast<int>(count));
        return "ok error " + std::to_string(n) + " x" + std::to_string(count);
    }
    if (cmd == "inject") {
        std::string text = Rest(line, 2);
        if (!wantInt(1, n) || n < 0 || text.empty()) {
            return "error usage: inject COUNT TEXT";
        }
        m_firmware.InjectReplies(text, static_cast<int>(n));
        return "ok inject " + std::to_string(n);
    }
    if (cmd == "stray") {
        if (words.size() == 2 && words[1] == "off") {
            m_firmware.StrikeStrayLine(std::nullopt);
            return "ok stray off";
        }
        const bool placed = words.size() > 1 && (words[1] == "before" || words[1] == "after");
        const bool after = placed && words[1] == "after";
        std::string text = Rest(line, placed ? 2 : 1);
        if (text.empty()) {
            text = "OK";
        }
        m_firmware.StrikeStrayLine(text, after);
        return std::string("ok stray ") + (after ? "after " : "before ") + text;
    }
    if (cmd == "silence") {
        if (words.size() > 1 && words[1] == "off") {
            m_silentUntilMs = -1;
            return "ok silence off";
        }
        if (words.size() > 1) {
            if (!ToDouble(words[1], f) || f < 0) {
                return "error usage: silence [MS] | silence off";
            }
            m_silentUntilMs = now + f;
            return "ok silence " + words[1];
        }
        m_silentUntilMs = kForever;
        return "ok silence";
    }
    if (cmd == "garbage") {
        if (!wantInt(1, n) || n < 0 || n > 1000000) {
            return "error usage: garbage N";
        }
        static std::mt19937 rng(4711);
        std::uniform_int_distribution<int> pick(0x21, 0x7E);
        std::string bytes;
        for (long long i = 0; i < n; ++i) {
            bytes += char(pick(rng));
        }
        m_output.PushNow(bytes, now);
        return "ok garbage " + std::to_string(n);
    }
    if (cmd == "garbage-hex") {
        if (words.size() < 2 || words[1].size() % 2 != 0) {
            return "error usage: garbage-hex HEX";
        }
        std::string bytes;
        for (size_t i = 0; i < words[1].size(); i += 2) {
            try {
                bytes += char(std::stoi(words[1].substr(i, 2), nullptr, 16));
            } catch (...) {
                return "error usage: garbage-hex HEX";
            }
        }
        m_output.PushNow(bytes, now);
        return "ok garbage-hex " + std::to_string(bytes.size());
    }
    if (cmd == "drop") {
        if (words.size() > 1 && words[1] == "off") {
            m_output.ArmDrop(std::nullopt);
            m_dropReplugMs.reset();
            return "ok drop off";
        }
        if (!wantInt(1, n) || n < 0) {
            return "error usage: drop N [REPLUG_MS] | drop off";
        }
        m_output.ArmDrop(n);
        m_dropReplugMs.reset();
        if (words.size() > 2) {
            if (!ToDouble(words[2], f) || f < 0) {
                return "error usage: drop N [REPLUG_MS] | drop off";
            }
            m_dropReplugMs = f;
        }
        return "ok drop " + std::to_string(n);
    }
    if (cmd == "latency") {
        if (words.size() < 2 || !ToDouble(words[1], f) || f < 0) {
            return "error usage: latency MS";
        }
        m_output.SetLatencyMs(f);
        return "ok latency " + words[1];
    }
    if (cmd == "baud") {
        if (!wantInt(1, n) || n < 0) {
            return "error usage: baud N";
        }
        m_output.SetBaud(static_cast<int>(n));
        return "ok baud " + std::to_string(n);
    }
    if (cmd == "end-byte") {
        if (words.size() > 1 && words[1] == "joined") {
            m_firmware.SetEndByteApart(false);
            return "ok end-byte joined";
        }
        if (words.size() > 1 && words[1] == "apart") {
            long long ms = 30;
            if (words.size() > 2 && (!ToLong(words[2], ms) || ms < 0)) {
                return "error usage: end-byte apart [MS] | end-byte joined";
            }
            m_firmware.SetEndByteApart(true, static_cast<int>(ms));
            return "ok end-byte apart " + std::to_string(ms);
        }
        return "error usage: end-byte apart [MS] | end-byte joined";
    }
    if (cmd == "firmware") {
        if (!wantInt(1, n)) {
            return "error usage: firmware N";
        }
        m_firmware.SetFirmwareVersion(static_cast<int>(n));
        return "ok firmware " + std::to_string(n);
    }
    if (cmd == "hardware-version") {
        if (!wantInt(1, n)) {
            return "error usage: hardware-version N";
        }
        m_firmware.SetHardwareVersion(static_cast<int>(n));
        return "ok hardware-version " + std::to_string(n);
    }
    if (cmd == "identity") {
        if (!wantInt(1, n) || n < 0 || n > 4 || words.size() < 3) {
            return "error usage: identity I TEXT | identity I default";
        }
        std::string text = Rest(line, 2);
        if (text == "default") {
            m_firmware.SetIdentity(static_cast<int>(n), std::nullopt);
        } else {
            m_firmware.SetIdentity(static_cast<int>(n), text);
        }
        return "ok identity " + std::to_string(n) + " " + m_firmware.Identity(static_cast<int>(n));
    }
    if (cmd == "description" || cmd == "hardware-id") {
        std::string text = Rest(line, 1);
        if (text.empty()) {
            return "error usage: " + cmd + " TEXT";
        }
        (cmd == "description" ? m_options.description : m_options.hardwareId) = text;
        return Reregister() ? "ok " + cmd + " " + text : "error cannot write the registration";
    }
    if (cmd == "spacer") {
        if (words.size() > 1 && words[1] == "off") {
            m_firmware.LivePlant().SetSpacerUm(-1);
            return "ok spacer off";
        }
        if (words.size() < 2 || !ToDouble(words[1], f) || f < 0) {
            return "error usage: spacer UM | spacer off";
        }
        m_firmware.LivePlant().SetSpacerUm(f);
        return "ok spacer " + words[1];
    }
    if (cmd == "sensor-error") {
        long long channel = 0;
        const bool off = words.size() > 2 && words[2] == "off";
        if (!wantInt(1, channel) || channel < 0 || channel > kWells ||
            (!off && (!wantInt(2, n) || n <= 0))) {
            return "error usage: sensor-error CH N | sensor-error CH off";
        }
        m_firmware.SetSensorError(static_cast<int>(channel), off ? 0 : static_cast<int>(n));
        return "ok sensor-error " + words[1] + " " + words[2];
    }
    if (cmd == "protect") {
        const std::string name = Rest(line, 1);
        if (name.empty()) {
            return "error usage: protect NAME | protect off";
        }
        m_firmware.ProtectFile(name == "off" ? std::string() : name);
        return "ok protect " + name;
    }
    if (cmd == "fail-write") {
        if (words.size() == 2 && words[1] == "off") {
            m_firmware.FailWriteAt({}, std::nullopt);
            return "ok fail-write off";
        }
        const bool unplug = words.size() == 4 && words[3] == "unplug";
        if ((words.size() != 3 && !unplug) || !wantInt(2, n) || n < 1) {
            return "error usage: fail-write NAME N [unplug] | fail-write off";
        }
        m_firmware.FailWriteAt(words[1], static_cast<int>(n), unplug);
        return "ok fail-write " + words[1] + " " + std::to_string(n) + (unplug ? " unplug" : "");
    }
    if (cmd == "short") {
        if (words.size() > 1 && words[1] == "off") {
            m_firmware.CutNextTransfer({}, std::nullopt);
            return "ok short off";
        }
        if (words.size() < 3 || !wantInt(2, n) || n < 0) {
            return "error usage: short NAME BYTES | short off";
        }
        m_firmware.CutNextTransfer(words[1], static_cast<size_t>(n));
        return "ok short " + words[1] + " " + std::to_string(n);
    }
    if (cmd == "when") {
        if (words.size() == 2 && words[1] == "off") {
            m_triggerVerb.clear();
            return "ok when off";
        }
        if (words.size() < 3) {
            return "error usage: when VERB COMMAND | when off";
        }
        m_triggerVerb = UpperCase(words[1]);
        m_triggerCommand = Rest(line, 2);
        m_triggerLine.clear();
        return "ok when " + m_triggerVerb;
    }
    if (cmd == "clear") {
        m_triggerVerb.clear();
        m_silentUntilMs = -1;
        m_output.ArmDrop(std::nullopt);
        m_dropReplugMs.reset();
        m_output.SetLatencyMs(0);
        m_firmware.SetEndByteApart(false);
        m_firmware.CutNextTransfer({}, std::nullopt);
        m_firmware.ProtectFile({});
        m_firmware.FailWriteAt({}, std::nullopt);
        m_firmware.ClearInjectedReplies();
        m_firmware.StrikeStrayLine(std::nullopt);
        m_firmware.ResetLine();
        return "ok clear";
    }
    if (cmd == "stuck") {
        if (words.size() == 2 && words[1] == "upload") {
            m_firmware.EnterTransferMode({});
            return "ok stuck upload";
        }
        if (words.size() == 3 && words[1] == "write") {
            m_firmware.EnterTransferMode(words[2]);
            return "ok stuck write " + words[2];
        }
        return "error usage: stuck write NAME | stuck upload";
    }
    if (cmd == "capacity") {
        if (!wantInt(1, n) || n < 0) {
            return "error usage: capacity KB";
        }
        m_firmware.SetCapacityKb(n);
        return "ok capacity " + std::to_string(n);
    }
    return "error unknown control command '" + cmd + "' (try help)";
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
