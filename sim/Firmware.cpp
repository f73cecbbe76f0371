#include "Firmware.h"

#include "common/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <utility>

namespace sim {

namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kMaxTraceSamples = 100000;
constexpr double kSampleSpacingUs = 590.0; // one raw trace sample every 0.59 ms

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0';
}

std::string Trim(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string ErrorLine(int number) {
    return "Error " + std::to_string(number) + "\r";
}

// Whole decimal integer arguments; false when any is missing or not a number.
bool ParseInts(const std::string& text, std::vector<long long>& values, size_t count) {
    std::istringstream in(text);
    values.clear();
    for (size_t i = 0; i < count; ++i) {
        long long v = 0;
        if (!(in >> v)) {
            return false;
        }
        values.push_back(v);
    }
    return true;
}

} // namespace

Firmware::Firmware(SimCard& card, FirmwareOptions options) : m_card(card), m_options(options) {
    SyncFirmwareLine();
    ReloadHardware();
    if (auto text = m_card.Read("TEMPLATE.INI")) {
        m_program = ProgramFromTemplate(*text, m_plant);
    }
}

void Firmware::SyncFirmwareLine() {
    // The program takes the firmware version from INFOW.INI after connecting, so the file has
    // to agree with what the firmware reports (it picks the listing format by it).
    auto text = m_card.Read("INFOW.INI");
    if (!text) {
        return;
    }
    const std::string key = "FirmwareVersion ";
    size_t at = 0;
    if (text->compare(0, key.size(), key) != 0) {
        at = text->find("\n" + key);
        if (at == std::string::npos) {
            return;
        }
        ++at;
    }
    size_t end = text->find('\n', at);
    std::string line = key + std::to_string(m_options.firmwareVersion);
    std::string updated =
        text->substr(0, at) + line + (end == std::string::npos ? std::string() : text->substr(end));
    if (updated != *text) {
        m_card.Replace("INFOW.INI", updated);
    }
}

void Firmware::ReloadHardware() {
    HardwareDescription hardware;
    if (auto text = m_card.Read("INFOW.INI")) {
        std::istringstream in(*text);
        ReadLeadingHardwareBlock(in, hardware);
    }
    hardware.FirmwareVersion = m_options.firmwareVersion;
    m_plant.SetHardware(hardware, m_options.hardwareVersion);
}

void Firmware::SetFirmwareVersion(int version) {
    m_options.firmwareVersion = version;
    SyncFirmwareLine();
    ReloadHardware();
}

void Firmware::SetHardwareVersion(int version) {
    m_options.hardwareVersion = version;
    ReloadHardware();
}

void Firmware::SetIdentity(int index, std::optional<std::string> text) {
    if (index >= 0 && index < 5) {
        m_identity[static_cast<size_t>(index)] = std::move(text);
    }
}

std::string Firmware::Identity(int index) const {
    if (index < 0 || index > 4) {
        return {};
    }
    if (const auto& text = m_identity[static_cast<size_t>(index)]) {
        return *text;
    }
    switch (index) {
    case 0:
        return "Kelvastra Controller";
    case 1:
        return "Serial Number " + m_options.serialNumber;
    case 2: {
        char text[64];
        int v = m_options.firmwareVersion;
        std::snprintf(text, sizeof text, "Firmware Version %d.%03d", v / 1000, std::abs(v % 1000));
        return text;
    }
    case 3:
        return "Hardware = " + std::to_string(m_options.hardwareVersion);
    default:
        return "Kelvastra TR simulator";
    }
}

int Firmware::ReportedRunState() const {
    if (m_runState != RunState::Idle) {
        return m_runState;
    }
    return m_forcedState.value_or(RunState::Idle);
}

void Firmware::InjectReplies(const std::string& text, int count) {
    for (int i = 0; i < count; ++i) {
        m_injected.push_back(text);
    }
}

std::vector<std::string> Firmware::TakeEvents() {
    std::vector<std::string> events;
    events.swap(m_events);
    return events;
}

const char* Firmware::ModeName() const {
    switch (m_mode) {
    case Mode::Write:
        return "write";
    case Mode::Upload:
        return "upload";
    case Mode::Command:
        break;
    }
    return "command";
}

