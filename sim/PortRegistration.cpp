#include "PortRegistration.h"

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace sim {

fs::path DefaultPortsDir() {
    if (const char* dir = std::getenv("KELVASTRA_PORTS_DIR"); dir && *dir) {
        return dir;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return fs::path(runtime) / "kelvastra" / "ports";
    }
    return fs::path("/tmp") / ("kelvastra-" + std::to_string(getuid())) / "ports";
}

std::string PortFileText(const PortRecord& record) {
    return "port=" + record.port + "\n" + "description=" + record.description + "\n" +
           "hardwareId=" + record.hardwareId + "\n" + "location=" + record.port + "\n" +
           "pid=" + std::to_string(record.pid) + "\n" + "serial=" + record.serial + "\n";
}

PortRegistration::PortRegistration(fs::path folder)
    : m_folder(std::move(folder)),
      m_file(m_folder / ("sim-" + std::to_string(getpid()) + ".port")) {}

PortRegistration::~PortRegistration() {
    Unregister();
}

bool PortRegistration::Register(const PortRecord& record) {
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    fs::path temp = m_file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << PortFileText(record);
        if (!out) {
            return false;
        }
    }
    fs::rename(temp, m_file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    m_registered = true;
    return true;
}

void PortRegistration::Unregister() {
    if (!m_registered) {
        return;
    }
    std::error_code ec;
    fs::remove(m_file, ec);
    m_registered = false;
}

} // namespace sim
