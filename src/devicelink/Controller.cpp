#include "devicelink/Controller.h"

#include "common/Interruption.h"
#include "common/MessageLog.h"
#include "common/NumberText.h"
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

} // namespace

Controller::Controller(std::unique_ptr<ISerialChannel> channel)
    : serial(std::move(channel)), m_enumerate(&EnumeratePorts) {}

bool Controller::FindController() {
    ports = m_enumerate ? m_enumerate() : std::vector<PortInfo>{};
    if (auto port = MatchControllerPort(ports)) {
        portName = *port;
        return true;
    }
    return false;
}

int Controller::Exchange(const std::string& text, std::string& reply, int capacity, int& length) {
    // After a stop request only the work that has to end properly goes on.
    if (interruption::Pending() != 0 && !interruption::Shielded()) {
        lastResult = kInterrupted;
        return 1;
    }
    for (int attempt = 1;; ++attempt) {
        lastResult = serial.Write(text);
        if (lastResult != Serial::kSuccess)
            return NoteLinkFailure();
        lastResult = serial.ReadLine(reply, capacity, length);
        if (lastResult != Serial::kSuccess)
            return lastResult == Serial::kOverflow ? 1 : NoteLinkFailure();
        if (!StartsWith(reply, "Error"))
            return 0;
        const int number = ErrorNumber(reply);
        if (number != kRetryError || attempt >= kMaxAttempts) {
            lastResult = kErrorReply;
            return number;
        }
    }
}

int Controller::NoteLinkFailure() {
    ++m_linkFailures;
    return 1;
}

int Controller::Command(const std::string& text) {
    std::string reply;
    int length = 0;
    return Exchange(text, reply, kReplyCapacity, length);
}

int Controller::Query(const std::string& text, std::string& reply, int capacity, int& length) {
    return Exchange(text, reply, capacity, length);
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
    const int result = Query(text, reply, kRecordCapacity, length);
    if (result != 0)
        return result;
    // Blanks around the number are allowed; anything else means the reply is not the value.
    const std::size_t first = reply.find_first_not_of(" \t\n");
    const std::size_t last = reply.find_last_not_of(" \t\n");
    const std::string_view number = first == std::string::npos
                                        ? std::string_view{}
                                        : std::string_view(reply).substr(first, last - first + 1);
    const bool sign = !number.empty() && (number[0] == '-' || number[0] == '+');
    const std::string_view digits = number.substr(sign ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        lastResult = kErrorReply;
        return kNotANumber;
    }
    value = LeadingInt(number);
    return 0;
}

int Controller::SendEndLine() {
    return Command(std::string{Serial::kTransferTerminator, '\r'});
}

int Controller::Greet(std::string& record0) {
    // A silent controller would otherwise cost a time-out for every query of the connect.
    if (QueryRecord(0, record0) == 1 && lastResult != kErrorReply &&
        lastResult != Serial::kOverflow) {
        MessageLog::Instance().WriteMessage("\nThe controller on " + portName +
                                            " does not answer.\n");
        return kConnectNoAnswer;
    }
    if (record0 != "OK")
        return 1;
    // Where it should name itself it acknowledges: it is still in the write or upload mode of
    // a transfer that an earlier session did not end.
    SendEndLine();
    MessageLog::Instance().WriteMessage(
        "\nThe controller was still taking a file or program from an earlier session that was "
        "cut off. That transfer has now been ended; what it wrote on the card may be "
        "incomplete.\n");
    if (QueryRecord(0, record0) != 0 || record0 != "OK")
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
    ClearDeviceProgram(table);
    if (Command("0I\r") == 1)
        return -1;
    for (std::size_t index = 0;; ++index) {
        std::string line;
        int count = 0;
        lastResult = serial.ReadLine(line, kReplyCapacity, count);
        if (lastResult != Serial::kSuccess)
            return -1;
        if (ParseProgramLine(line, index, table) == kProgramLineEnd)
            return 1;
    }
}