void Firmware::EnterTransferMode(const std::string& writeName) {
    m_line.clear();
    m_uploadLines.clear();
    if (writeName.empty()) {
        m_mode = Mode::Upload;
        return;
    }
    m_mode = Mode::Write;
    m_writeName = writeName;
    m_writeOk = m_card.Append(writeName, "");
}

void Firmware::ResetLine() {
    m_line.clear();
    m_mode = Mode::Command;
    m_uploadLines.clear();
}

void Firmware::AdvanceClock(double nowMs) {
    if (m_lastMs < 0) {
        m_lastMs = nowMs;
    }
    double dt = nowMs - m_lastMs;
    if (dt <= 0) {
        return;
    }
    m_lastMs = nowMs;
    if (m_run && m_runState == RunState::Running) {
        m_runSimMs += dt * m_speed;
        m_run->AdvanceTo(m_runSimMs);
        m_plant.SetSetpoint(m_run->TargetAt(m_runSimMs));
        if (m_run->Finished()) {
            m_events.push_back("test finished " + m_run->DataFileName() + " " +
                               std::to_string(m_run->LinesWritten()) + " lines");
            m_runState = RunState::Idle;
            m_plant.SetRunning(false);
            m_plant.SetSetpoint(m_plant.SetpointForPressure(0.0));
        }
    }
    m_plant.Advance(dt);
}

void Firmware::Tick(double nowMs) {
    AdvanceClock(nowMs);
}

bool Firmware::StartTest(double nowMs, double speed, std::string* message) {
    AdvanceClock(nowMs);
    if (m_run && m_runState != RunState::Idle) {
        if (message) {
            *message = "a test is already running";
        }
        return false;
    }
    if (speed > 0) {
        m_speed = speed;
    }
    DeviceProgramTable table = HasUsedEntry(m_program) ? m_program : DefaultProgram(m_plant);
    m_run = std::make_unique<TestRun>(m_card, table, m_plant);
    if (!m_run->Start()) {
        if (message) {
            *message = "the card cannot be written";
        }
        m_run.reset();
        return false;
    }
    m_forcedState.reset();
    m_runState = RunState::Running;
    m_runSimMs = 0;
    m_plant.SetRunning(true);
    m_plant.SetSpacerUm(-1);
    m_events.push_back("test started " + m_run->DataFileName());
    if (message) {
        *message = m_run->DataFileName();
    }
    return true;
}

bool Firmware::PauseTest(double nowMs) {
    AdvanceClock(nowMs);
    if (!m_run || m_runState != RunState::Running) {
        return false;
    }
    m_runState = RunState::Paused;
    m_events.push_back("test paused " + m_run->DataFileName());
    return true;
}

bool Firmware::ResumeTest(double nowMs) {
    AdvanceClock(nowMs);
    if (!m_run || m_runState != RunState::Paused) {
        return false;
    }
    m_runState = RunState::Running;
    m_events.push_back("test resumed " + m_run->DataFileName());
    return true;
}

bool Firmware::StopTest(double nowMs) {
    AdvanceClock(nowMs);
    m_forcedState.reset();
    if (!m_run || m_runState == RunState::Idle) {
        return false;
    }
    m_runState = RunState::Idle;
    m_plant.SetRunning(false);
    m_plant.SetSetpoint(m_plant.SetpointForPressure(0.0));
    m_events.push_back("test stopped " + m_run->DataFileName() + " " +
                       std::to_string(m_run->LinesWritten()) + " lines");
    return true;
}

std::vector<Chunk> Firmware::Feed(std::string_view bytes, double nowMs) {
    AdvanceClock(nowMs);
    std::vector<Chunk> out;
    for (char c : bytes) {
        if (c == '\r') {
            std::string line;
            line.swap(m_line);
            HandleLine(std::move(line), out);
            continue;
        }
        if (m_line.size() >= kMaxLine) {
            // A runaway line without a carriage return: answer once and start over.
            m_line.clear();
            out.push_back({ErrorLine(FirmwareError::UnknownCommand)});
            continue;
        }
        m_line += c;
    }
    return out;
}

void Firmware::HandleLine(std::string line, std::vector<Chunk>& out) {
    const size_t first = out.size();
    HandleLineReply(std::move(line), out);
    if (m_stray) {
        Chunk stray{*m_stray + "\r"};
        m_stray.reset();
        out.insert(m_strayAfter ? out.end() : out.begin() + static_cast<std::ptrdiff_t>(first),
                   std::move(stray));
    }
}

