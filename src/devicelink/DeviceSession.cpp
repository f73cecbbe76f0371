#include "devicelink/DeviceSession.h"

#include "common/MessageLog.h"

#include <algorithm>
#include <cstdio>

DeviceSession::DeviceSession(std::unique_ptr<ISerialChannel> channel)
    : m_controller(std::move(channel)) {
    MessageLog& log = MessageLog::Instance();
    log.SetEchoToStdout(false);
    log.Bind(this);
    // A tool has no message box: the firmware notice goes to standard error.
    m_controller.SetNoticeHandler([](const std::string& text, const std::string& caption) {
        std::fprintf(stderr, "%s: %s", caption.c_str(), text.c_str());
        std::fflush(stderr);
    });
}

DeviceSession::~DeviceSession() {
    m_controller.serial.Close();
    MessageLog& log = MessageLog::Instance();
    log.Unbind(this);
    log.SetEchoToStdout(true);
}

namespace {

std::string g_chosenSerial;

// "A1 on /dev/pts/3, B2 on /dev/pts/4"; a board that could not be asked shows "?".
std::string PresentList(const std::vector<PortInfo>& found) {
    std::string text;
    for (const PortInfo& port : found) {
        text += text.empty() ? "" : ", ";
        text += (port.serialNumber.empty() ? "?" : port.serialNumber) + " on " + port.portName;
    }
    return text;
}

} // namespace

void DeviceSession::SetChosenSerial(const std::string& serialNumber) {
    g_chosenSerial = serialNumber;
}

bool DeviceSession::ChoosePort(Controller& controller, const std::string& port,
                               std::string& error) {
    if (!port.empty()) {
        controller.portName = port;
        return true;
    }
    const std::vector<PortInfo> found = controller.FindControllers(true);
    if (found.empty()) {
        error = "no controller found (no port matches; give one with --port)";
        return false;
    }
    if (!g_chosenSerial.empty()) {
        for (const PortInfo& candidate : found) {
            if (candidate.serialNumber == g_chosenSerial) {
                controller.portName = candidate.portName;
                return true;
            }
        }
        error = "Error:  no controller with serial number " + g_chosenSerial +
                "; present: " + PresentList(found);
        return false;
    }
    if (found.size() > 1) {
        error = "Error:  " + std::to_string(found.size()) + " controllers present (" +
                PresentList(found) + "); choose one with --serial SN";
        return false;
    }
    controller.portName = found.front().portName;
    return true;
}

bool DeviceSession::Open(const std::string& port, std::string& error) {
    if (!ChoosePort(m_controller, port, error))
        return false;
    m_found = true;
    const int result = m_controller.Connect();
    if (result == 1) {
        // The fitted hardware, as the desktop program reads it when the controller appears:
        // set points and forces depend on the regulator and the membrane.
        std::vector<std::string> lines;
        m_controller.ReadFileLines("INFOW.INI", lines);
        ApplyCardHardwareLines(lines, m_controller.hardware);
        return true;
    }
    error = Controller::ConnectFailureText(result, m_controller.portName);
    return false;
}

void DeviceSession::AppendLogMessage(const std::string& text) {
    std::lock_guard lock(m_mutex);
    m_log += text;
}

std::string DeviceSession::LogText() const {
    std::lock_guard lock(m_mutex);
    return m_log;
}

std::string DeviceSession::LogSinceMark() const {
    std::lock_guard lock(m_mutex);
    return m_log.substr(std::min(m_mark, m_log.size()));
}

void DeviceSession::MarkLog() {
    std::lock_guard lock(m_mutex);
    m_mark = m_log.size();
}
