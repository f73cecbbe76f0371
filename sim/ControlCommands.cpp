#include "ControlCommands.h"

#include "Simulator.h"

#include <limits>
#include <random>
#include <sstream>

namespace sim {

namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();

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

using Reply = std::optional<std::string>;
constexpr Reply kUsage = std::nullopt;

} // namespace

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    return words;
}

bool ControlLine::Int(size_t i, long long& value) const {
    return words.size() > i && ToLong(words[i], value);
}

bool ControlLine::Double(size_t i, double& value) const {
    return words.size() > i && ToDouble(words[i], value);
}

std::string ControlLine::Rest(size_t skip) const {
    size_t at = 0;
    for (size_t i = 0; i < skip; ++i) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string::npos) {
            return {};
        }
        at = text.find_first_of(" \t", at);
        if (at == std::string::npos) {
            return {};
        }
    }
    at = text.find_first_not_of(" \t", at);
    return at == std::string::npos ? std::string() : text.substr(at);
}

// The handlers reach into the simulator: this function is its friend.
const std::vector<ControlCommand>& ControlCommands() {
    using S = Simulator;
    using L = ControlLine;
    static const std::vector<ControlCommand> table = {
        {"help", "help", "this text", {}, [](S&, const L&) -> Reply { return ControlHelpText(); }},
        {"status",
         "status",
         "run state, port, faults in force",
         {},
         [](S& s, const L& c) -> Reply {
             std::ostringstream out;
             out << "ok state " << s.m_firmware.ReportedRunState() << " port "
                 << (s.m_link.IsOpen() ? s.m_link.SlavePath() : "-") << " firmware "
                 << s.m_firmware.FirmwareVersion() << " baud " << s.m_output.Baud() << " latency "
                 << s.m_output.LatencyMs() << " injected " << s.m_firmware.PendingInjectedReplies()
                 << " silent " << (s.Silent(c.nowMs) ? "yes" : "no") << " stray "
                 << (s.m_firmware.StrayLineArmed() ? "yes" : "no") << " mode "
                 << s.m_firmware.ModeName() << " card " << s.m_card.Root().string();
             if (const TestRun* run = s.m_firmware.CurrentRun()) {
                 out << " test " << run->DataFileName() << " lines " << run->LinesWritten();
             }
             return out.str();
         }},
        {"quit",
         "quit",
         "leave (the port registration is removed)",
         {},
         [](S& s, const L&) -> Reply {
             s.m_quit = true;
             return "ok quit";
         }},
        {"exit",
         "exit",
         {},
         {},
         [](S& s, const L&) -> Reply {
             s.m_quit = true;
             return "ok quit";
         }},
        {"state",
         "state N | state auto",
         "report run state N to \"0?S\" while no test runs (3 running,\n4 paused) / stop forcing "
         "it; start and stop also end the forcing",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (c.Is(1, "auto")) {
                 s.m_firmware.ForceRunState(std::nullopt);
                 return "ok state auto";
             }
             if (!c.Int(1, n)) {
                 return kUsage;
             }
             s.m_firmware.ForceRunState(static_cast<int>(n));
             return "ok state " + std::to_string(n);
         }},
        {"start",
         "start [SPEED]",
         "start a test run of the programmed table (else TEMPLATE.INI, else a\nshort sample set); "
         "writes DATAnnnn.CSV/.TMT/.NAM and INFO1.INI",
         {},
         [](S& s, const L& c) -> Reply {
             double speed = 0;
             if (c.words.size() > 1 && (!ToDouble(c.words[1], speed) || speed <= 0)) {
                 return kUsage;
             }
             std::string message;
             if (!s.m_firmware.StartTest(c.nowMs, speed, &message)) {
                 return "error " + message;
             }
             return "ok start " + message;
         }},
        {"pause", "pause", "pause (state 4), resume (state 3), stop the test run (idle, state 0)",
         "pause | resume | stop",
         [](S& s, const L& c) -> Reply {
             return s.m_firmware.PauseTest(c.nowMs) ? "ok pause" : "error no test running";
         }},
        {"resume",
         "resume",
         {},
         {},
         [](S& s, const L& c) -> Reply {
             return s.m_firmware.ResumeTest(c.nowMs) ? "ok resume" : "error no test paused";
         }},
        {"stop",
         "stop",
         {},
         {},
         [](S& s, const L& c) -> Reply {
             return s.m_firmware.StopTest(c.nowMs) ? "ok stop" : "ok stop (no test)";
         }},
        {"finish",
         "finish",
         "record the rest of the running test at once and end it",
         {},
         [](S& s, const L& c) -> Reply {
             if (s.m_firmware.RunStateOfTest() == RunState::Idle) {
                 return "error no test running";
             }
             s.m_firmware.ResumeTest(c.nowMs);
             const double speed = s.m_firmware.Speed();
             const TestRun* run = s.m_firmware.CurrentRun();
             // One huge step of simulated time finishes the run on this tick.
             s.m_firmware.SetSpeed(1e12);
             s.m_firmware.Tick(c.nowMs + 1.0);
             s.m_firmware.SetSpeed(speed);
             return "ok finish " + (run ? run->DataFileName() : std::string());
         }},
        {"speed",
         "speed F",
         "simulated seconds per real second for test runs",
         {},
         [](S& s, const L& c) -> Reply {
             double f = 0;
             if (!c.Double(1, f) || f <= 0) {
                 return kUsage;
             }
             s.m_firmware.SetSpeed(f);
             return "ok speed " + c.words[1];
         }},
        {"unplug", "unplug", "remove the port (pty closed, registration deleted) / plug a new one",
         "unplug | replug",
         [](S& s, const L&) -> Reply {
             s.m_replugAtMs.reset();
             s.Unplug();
             return "ok unplug";
         }},
        {"replug",
         "replug",
         {},
         {},
         [](S& s, const L&) -> Reply {
             s.m_replugAtMs.reset();
             if (s.m_link.IsOpen()) {
                 s.Unplug();
             }
             return s.Plug() ? "ok replug " + s.m_link.SlavePath() : "error cannot open a pty";
         }},
        {"error97",
         "error97 N",
         "the next N command lines are answered \"Error 97\" and not acted on",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n) || n < 0) {
                 return kUsage;
             }
             s.m_firmware.InjectReplies("Error 97", static_cast<int>(n));
             return "ok error97 " + std::to_string(n);
         }},
        {"error",
         "error N [COUNT]",
         "the next COUNT (1) command lines are answered \"Error N\"",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             long long count = 1;
             if (!c.Int(1, n) ||
                 (c.words.size() > 2 && (!ToLong(c.words[2], count) || count < 0))) {
                 return kUsage;
             }
             s.m_firmware.InjectReplies("Error " + std::to_string(n), static_cast<int>(count));
             return "ok error " + std::to_string(n) + " x" + std::to_string(count);
         }},
        {"inject",
         "inject COUNT TEXT",
         "the next COUNT command lines are answered TEXT (e.g. \"Error\" without\na number, or "
         "\"error 5\" in lower case)",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             const std::string text = c.Rest(2);
             if (!c.Int(1, n) || n < 0 || text.empty()) {
                 return kUsage;
             }
             s.m_firmware.InjectReplies(text, static_cast<int>(n));
             return "ok inject " + std::to_string(n);
         }},
        {"stray",
         "stray [before|after] [TEXT] | stray off",
         "the reply to the next command line comes with one\nmore line, TEXT (default OK), in "
         "front of it (before, the default) or\nbehind all of it (after), as a reply that came "
         "late or an echo would",
         {},
         [](S& s, const L& c) -> Reply {
             if (c.words.size() == 2 && c.words[1] == "off") {
                 s.m_firmware.StrikeStrayLine(std::nullopt);
                 return "ok stray off";
             }
             const bool placed = c.Is(1, "before") || c.Is(1, "after");
             const bool after = c.Is(1, "after");
             std::string text = c.Rest(placed ? 2 : 1);
             if (text.empty()) {
                 text = "OK";
             }
             s.m_firmware.StrikeStrayLine(text, after);
             return std::string("ok stray ") + (after ? "after " : "before ") + text;
         }},
        {"silence",
         "silence [MS] | silence off",
         "ignore the line for MS milliseconds (no MS: until \"silence off\")",
         {},
         [](S& s, const L& c) -> Reply {
             double f = 0;
             if (c.Is(1, "off")) {
                 s.m_silentUntilMs = -1;
                 return "ok silence off";
             }
             if (c.words.size() > 1) {
                 if (!ToDouble(c.words[1], f) || f < 0) {
                     return kUsage;
                 }
                 s.m_silentUntilMs = c.nowMs + f;
                 return "ok silence " + c.words[1];
             }
             s.m_silentUntilMs = kForever;
             return "ok silence";
         }},
        {"garbage",
         "garbage N",
         "send N random printable bytes now",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n) || n < 0 || n > 1000000) {
                 return kUsage;
             }
             static std::mt19937 rng(4711);
             std::uniform_int_distribution<int> pick(0x21, 0x7E);
             std::string bytes;
             for (long long i = 0; i < n; ++i) {
                 bytes += char(pick(rng));
             }
             s.m_output.PushNow(bytes, c.nowMs);
             return "ok garbage " + std::to_string(n);
         }},
        {"garbage-hex",
         "garbage-hex HEX",
         "send these bytes now (e.g. 0d17)",
         {},
         [](S& s, const L& c) -> Reply {
             if (c.words.size() < 2 || c.words[1].size() % 2 != 0) {
                 return kUsage;
             }
             std::string bytes;
             for (size_t i = 0; i < c.words[1].size(); i += 2) {
                 try {
                     bytes += char(std::stoi(c.words[1].substr(i, 2), nullptr, 16));
                 } catch (...) {
                     return kUsage;
                 }
             }
             s.m_output.PushNow(bytes, c.nowMs);
             return "ok garbage-hex " + std::to_string(bytes.size());
         }},
        {"drop",
         "drop N [REPLUG_MS] | drop off",
         "close the link after N bytes of the next file transfer\n(\"0F\", \"0L\", \"0Z\" "
         "content); replug after REPLUG_MS when given",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             double f = 0;
             if (c.Is(1, "off")) {
                 s.m_output.ArmDrop(std::nullopt);
                 s.m_dropReplugMs.reset();
                 return "ok drop off";
             }
             if (!c.Int(1, n) || n < 0) {
                 return kUsage;
             }
             s.m_output.ArmDrop(n);
             s.m_dropReplugMs.reset();
             if (c.words.size() > 2) {
                 if (!ToDouble(c.words[2], f) || f < 0) {
                     return kUsage;
                 }
                 s.m_dropReplugMs = f;
             }
             return "ok drop " + std::to_string(n);
         }},
        {"latency",
         "latency MS",
         "hold every reply back by MS milliseconds",
         {},
         [](S& s, const L& c) -> Reply {
             double f = 0;
             if (!c.Double(1, f) || f < 0) {
                 return kUsage;
             }
             s.m_output.SetLatencyMs(f);
             return "ok latency " + c.words[1];
         }},
        {"baud",
         "baud N",
         "emulate an N-baud line both ways, 8N1 (0: unlimited)",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n) || n < 0) {
                 return kUsage;
             }
             s.m_output.SetBaud(static_cast<int>(n));
             return "ok baud " + std::to_string(n);
         }},
        {"end-byte",
         "end-byte apart [MS] | end-byte joined",
         "send 0x17 in its own write MS (30) ms after the\ncontent / right behind the last "
         "content byte (default)",
         {},
         [](S& s, const L& c) -> Reply {
             if (c.Is(1, "joined")) {
                 s.m_firmware.SetEndByteApart(false);
                 return "ok end-byte joined";
             }
             if (!c.Is(1, "apart")) {
                 return kUsage;
             }
             long long ms = 30;
             if (c.words.size() > 2 && (!ToLong(c.words[2], ms) || ms < 0)) {
                 return kUsage;
             }
             s.m_firmware.SetEndByteApart(true, static_cast<int>(ms));
             return "ok end-byte apart " + std::to_string(ms);
         }},
        {"firmware",
         "firmware N",
         "firmware version code (4050 = 4.05); below 1540 the old listing",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n)) {
                 return kUsage;
             }
             s.m_firmware.SetFirmwareVersion(static_cast<int>(n));
             return "ok firmware " + std::to_string(n);
         }},
        {"hardware-version",
         "hardware-version N",
         "the number in identity record 3 (\"Hardware = N\")",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n)) {
                 return kUsage;
             }
             s.m_firmware.SetHardwareVersion(static_cast<int>(n));
             return "ok hardware-version " + std::to_string(n);
         }},
        {"identity",
         "identity I TEXT | identity I default",
         "replace identity record I (0..4)",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n) || n < 0 || n > 4 || c.words.size() < 3) {
                 return kUsage;
             }
             const std::string text = c.Rest(2);
             if (text == "default") {
                 s.m_firmware.SetIdentity(static_cast<int>(n), std::nullopt);
             } else {
                 s.m_firmware.SetIdentity(static_cast<int>(n), text);
             }
             return "ok identity " + std::to_string(n) + " " +
                    s.m_firmware.Identity(static_cast<int>(n));
         }},
        // The wider gap of this row is how the help has always looked.
        {"description", "description TEXT", "change the registration (rewritten at once)",
         "description TEXT | hardware-id TEXT  ",
         [](S& s, const L& c) -> Reply {
             const std::string text = c.Rest(1);
             if (text.empty()) {
                 return kUsage;
             }
             s.m_options.description = text;
             return s.Reregister() ? "ok description " + text
                                   : "error cannot write the registration";
         }},
        {"hardware-id",
         "hardware-id TEXT",
         {},
         {},
         [](S& s, const L& c) -> Reply {
             const std::string text = c.Rest(1);
             if (text.empty()) {
                 return kUsage;
             }
             s.m_options.hardwareId = text;
             return s.Reregister() ? "ok hardware-id " + text
                                   : "error cannot write the registration";
         }},
        {"spacer",
         "spacer UM | spacer off",
         "put spacers of UM micrometres under every shuttle",
         {},
         [](S& s, const L& c) -> Reply {
             double f = 0;
             if (c.Is(1, "off")) {
                 s.m_firmware.LivePlant().SetSpacerUm(-1);
                 return "ok spacer off";
             }
             if (!c.Double(1, f) || f < 0) {
                 return kUsage;
             }
             s.m_firmware.LivePlant().SetSpacerUm(f);
             return "ok spacer " + c.words[1];
         }},
        {"when",
         "when VERB COMMAND | when off",
         "run COMMAND (any control command) just before the firmware\ntakes the next command "
         "line that starts with VERB (e.g. when 0F silence)",
         {},
         [](S& s, const L& c) -> Reply {
             if (c.words.size() == 2 && c.words[1] == "off") {
                 s.m_triggerVerb.clear();
                 return "ok when off";
             }
             if (c.words.size() < 3) {
                 return kUsage;
             }
             s.m_triggerVerb = UpperCase(c.words[1]);
             s.m_triggerCommand = c.Rest(2);
             s.m_triggerLine.clear();
             return "ok when " + s.m_triggerVerb;
         }},
        {"clear",
         "clear",
         "end every injected fault (silence, drop, latency, end byte apart,\nshort transfer, "
         "protected files, failing writes, injected replies,\nstray line, trigger, transfer mode)",
         {},
         [](S& s, const L&) -> Reply {
             s.m_triggerVerb.clear();
             s.m_silentUntilMs = -1;
             s.m_output.ArmDrop(std::nullopt);
             s.m_dropReplugMs.reset();
             s.m_output.SetLatencyMs(0);
             s.m_firmware.SetEndByteApart(false);
             s.m_firmware.CutNextTransfer({}, std::nullopt);
             s.m_firmware.ProtectFile({});
             s.m_firmware.FailWriteAt({}, std::nullopt);
             s.m_firmware.ClearInjectedReplies();
             s.m_firmware.StrikeStrayLine(std::nullopt);
             s.m_firmware.ResetLine();
             return "ok clear";
         }},
        {"stuck",
         "stuck write NAME | stuck upload",
         "as if a session had sent \"0W NAME\" (or \"0P\") and gone\naway before its end line: "
         "every line is content, answered OK",
         {},
         [](S& s, const L& c) -> Reply {
             if (c.words.size() == 2 && c.words[1] == "upload") {
                 s.m_firmware.EnterTransferMode({});
                 return "ok stuck upload";
             }
             if (c.words.size() == 3 && c.words[1] == "write") {
                 s.m_firmware.EnterTransferMode(c.words[2]);
                 return "ok stuck write " + c.words[2];
             }
             return kUsage;
         }},
        {"capacity",
         "capacity KB",
         "card capacity reported by \"0?V\"",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (!c.Int(1, n) || n < 0) {
                 return kUsage;
             }
             s.m_firmware.SetCapacityKb(n);
             return "ok capacity " + std::to_string(n);
         }},
        {"sensor-error",
         "sensor-error CH N | sensor-error CH off",
         "\"0?D CH\" answers \"Error N\" (a broken sensor)",
         {},
         [](S& s, const L& c) -> Reply {
             long long channel = 0;
             long long n = 0;
             const bool off = c.Is(2, "off");
             if (!c.Int(1, channel) || channel < 0 || channel > kWells ||
                 (!off && (!c.Int(2, n) || n <= 0))) {
                 return kUsage;
             }
             s.m_firmware.SetSensorError(static_cast<int>(channel), off ? 0 : static_cast<int>(n));
             return "ok sensor-error " + c.words[1] + " " + c.words[2];
         }},
        {"protect", "protect NAME | protect off",
         "\"0X NAME\" fails (\"Error 4\") while NAME is on the\ncard (* every file)",
         "protect NAME | protect * | protect off",
         [](S& s, const L& c) -> Reply {
             const std::string name = c.Rest(1);
             if (name.empty()) {
                 return kUsage;
             }
             s.m_firmware.ProtectFile(name == "off" ? std::string() : name);
             return "ok protect " + name;
         }},
        {"fail-write",
         "fail-write NAME N [unplug] | fail-write off",
         "the N-th content line (from 1) of the next\n\"0W NAME\" is answered \"Error 4\" and "
         "neither it nor the rest of that\nwrite reaches the card; with unplug the port is "
         "unplugged as it\narrives instead (a link lost in the middle of a write)",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (c.words.size() == 2 && c.words[1] == "off") {
                 s.m_firmware.FailWriteAt({}, std::nullopt);
                 return "ok fail-write off";
             }
             const bool unplug = c.words.size() == 4 && c.words[3] == "unplug";
             if ((c.words.size() != 3 && !unplug) || !c.Int(2, n) || n < 1) {
                 return kUsage;
             }
             s.m_firmware.FailWriteAt(c.words[1], static_cast<int>(n), unplug);
             return "ok fail-write " + c.words[1] + " " + std::to_string(n) +
                    (unplug ? " unplug" : "");
         }},
        {"short",
         "short NAME BYTES | short off",
         "the next \"0F NAME\" sends only BYTES bytes, then 0x17",
         {},
         [](S& s, const L& c) -> Reply {
             long long n = 0;
             if (c.Is(1, "off")) {
                 s.m_firmware.CutNextTransfer({}, std::nullopt);
                 return "ok short off";
             }
             if (c.words.size() < 3 || !c.Int(2, n) || n < 0) {
                 return kUsage;
             }
             s.m_firmware.CutNextTransfer(c.words[1], static_cast<size_t>(n));
             return "ok short " + c.words[1] + " " + std::to_string(n);
         }},
    };
    return table;
}