void Firmware::HandleLineReply(std::string line, std::vector<Chunk>& out) {
    if (!m_injected.empty()) {
        // A busy controller answers without acting on the line.
        out.push_back({m_injected.front() + "\r"});
        m_injected.pop_front();
        return;
    }
    switch (m_mode) {
    case Mode::Write:
        HandleWriteLine(line, out);
        break;
    case Mode::Upload:
        HandleUploadLine(line, out);
        break;
    case Mode::Command:
        HandleCommand(Trim(line), out);
        break;
    }
}

void Firmware::HandleWriteLine(const std::string& line, std::vector<Chunk>& out) {
    if (!line.empty() && line[0] == kEndByte) {
        m_mode = Mode::Command;
        out.push_back({m_writeOk ? "OK\r" : ErrorLine(FirmwareError::CardWrite)});
        if (UpperCase(m_writeName) == "INFOW.INI") {
            ReloadHardware();
        }
        return;
    }
    if (m_piecesToFailure > 0 && --m_piecesToFailure == 0) {
        if (m_failCutsLink) {
            m_linkCut = true;
            return;
        }
        m_writeOk = false;
    }
    if (m_writeOk && !m_card.Append(m_writeName, line)) {
        m_writeOk = false;
    }
    out.push_back({m_writeOk ? "OK\r" : ErrorLine(FirmwareError::CardWrite)});
}

void Firmware::HandleUploadLine(const std::string& line, std::vector<Chunk>& out) {
    if (!line.empty() && line[0] == kEndByte) {
        m_mode = Mode::Command;
        DeviceProgramTable table{};
        for (size_t i = 0; i < m_uploadLines.size(); ++i) {
            size_t entry = i / kProgramLineFields;
            if (entry < table.size()) {
                StoreUploadField(table[entry], i % kProgramLineFields, m_uploadLines[i]);
            }
        }
        m_program = table;
        m_programUploaded = true;
        m_uploadLines.clear();
        m_events.push_back("program table uploaded");
        out.push_back({"OK\r"});
        return;
    }
    m_uploadLines.push_back(line);
    out.push_back({"OK\r"});
}

void Firmware::AppendTransfer(std::vector<Chunk>& out, std::string content, std::string end) {
    if (m_endApart) {
        if (!content.empty()) {
            out.push_back({std::move(content), 0, true});
        }
        out.push_back({std::move(end), m_endDelayMs, true});
    } else {
        out.push_back({content + end, 0, true});
    }
}

