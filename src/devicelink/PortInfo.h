// Finding the controller's port: the serial ports that are present (the platform's and the
// virtual ports that simulators register), and the rule that picks the controller among them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct PortInfo {
    std::string description; // manufacturer and product text
    std::string hardwareId;  // "USB\VID_239A&PID_800B" style, empty when not a USB device
    std::string portName;    // what Serial opens: the system location (/dev/ttyACM0)
    // The identity's serial number: a simulator's registration gives it; a board's is learned
    // when it connects or is asked (KnownSerialNumber). Empty while unknown.
    std::string serialNumber = {};

    bool operator==(const PortInfo&) const = default;
};

// The controller: first the earliest port whose description names the board maker ("Adafruit"),
// else the earliest whose hardware id has vendor 239A with product 800B or 000B. Case-sensitive.
std::optional<std::size_t> MatchControllerIndex(const std::vector<PortInfo>& ports);
std::optional<std::string> MatchControllerPort(const std::vector<PortInfo>& ports);
// Every port that either pass matches: the description matches in list order, then the
// identifier matches, so the first is the one MatchControllerIndex picks.
std::vector<std::size_t> MatchControllerIndices(const std::vector<PortInfo>& ports);

// The serial number in identity record 1 ("Serial Number SIM-0001"): its last word, after any
// ':', '=' or '#'; empty when the record holds nothing but blanks.
std::string SerialFromIdentity(std::string_view record);
// Serial numbers learned in this process, by port: a board's is known only once it has been
// asked, and asking means opening its port. Any thread.
void NoteSerialNumber(const std::string& portName, const std::string& serialNumber);
std::string KnownSerialNumber(const std::string& portName);

// "USB\VID_%04X&PID_%04X".
std::string UsbHardwareId(uint16_t vendorId, uint16_t productId);
// Manufacturer and product joined by a blank, empty parts left out.
std::string JoinDescription(std::string_view manufacturer, std::string_view product);

// Folder where simulators register their ports: $KELVASTRA_PORTS_DIR, else
// $XDG_RUNTIME_DIR/kelvastra/ports, else /tmp/kelvastra-<uid>/ports.
std::filesystem::path VirtualPortsFolder();
// One registration file ("key=value" lines: port, description, hardwareId, location, pid,
// serial), or
// nothing when it lacks a port. Liveness is not checked here.
struct VirtualPortRegistration {
    PortInfo info;
    long long pid = 0;
};
std::optional<VirtualPortRegistration> ParseVirtualPortFile(std::string_view text);
// The live registrations of `folder` in file-name order: a registration whose port path no longer
// exists or whose process is gone is an unplugged device and left out.
std::vector<PortInfo> ReadVirtualPorts(const std::filesystem::path& folder);

// The platform's serial ports in enumeration order, then the virtual ports.
std::vector<PortInfo> EnumeratePorts();
