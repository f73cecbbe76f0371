// The simulator's registration as a virtual serial port, so that discovery finds it like a
// board: one small file per simulator in the ports folder, removed again on unplug and exit.
#pragma once

#include <filesystem>
#include <string>

namespace sim {

inline constexpr const char* kDefaultDescription = "Adafruit Kelvastra Simulator";
inline constexpr const char* kDefaultHardwareId = "USB\\VID_239A&PID_800B";

// $KELVASTRA_PORTS_DIR, else $XDG_RUNTIME_DIR/kelvastra/ports, else /tmp/kelvastra-<uid>/ports.
std::filesystem::path DefaultPortsDir();

struct PortRecord {
    std::string port;
    std::string description = kDefaultDescription;
    std::string hardwareId = kDefaultHardwareId;
    std::string serial; // the identity's serial number, so discovery tells simulators apart
    long pid = 0;
};

// The file's text: key=value lines in the fixed order port, description, hardwareId, location,
// pid, serial.
std::string PortFileText(const PortRecord& record);

class PortRegistration {
public:
    explicit PortRegistration(std::filesystem::path folder);
    ~PortRegistration();
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    // Writes (or rewrites) the file atomically: temporary name, then rename. False on failure.
    bool Register(const PortRecord& record);
    void Unregister();
    bool Registered() const { return m_registered; }
    const std::filesystem::path& FilePath() const { return m_file; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_file;
    bool m_registered = false;
};

} // namespace sim