void Firmware::HandleCommand(const std::string& line, std::vector<Chunk>& out) {
    using namespace FirmwareError;
    if (line.size() < 2 || line[0] != '0') {
        out.push_back({ErrorLine(UnknownCommand)});
        return;
    }
    std::string verb;
    std::string args;
    if (line[1] == '?') {
        verb = line.substr(0, std::min<size_t>(3, line.size()));
        args = line.size() > 3 ? Trim(line.substr(3)) : "";
    } else {
        verb = line.substr(0, 2);
        args = Trim(line.substr(2));
    }
    verb = UpperCase(verb);
    std::vector<long long> n;

    if (verb == "0?R") {
        if (!ParseInts(args, n, 1) || n[0] < 0 || n[0] > 4) {
            out.push_back({ErrorLine(BadArgument)});
            return;
        }
        out.push_back({Identity(static_cast<int>(n[0])) + "\r"});
    } else if (verb == "0?S") {
        out.push_back({std::to_string(ReportedRunState()) + "\r"});
    } else if (verb == "0?V") {
        out.push_back({std::to_string(m_options.capacityKb) + "\r"});
    } else if (verb == "0?D") {
        if (!ParseInts(args, n, 1) || n[0] < 0 || n[0] > kWells) {
            out.push_back({ErrorLine(BadArgument)});
            return;
        }
        if (const int error = m_sensorErrors[static_cast<size_t>(n[0])]) {
            out.push_back({"Error " + std::to_string(error) + "\r"});
            return;
        }
        out.push_back({std::to_string(m_plant.Reading(static_cast<int>(n[0]))) + "\r"});
    } else if (verb == "0A") {
        if (!ParseInts(args, n, 1)) {
            out.push_back({ErrorLine(BadArgument)});
            return;
        }
        m_plant.SetSetpoint(double(n[0]));
        out.push_back({"OK\r"});
    } else if (verb == "0R") {
        if (!ParseInts(args, n, 1)) {
            out.push_back({ErrorLine(BadArgument)});
            return;
        }
        m_plant.SetValveOpen(n[0] != 0);
        out.push_back({"OK\r"});
    } else if (verb == "0H") {
        ReloadHardware();
        out.push_back({"OK\r"});
    } else if (verb == "0P") {
        m_mode = Mode::Upload;
        m_uploadLines.clear();
        out.push_back({"OK\r"});
    } else if (verb == "0I") {
        std::string lines;
        for (const DeviceProgramEntry& entry : m_program) {
            lines += FormatProgramLine(entry) + "\r";
        }
        lines += std::string(1, kEndByte) + "\r";
        out.push_back({"OK\r"});
        out.push_back({lines});
    } else if (verb == "0L") {
        out.push_back({"OK\r"});
        AppendTransfer(out, m_card.Listing(m_options.firmwareVersion), std::string(1, kEndByte));
    } else if (verb == "0F") {
        auto content = m_card.Read(args);
        if (!content) {
            // The end byte still follows, so a reader waiting for it is not left hanging.
            out.push_back({ErrorLine(NoSuchFile)});
            AppendTransfer(out, "", std::string(1, kEndByte));
            return;
        }
        out.push_back({"OK\r"});
        if (m_cutNext && UpperCase(args) == m_cutName) {
            content->resize(std::min(content->size(), *m_cutNext));
            m_cutNext.reset();
        }
        AppendTransfer(out, std::move(*content), std::string(1, kEndByte));
    } else if (verb == "0W") {
        // The firmware opens files for appending and creates them at once.
        m_mode = Mode::Write;
        m_writeName = args;
        m_writeOk = m_card.Append(args, "");
        m_piecesToFailure = 0;
        if (m_failPiece && UpperCase(args) == m_failName) {
            m_piecesToFailure = *m_failPiece;
            m_failPiece.reset();
        }
        out.push_back(
            {m_writeOk ? "OK\r" : ErrorLine(IsSafeCardName(args) ? CardWrite : BadArgument)});
    } else if (verb == "0X") {
        out.push_back({"OK\r"});
        const bool isProtected = m_protectAll || std::find(m_protected.begin(), m_protected.end(),
                                                           UpperCase(args)) != m_protected.end();
        if (isProtected && m_card.Exists(args))
            out.push_back({ErrorLine(CardWrite)});
        else
            out.push_back({m_card.Remove(args) ? "Deleted\r" : ErrorLine(NoSuchFile)});
    } else if (verb == "0Z") {
        if (!ParseInts(args, n, 3) || n[0] < 0 || n[0] > kWells || n[2] < 0 ||
            n[2] > kMaxTraceSamples) {
            out.push_back({ErrorLine(BadArgument)});
            return;
        }
        out.push_back({"OK\r"});
        // The regulator is driven to the set point and the sensor sampled as it follows.
        m_plant.SetSetpoint(double(n[1]));
        std::string lines;
        for (long long i = 0; i < n[2]; ++i) {
            m_plant.Advance(kSampleSpacingUs / 1000.0);
            long long timeUs = std::llround(double(i) * kSampleSpacingUs);
            lines += std::to_string(timeUs) + " " +
                     std::to_string(m_plant.Reading(static_cast<int>(n[0]))) + "\n";
        }
        AppendTransfer(out, std::move(lines), std::string(1, kEndByte));
    } else {
        out.push_back({ErrorLine(UnknownCommand)});
    }
}

void Firmware::CutNextTransfer(const std::string& name, std::optional<size_t> bytes) {
    m_cutName = UpperCase(name);
    m_cutNext = bytes;
}

void Firmware::ProtectFile(const std::string& name) {
    if (name.empty()) {
        m_protected.clear();
        m_protectAll = false;
    } else if (name == "*") {
        m_protectAll = true;
    } else {
        m_protected.push_back(UpperCase(name));
    }
}

void Firmware::FailWriteAt(const std::string& name, std::optional<int> piece, bool cutLink) {
    m_failName = UpperCase(name);
    m_failPiece = piece;
    m_failCutsLink = cutLink;
    m_piecesToFailure = 0;
}

bool Firmware::TakeLinkCut() {
    return std::exchange(m_linkCut, false);
}

} // namespace sim
