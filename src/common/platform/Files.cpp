#include "common/platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#include "common/platform/WindowsApi.h"
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace platform {

namespace {

constexpr const char* kNotRegular = "not a regular file";

#if defined(_WIN32)
// The errno value closest to a Windows error, so that callers have one kind of error number.
int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

HANDLE HandleOf(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
#endif

} // namespace

fs::path PathFromUtf8(std::string_view name) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

std::string Utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#if defined(_WIN32)
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

std::FILE* CreateExclusive(const fs::path& path) {
#if defined(_WIN32)
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        _close(fd);
        errno = error;
    }
    return file;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

int SyncToDisk(std::FILE* file) {
#if defined(_WIN32)
    return _commit(_fileno(file)) == 0 ? 0 : errno;
#else
    return ::fsync(::fileno(file)) == 0 ? 0 : errno;
#endif
}

int RenameOver(const fs::path& from, const fs::path& to) {
#if defined(_WIN32)
    // Write-through: the call returns once the new name is on the disk, as a rename in a synced
    // folder would be.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return ErrnoOf(GetLastError());
#else
    std::error_code error;
    fs::rename(from, to, error);
    return error.value();
#endif
}

std::FILE* OpenRegularFile(const fs::path& path, std::string& error) {
#if defined(_WIN32)
    // No FIFOs to wait on here; devices and folders are turned away by their type.
    std::error_code code;
    if (!fs::is_regular_file(path, code)) {
        error = code ? code.message() : kNotRegular;
        return nullptr;
    }
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        error = std::strerror(errno);
    return file;
#else
    // Opened without waiting (a FIFO without writer would block the open), then the open file
    // itself is examined, so that nothing swapped in after a look at the name gets through.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = kNotRegular;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) {
        error = std::strerror(errno);
        ::close(fd);
    }
    return file;
#endif
}

bool AppendFile::Open(const fs::path& path, std::string& error) {
    Close();
#if defined(_WIN32)
    // The link itself is opened, not what it points to, and then refused.
    const HANDLE handle =
        CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = std::strerror(ErrnoOf(GetLastError()));
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(handle);
        error = "it is a symbolic link";
        return false;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(handle);
        error = "not a plain file";
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(handle);
    return true;
#else
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        error = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = "not a plain file";
        return false;
    }
    // A file made before, or by another program, is closed to others before anything goes in.
    if ((info.st_mode & 0777) != (S_IRUSR | S_IWUSR) && ::fchmod(fd, S_IRUSR | S_IWUSR) != 0) {
        error = std::string("cannot make it readable by its owner only: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_handle = fd;
    return true;
#endif
}

bool AppendFile::Append(std::string_view bytes, std::string& error) {
    if (!IsOpen()) {
        error = std::strerror(EBADF);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
#if defined(_WIN32)
        // Every piece goes to the end, as O_APPEND makes it go on POSIX systems.
        LARGE_INTEGER none{};
        SetFilePointerEx(HandleOf(m_handle), none, nullptr, FILE_END);
        DWORD written = 0;
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        const int failure =
            WriteFile(HandleOf(m_handle), bytes.data() + done, chunk, &written, nullptr)
                ? (written == 0 ? ENOSPC : 0)
                : ErrnoOf(GetLastError());
        if (failure == 0) {
            done += written;
            continue;
        }
        LARGE_INTEGER end{};
        if (done > 0 && GetFileSizeEx(HandleOf(m_handle), &end) &&
            end.QuadPart >= static_cast<LONGLONG>(done)) {
            LARGE_INTEGER cut{};
            cut.QuadPart = end.QuadPart - static_cast<LONGLONG>(done);
            if (SetFilePointerEx(HandleOf(m_handle), cut, nullptr, FILE_BEGIN))
                SetEndOfFile(HandleOf(m_handle));
        }
        error = std::strerror(failure);
        return false;
#else
        const ssize_t n =
            ::write(static_cast<int>(m_handle), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        error = std::strerror(n < 0 ? errno : ENOSPC);
        const off_t end = done > 0 ? ::lseek(static_cast<int>(m_handle), 0, SEEK_END) : -1;
        if (end >= static_cast<off_t>(done))
            (void)::ftruncate(static_cast<int>(m_handle), end - static_cast<off_t>(done));
        return false;
#endif
    }
    return true;
}

void AppendFile::Close() {
    if (!IsOpen())
        return;
#if defined(_WIN32)
    CloseHandle(HandleOf(m_handle));
#else
    ::close(static_cast<int>(m_handle));
#endif
    m_handle = kClosed;
}

} // namespace platform
