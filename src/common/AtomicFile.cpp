#include "common/AtomicFile.h"

#include "common/platform/Files.h"
#include "common/platform/Process.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A name no other writer picks: the target's own name (so a leftover says what it was), the
// process, a counter and the clock.
fs::path TemporaryName(const fs::path& target, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    const auto ticks = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    const auto process = static_cast<unsigned long long>(platform::ProcessId());
    fs::path name = ".";
    name += target.filename();
    name += "." + std::to_string(process) + "-" + std::to_string(counter.fetch_add(1)) + "-" +
            std::to_string((ticks + attempt) % 1000000) + ".part";
    return name;
}

std::mutex g_redirectMutex;
std::string g_redirectSuffix;
fs::path g_redirectDevice;

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

void AtomicFile::RedirectWritesForTests(std::string suffix, fs::path device) {
    std::lock_guard lock(g_redirectMutex);
    g_redirectSuffix = std::move(suffix);
    g_redirectDevice = std::move(device);
}

AtomicFile::AtomicFile(fs::path target) : m_target(std::move(target)) {}

AtomicFile::~AtomicFile() {
    Abort();
}

bool AtomicFile::Fail(const std::string& what, int errorNumber) {
    m_failed = true;
    if (m_error.empty()) {
        m_error = what + " " + platform::Utf8FromPath(m_target);
        m_errorNumber = errorNumber;
        if (errorNumber != 0)
            m_error += ": " + std::string(std::strerror(errorNumber));
    }
    return false;
}

bool AtomicFile::Open() {
    if (m_file)
        return true;
    if (m_target.filename().empty())
        return Fail("Not a file name:", 0);
    const fs::path folder = m_target.has_parent_path() ? m_target.parent_path() : fs::path(".");
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        m_temporary = folder / TemporaryName(m_target, attempt);
        errno = 0;
        // "x": created exclusively; an existing name, a link included, is never opened.
        m_file = platform::CreateExclusive(m_temporary);
        if (m_file) {
            std::lock_guard lock(g_redirectMutex);
            if (!g_redirectSuffix.empty() &&
                EndsWith(platform::Utf8FromPath(m_target), g_redirectSuffix)) {
                if (std::FILE* device = platform::OpenFile(g_redirectDevice, "wb")) {
                    std::fclose(m_file);
                    m_file = device;
                    m_redirected = true;
                }
            }
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    const int error = errno;
    m_temporary.clear();
    return Fail("Cannot create a file beside", error);
}

bool AtomicFile::Write(std::string_view bytes) {
    if (!m_file)
        return Fail("Not open for writing:", 0);
    if (m_failed)
        return false;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size())
        return Fail("Cannot write", errno);
    return true;
}

bool AtomicFile::Commit() {
    if (!m_file)
        return Fail("Not open for writing:", 0);
    bool good = !m_failed && !std::ferror(m_file);
    int error = good ? 0 : errno;
    if (good && std::fflush(m_file) != 0)
        good = false, error = errno;
    if (good && !m_redirected && (error = platform::SyncToDisk(m_file)) != 0)
        good = false;
    if (std::fclose(m_file) != 0 && good)
        good = false, error = errno;
    m_file = nullptr;
    if (!good) {
        Fail("Cannot write", error);
        Abort();
        return false;
    }
    // Renamed over, a device or pipe would become a plain file (as root, /dev/null itself for
    // every program): only a plain file, or a new name, is ever replaced.
    std::error_code ec;
    const fs::file_status existing = fs::status(m_target, ec);
    if (fs::exists(existing) && !fs::is_regular_file(existing)) {
        Fail("Not a plain file:", 0);
        Abort();
        return false;
    }
    if (const int replaceError = platform::RenameOver(m_temporary, m_target)) {
        Fail("Cannot replace", replaceError);
        Abort();
        return false;
    }
    m_temporary.clear();
    return true;
}

void AtomicFile::Abort() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temporary.empty()) {
        std::error_code ec;
        fs::remove(m_temporary, ec);
        m_temporary.clear();
    }
}

bool WriteFileAtomically(const fs::path& target, std::string_view bytes, std::string* error) {
    AtomicFile file(target);
    const bool written = file.Open() && file.Write(bytes) && file.Commit();
    if (!written && error)
        *error = file.Error();
    return written;
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}
