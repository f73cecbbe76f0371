#include "devicelink/PortInfo.h"

#include "common/TextLines.h"

#include "common/NumberText.h"
#include "common/platform/Process.h"
#include "devicelink/LinkText.h"

#include <QSerialPortInfo>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>

namespace {

bool Contains(const std::string& text, std::string_view key) {
    return text.find(key) != std::string::npos;
}

} // namespace

std::optional<std::size_t> MatchControllerIndex(const std::vector<PortInfo>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (Contains(ports[i].description, "Adafruit"))
            return i;
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& id = ports[i].hardwareId;
        if (Contains(id, "VID_239A") && (Contains(id, "PID_800B") || Contains(id, "PID_000B")))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> MatchControllerPort(const std::vector<PortInfo>& ports) {
    if (auto index = MatchControllerIndex(ports))
        return ports[*index].portName;
    return std::nullopt;
}

std::vector<std::size_t> MatchControllerIndices(const std::vector<PortInfo>& ports) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (Contains(ports[i].description, "Adafruit"))
            found.push_back(i);
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::string& id = ports[i].hardwareId;
        if (!Contains(ports[i].description, "Adafruit") && Contains(id, "VID_239A") &&
            (Contains(id, "PID_800B") || Contains(id, "PID_000B")))
            found.push_back(i);
    }
    return found;
}

std::string SerialFromIdentity(std::string_view record) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!record.empty() && blank(record.back()))
        record.remove_suffix(1);
    const std::size_t cut = record.find_last_of(" \t:=#");
    return std::string(cut == std::string_view::npos ? record : record.substr(cut + 1));
}

namespace {

std::mutex g_serialsMutex;
std::map<std::string, std::string> g_serials;

} // namespace

void NoteSerialNumber(const std::string& portName, const std::string& serialNumber) {
    std::lock_guard lock(g_serialsMutex);
    g_serials[portName] = serialNumber;
}

std::string KnownSerialNumber(const std::string& portName) {
    std::lock_guard lock(g_serialsMutex);
    const auto it = g_serials.find(portName);
    return it == g_serials.end() ? std::string() : it->second;
}

std::string UsbHardwareId(uint16_t vendorId, uint16_t productId) {
    return linktext::Format("USB\\VID_%04X&PID_%04X", vendorId, productId);
}

std::string JoinDescription(std::string_view manufacturer, std::string_view product) {
    std::string text(manufacturer);
    if (!text.empty() && !product.empty())
        text += ' ';
    text += product;
    return text;
}

std::filesystem::path VirtualPortsFolder() {
    if (const char* dir = std::getenv("KELVASTRA_PORTS_DIR"); dir && *dir)
        return dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::filesystem::path(runtime) / "kelvastra" / "ports";
    return std::filesystem::path("/tmp") /
           linktext::Format("kelvastra-%u", static_cast<unsigned>(::getuid())) / "ports";
}

std::optional<VirtualPortRegistration> ParseVirtualPortFile(std::string_view text) {
    VirtualPortRegistration registration;
    std::string port;
    std::string location;
    for (const std::string_view line : SplitTextLines(text)) {
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = line.substr(0, equals);
        const std::string value(line.substr(equals + 1));
        if (key == "port")
            port = value;
        else if (key == "description")
            registration.info.description = value;
        else if (key == "hardwareId")
            registration.info.hardwareId = value;
        else if (key == "location")
            location = value;
        else if (key == "pid")
            registration.pid = linktext::LeadingInteger(value);
        else if (key == "serial")
            registration.info.serialNumber = value;
    }
    if (port.empty() && location.empty())
        return std::nullopt;
    registration.info.portName = location.empty() ? port : location;
    return registration;
}

std::vector<PortInfo> ReadVirtualPorts(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().extension() == ".port")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());

    std::vector<PortInfo> ports;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in)
            continue;
        std::ostringstream text;
        text << in.rdbuf();
        auto registration = ParseVirtualPortFile(text.str());
        if (!registration || !platform::ProcessIsAlive(registration->pid))
            continue;
        if (!std::filesystem::exists(registration->info.portName, error))
            continue;
        ports.push_back(registration->info);
    }
    return ports;
}

std::vector<PortInfo> EnumeratePorts() {
    std::vector<PortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortInfo port;
        port.description =
            JoinDescription(info.manufacturer().toStdString(), info.description().toStdString());
        if (info.hasVendorIdentifier() && info.hasProductIdentifier())
            port.hardwareId = UsbHardwareId(info.vendorIdentifier(), info.productIdentifier());
        port.portName = info.systemLocation().toStdString();
        ports.push_back(std::move(port));
    }
    for (PortInfo& port : ReadVirtualPorts(VirtualPortsFolder()))
        ports.push_back(std::move(port));
    return ports;
}
