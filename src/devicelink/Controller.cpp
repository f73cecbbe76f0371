#include "devicelink/Controller.h"

#include "common/Interruption.h"
#include "common/MessageLog.h"
#include "common/NumberText.h"
#include "common/TrafficRecord.h"
#include "devicelink/LinkText.h"

#include <algorithm>
#include <climits>
#include <cmath>

using linktext::Format;

namespace {

int ClampToInt(int64_t value) {
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The number after "Error" and one separator; a reply without one (or with 0, which would read
// as success) is kErrorWithoutNumber.
int ErrorNumber(const std::string& reply) {
    if (reply.size() < 7)
        return Controller::kErrorWithoutNumber;
    const std::string_view rest = std::string_view(reply).substr(6);
    if (!linktext::HasLeadingNumber(rest))
        return Controller::kErrorWithoutNumber;
    const int number = LeadingInt(rest);
    return number == 0 ? Controller::kErrorWithoutNumber : number;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

bool IsAcknowledgement(std::string_view reply) {
    return Trimmed(reply) == "OK";
}

// Blanks around the number are allowed; anything else means the reply is not the value.
bool IsDecimalInteger(std::string_view reply) {
    std::string_view number = Trimmed(reply);
    if (!number.empty() && (number[0] == '-' || number[0] == '+'))
        number.remove_prefix(1);
    return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

// "Error", one separator, a number: what the controller sends for a failed command.
bool IsErrorReply(std::string_view reply) {
    if (reply.size() < 7 || reply.substr(0, 5) != "Error")
        return false;
    const std::string_view number = Trimmed(reply.substr(6));
    return !number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos;
}

// An entry line of "0I": fourteen fields, thirteen when the name is empty.
bool IsProgramEntryLine(std::string_view line) {
    std::size_t fields = 0;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t start = line.find_first_not_of(" \t\n", i);
        if (start == std::string_view::npos)
            break;
        ++fields;
        i = line.find_first_of(" \t\n", start);
        if (i == std::string_view::npos)
            break;
    }
    return fields == kProgramLineFields || fields + 1 == kProgramLineFields;
}

// The command line without its carriage return, as an echo would bring it back.
std::string_view CommandWord(std::string_view text) {
    return Trimmed(text.substr(0, text.find('\r')));
}

// A reply as the message log shows it: control bytes escaped, long ones cut.
std::string Shown(std::string_view bytes) {
    constexpr std::size_t kShown = 80;
    std::string text = EscapeTrafficBytes(bytes.substr(0, kShown));
    return bytes.size() > kShown ? text + "..." : text;
}

} // namespace

Controller::Controller(std::unique_ptr<ISerialChannel> channel)
    : serial(std::move(channel)), m_enumerate(&EnumeratePorts) {}

bool Controller::FindController() {
    ports = m_enumerate ? m_enumerate() : std::vector<PortInfo>{};
    if (!chosenSerial.empty()) {
        for (const std::size_t i : MatchControllerIndices(ports)) {
            const PortInfo& port = ports[i];
            const std::string serialNumber =
                port.serialNumber.empty() ? KnownSerialNumber(port.portName) : port.serialNumber;
            if (serialNumber == chosenSerial) {
                portName = port.portName;
                return true;
            }
        }
        return false;
    }
    if (auto port = MatchControllerPort(ports)) {
        portName = *port;
        return true;
    }
    return false;
}

std::vector<PortInfo> Controller::FindControllers(bool askUnknown) {
    ports = m_enumerate ? m_enumerate() : std::vector<PortInfo>{};
    std::vector<PortInfo> found;
    for (const std::size_t i : MatchControllerIndices(ports)) {
        PortInfo port = ports[i];
        if (port.serialNumber.empty())
            port.serialNumber = KnownSerialNumber(port.portName);
        const bool inUse = serial.IsOpen() && port.portName == portName;
        if (port.serialNumber.empty() && askUnknown && !inUse) {
            // Asked quietly: a board that cannot be opened (another program has it) is listed
            // without a number rather than reported.
            MessageLog::ScopedMute mute;
            Controller probe;
            probe.portName = port.portName;
            // A board that stays silent holds up the list, so it gets less than a connect.
            probe.serial.SetLongTimeoutMs(kProbeTimeoutMs);
            std::string record;
            if (probe.OpenPort() == 1 && probe.QueryRecord(1, record) == 0) {
                port.serialNumber = SerialFromIdentity(record);
                NoteSerialNumber(port.portName, port.serialNumber);
            }
            probe.serial.Close();
        }
        found.push_back(std::move(port));
    }
    return found;
}

std::string Controller::SerialNumber() const {
    return infoLines.size() > 1 ? SerialFromIdentity(infoLines[1]) : std::string();
}

Controller::ReplyForm Controller::FormOfQuery(const std::string& text) {
    for (const char* verb : {kRunStateQuery, "0?V\r", "0?D "}) {
        if (StartsWith(text, verb))
            return ReplyForm::Integer;
    }
    return StartsWith(text, "0?R ") ? ReplyForm::Record : ReplyForm::Any;
}

int Controller::Exchange(const std::string& text, ReplyForm form, std::string& reply, int capacity,
                         int& length) {
    // After a stop request only the work that has to end properly goes on.
    if (interruption::Pending() != 0 && !interruption::Shielded()) {
        lastResult = kInterrupted;
        return 1;
    }
    // A query has no effect on the controller, so one whose reply is another's is asked again.
    const bool mayAskAgain = form == ReplyForm::Integer || form == ReplyForm::Record;
    for (int attempt = 1;; ++attempt) {
        // What came before the command (a reply that came late, a line nobody asked for) is no
        // reply to it.
        serial.DropWaiting();
        lastResult = serial.Write(text);
        if (lastResult != Serial::kSuccess)
            return NoteLinkFailure();
        lastResult = serial.ReadLine(reply, capacity, length);
        if (lastResult != Serial::kSuccess)
            return lastResult == Serial::kOverflow ? 1 : NoteLinkFailure();
        if (StartsWith(reply, "Error")) {
            const int number = ErrorNumber(reply);
            if (number != kRetryError || attempt >= kMaxAttempts) {
                lastResult = kErrorReply;
                return number;
            }
            continue;
        }
        bool fits = true;
        switch (form) {
        case ReplyForm::Acknowledgement:
            fits = IsAcknowledgement(reply);
            break;
        case ReplyForm::Integer:
            fits = IsDecimalInteger(reply);
            break;
        case ReplyForm::Record:
            fits = !IsAcknowledgement(reply) && Trimmed(reply) != CommandWord(text);
            break;
        case ReplyForm::Any:
            break;
        }
        if (fits)
            return 0;
        if (!mayAskAgain || attempt >= kMaxAttempts) {
            lastResult = kErrorReply;
            return kUnexpectedReply;
        }
    }
}

int Controller::FailUnfitReply(const std::string& text, std::string_view reply) {
    ++m_linkFailures;
    lastResult = kErrorReply;
    MessageLog::Instance().WriteMessage("\nThe controller's reply \"" + Shown(reply) +
                                        "\" does not fit the command " + Shown(CommandWord(text)) +
                                        "; it was not used.\n");
    return kUnexpectedReply;
}

int Controller::NoteLinkFailure() {
    ++m_linkFailures;
    return 1;
}

int Controller::Command(const std::string& text) {
    std::string reply;
    int length = 0;
    const int result = Exchange(text, ReplyForm::Acknowledgement, reply, kReplyCapacity, length);
    return result == kUnexpectedReply ? FailUnfitReply(text, reply) : result;
}

int Controller::Query(const std::string& text, std::string& reply, int capacity, int& length) {
    const int result = Exchange(text, FormOfQuery(text), reply, capacity, length);
    return result == kUnexpectedReply ? FailUnfitReply(text, reply) : result;
}

int Controller::QueryRecord(int index, std::string& text) {
    if (index < 0 || index >= kRecordCount)
        return 2;
    std::string reply;
    int length = 0;
    if (Query(Format("%d?R %d\r", 0, index), reply, kRecordCapacity, length) != 0)
        return 1;
    text = reply;
    return 0;
}

int Controller::QueryInteger(const std::string& text, int& value) {
    std::string reply;
    int length = 0;
    const int result = Exchange(text, ReplyForm::Integer, reply, kRecordCapacity, length);
    if (result == kUnexpectedReply) {
        FailUnfitReply(text, reply);
        return kNotANumber;
    }
    if (result != 0)
        return result;
    value = LeadingInt(reply);
    return 0;
}

int Controller::ReadTransfer(const std::string& command, bool mayAskAgain,
                             std::vector<std::string>& lines, std::string* shortTail, int& status) {
    for (int attempt = 1;; ++attempt) {
        lines.clear();
        if (shortTail)
            shortTail->clear();
        status = Serial::kSuccess;
        std::string ack;
        int length = 0;
        const int result =
            Exchange(command, ReplyForm::Acknowledgement, ack, kReplyCapacity, length);
        if (result == 1)
            return result;
        int count = 0;
        status = serial.ReadLines(lines, count, shortTail);
        std::string unfit = result == kUnexpectedReply ? ack : std::string();
        if (unfit.empty() && !lines.empty() && BeginsWithReplyLine(lines.front()))
            unfit = lines.front().substr(0, lines.front().find('\r') + 1);
        if (unfit.empty())
            return result;
        lines.clear();
        if (shortTail)
            shortTail->clear();
        // Only a transfer read to its end byte leaves a line on which it can be asked again.
        if (!mayAskAgain || status != Serial::kSuccess || attempt >= kMaxAttempts ||
            interruption::Pending() != 0)
            return FailUnfitReply(command, unfit);
    }
}

bool Controller::BeginsWithReplyLine(std::string_view content) {
    const std::size_t end = content.find('\r');
    if (end == std::string_view::npos || content.substr(0, end).find('\n') != std::string::npos)
        return false;
    const std::string_view line = content.substr(0, end);
    return IsAcknowledgement(line) || IsErrorReply(line);
}

int Controller::SendEndLine() {
    return Command(std::string{Serial::kTransferTerminator, '\r'});
}

int Controller::Greet(std::string& record0) {
    // Asked as it is: an acknowledgement here is news, not a reply to ask again for.
    const std::string query = Format("%d?R %d\r", 0, 0);
    int length = 0;
    const int result = Exchange(query, ReplyForm::Any, record0, kRecordCapacity, length);
    // A silent controller would otherwise cost a time-out for every query of the connect.
    if (result == 1 && lastResult != Serial::kOverflow) {
        MessageLog::Instance().WriteMessage("\nThe controller on " + portName +
                                            " does not answer.\n");
        return kConnectNoAnswer;
    }
    if (result != 0 || !IsAcknowledgement(record0))
        return 1;
    // Where it should name itself it acknowledges: it is still in the write or upload mode of
    // a transfer that an earlier session did not end, and the end line ends it. A controller
    // that refuses the end line was taking commands: the acknowledgement was a stray line.
    if (SendEndLine() != 0)
        return 1;
    MessageLog::Instance().WriteMessage(
        "\nThe controller was still taking a file or program from an earlier session that was "
        "cut off. That transfer has now been ended; what it wrote on the card may be "
        "incomplete.\n");
    if (Exchange(query, ReplyForm::Any, record0, kRecordCapacity, length) != 0 ||
        !IsAcknowledgement(record0))
        return 1;
    MessageLog::Instance().WriteMessage(
        "\nThe controller answers \"OK\" to every command, even after the end of a transfer: it "
        "is not taking commands. Unplug it and plug it in again.\n");
    return kConnectNotTakingCommands;
}

bool Controller::Identify() {
    std::string text;
    // The first round wakes the controller's identity replies up; its answers are not kept.
    m_greeting = Greet(text);
    if (m_greeting != 1)
        return false;
    for (int i = 1; i < kRecordCount; ++i)
        QueryRecord(i, text);

    infoLines.clear();
    for (int i = 0; i < kRecordCount; ++i) {
        std::string record;
        QueryRecord(i, record); // a failed query leaves it empty
        infoLines.push_back(record);
    }

    MessageLog& log = MessageLog::Instance();
    for (int i = 0; i < kRecordCount; ++i)
        log.WriteMessage((i == 0 ? "\n" : "") + infoLines[static_cast<std::size_t>(i)] + "\n");
    log.WriteMessage(std::string(kSoftwareVersion) + "\n");
    NoteSerialNumber(portName, SerialNumber());

    hardware.hardwareVersion = 1000;
    if (infoLines.size() >= 4) {
        const std::string upper = UpperAscii(infoLines[3]);
        const std::size_t p = upper.find("HARDWARE");
        // The number starts 11 characters after the word; a shorter record holds none.
        if (p != std::string::npos && upper.size() > p + 11) {
            const std::string number = infoLines[3].substr(p + 11, 15);
            const double value = LeadingDouble(number);
            hardware.hardwareVersion = std::isfinite(value)
                                           ? ClampToInt(static_cast<int64_t>(
                                                 std::trunc(std::clamp(value, -9.0e18, 9.0e18))))
                                           : 1000;
        }
    }

    hardware.FirmwareVersion = 1000;
    if (infoLines.size() >= 3) {
        const std::string upper = UpperAscii(infoLines[2]);
        const std::size_t p = upper.find("VERSION");
        if (p != std::string::npos) {
            const std::string number = infoLines[2].substr(p + 7, 8);
            const float version = static_cast<float>(LeadingDouble(number));
            const double scaled = static_cast<double>(version) * 1000.0;
            hardware.FirmwareVersion =
                std::isfinite(scaled)
                    ? ClampToInt(std::llround(std::clamp(scaled, -9.0e18, 9.0e18)))
                    : 1000;
        }
    }
    return true;
}

int Controller::OpenPort() {
    lastResult = serial.Open(portName, false, false, true, true, -1);
    return lastResult == Serial::kSuccess ? 1 : -1;
}

std::string Controller::ConnectFailureText(int result, const std::string& port) {
    switch (result) {
    case kConnectNoAnswer:
        return "the controller on " + port + " does not answer";
    case kConnectNotTakingCommands:
        return "the controller on " + port + " is not taking commands";
    case kConnectBroken:
        return "the link to the controller on " + port + " failed while connecting";
    default:
        return "cannot open " + port;
    }
}

int Controller::Connect() {
    if (OpenPort() != 1)
        return -1;
    m_linkFailures = 0;
    if (!Identify()) {
        serial.Close();
        return m_greeting;
    }
    ReadPositionOffsets();
    ReadDisplacementCoefficients();
    // Half an identity or a calibration table that broke off is not a connected controller:
    // its figures would be shown and used as if they were the device's.
    if (m_linkFailures > 0) {
        MessageLog::Instance().WriteMessage("\nThe link to the controller on " + portName +
                                            " failed while connecting.\n");
        serial.Close();
        return kConnectBroken;
    }
    if (hardware.FirmwareVersion == 74050 && hardware.hardwareVersion < 1000 && m_notice)
        m_notice(kFirmwareNotice, "Error");
    return 1;
}

int Controller::UploadProgram(DeviceProgramTable& table) {
    // A short table: it is sent to its end line even when a stop is requested meanwhile, so
    // that the controller does not stay in its upload mode.
    if (interruption::Pending() != 0) {
        lastResult = kInterrupted;
        return -1;
    }
    interruption::Shield shield;
    bool failed = false;
    for (const std::string& line : ProgramUploadLines(table)) {
        const int result = Command(line);
        if (result == 1)
            return -1; // the line is down: the rest would only wait for time-outs
        if (result != 0)
            failed = true; // an error reply: go on so that the controller sees the end line
    }
    return failed ? -1 : 1;
}

int Controller::ParseProgramLine(const std::string& line, std::size_t index,
                                 DeviceProgramTable& table) {
    return ::ParseProgramLine(line, index, table);
}

int Controller::ReadProgram(DeviceProgramTable& table) {
    for (int attempt = 1;; ++attempt) {
        ClearDeviceProgram(table);
        std::string unfit;
        int length = 0;
        const int result =
            Exchange("0I\r", ReplyForm::Acknowledgement, unfit, kReplyCapacity, length);
        if (result == 1)
            return -1;
        if (result != kUnexpectedReply)
            unfit.clear();
        // A line that is no entry (a stray acknowledgement taken for this one leaves the real
        // one first) would shift every entry after it: the lines are read to the end line and
        // asked for again.
        for (std::size_t index = 0;; ++index) {
            std::string line;
            int count = 0;
            lastResult = serial.ReadLine(line, kReplyCapacity, count);
            if (lastResult != Serial::kSuccess)
                return -1;
            if (!line.empty() && line[0] == kProgramEndByte)
                break;
            if (unfit.empty() && !IsProgramEntryLine(line))
                unfit = line;
            if (unfit.empty())
                ParseProgramLine(line, index, table);
        }
        if (unfit.empty())
            return 1;
        ClearDeviceProgram(table);
        if (attempt >= kMaxAttempts || interruption::Pending() != 0) {
            FailUnfitReply("0I\r", unfit);
            return -1;
        }
    }
}
