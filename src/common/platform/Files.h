// File operations whose calls differ between POSIX systems and Windows. Names are paths, and a
// path made from a UTF-8 text keeps every character on Windows too, where the narrow calls would
// go through the ANSI code page and lose whatever it lacks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

// A path from a UTF-8 name (command lines, settings, card listings).
std::filesystem::path PathFromUtf8(std::string_view name);
// The path as UTF-8, for messages and texts (std::filesystem::path::string() would use the ANSI
// code page on Windows).
std::string Utf8FromPath(const std::filesystem::path& path);

// std::fopen by path, with the wide name on Windows. Null with errno set on failure.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);
inline std::FILE* OpenFileUtf8(std::string_view name, const char* mode) {
    return OpenFile(PathFromUtf8(name), mode);
}

// A new file for binary writing, created exclusively: an existing name, a link included, is
// never opened. Null with errno set (EEXIST when the name is taken).
std::FILE* CreateExclusive(const std::filesystem::path& path);

// Puts what was written to `file` on the disk. 0, or the errno value of the failure.
int SyncToDisk(std::FILE* file);

// Renames `from` over `to` in one step, replacing a file `to` names (which std::rename refuses
// on Windows). 0, or an errno value.
int RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// The file opened for binary reading when it is a regular file, without ever waiting on a FIFO
// or reading a device; null with `error` ("not a regular file", or the system's reason).
std::FILE* OpenRegularFile(const std::filesystem::path& path, std::string& error);

// A log appended to in place, a line at a time. It is never opened through a link planted
// where it should be, never anything but a plain file, and on POSIX systems readable by its
// owner only (mode 0600, set on an older file as well). On Windows the file keeps the
// permissions it inherits from its folder, which in a user's profile are the user's, the
// administrators' and the system's.
class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // False with `error` ("it is a symbolic link", "not a plain file", "cannot make it readable
    // by its owner only: ...", or the system's reason).
    bool Open(const std::filesystem::path& path, std::string& error);
    bool IsOpen() const { return m_handle != kClosed; }
    // All of `bytes`, or false with the system's reason: then the part that went out is taken
    // back, so that the file ends as it did before.
    bool Append(std::string_view bytes, std::string& error);
    void Close();

private:
    static constexpr std::intptr_t kClosed = -1;
    std::intptr_t m_handle = kClosed; // a descriptor, or a Windows handle
};

} // namespace platform
