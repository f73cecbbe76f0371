#include "common/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr const char* kNotRegular = "not a regular file";

} // namespace

UniqueFile OpenRegularFile(const std::filesystem::path& path, std::string& error) {
#if defined(_WIN32)
    // No FIFOs to wait on here; devices and folders are turned away by their type.
    std::error_code code;
    if (!std::filesystem::is_regular_file(path, code)) {
        error = code ? code.message() : kNotRegular;
        return nullptr;
    }
    UniqueFile file(_wfopen(path.c_str(), L"rb"));
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
    UniqueFile file(::fdopen(fd, "rb"));
    if (!file) {
        error = std::strerror(errno);
        ::close(fd);
    }
    return file;
#endif
}

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit,
                                           std::string& error) {
    const UniqueFile file = OpenRegularFile(path, error);
    if (!file)
        return std::nullopt;
    std::string text;
    char chunk[65536];
    while (text.size() < limit) {
        const std::size_t got =
            std::fread(chunk, 1, std::min(sizeof chunk, limit - text.size()), file.get());
        if (got == 0)
            break;
        text.append(chunk, got);
    }
    if (std::ferror(file.get())) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    return text;
}