const char* ControlHelpText() {
    // Built once from the table: the usage in the first column, the text from column 27 on.
    static const std::string text = [] {
        constexpr size_t kColumn = 25;
        std::string help =
            "Control commands (standard input, and the FIFO of --control; one per line):\n";
        for (const ControlCommand& command : ControlCommands()) {
            if (command.help.empty()) {
                continue;
            }
            const std::string_view listed = command.listed.empty() ? command.usage : command.listed;
            help += "  ";
            help += listed;
            help += listed.size() < kColumn ? std::string(kColumn - listed.size(), ' ') : "   ";
            for (const char c : command.help) {
                help += c;
                if (c == '\n') {
                    help += std::string(kColumn + 2, ' ');
                }
            }
            help += '\n';
        }
        help += "Replies go to standard output as \"kelvastra-sim: ok ...\" or \"kelvastra-sim: "
                "error ...\";\nnotices as \"kelvastra-sim: port PATH\", \"kelvastra-sim: "
                "unplugged\", \"kelvastra-sim: test ...\".\n";
        return help;
    }();
    return text.c_str();
}

std::string Simulator::Control(const std::string& line) {
    ControlLine control{line, Words(line), NowMs()};
    if (control.words.empty()) {
        return "";
    }
    const std::string& verb = control.words[0];
    for (const ControlCommand& command : ControlCommands()) {
        if (command.verb == verb) {
            const std::optional<std::string> reply = command.run(*this, control);
            return reply ? *reply : "error usage: " + std::string(command.usage);
        }
    }
    return "error unknown control command '" + verb + "' (try help)";
}

} // namespace sim
