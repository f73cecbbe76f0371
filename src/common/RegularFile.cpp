#include "common/RegularFile.h"

#include "common/platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

UniqueFile OpenRegularFile(const std::filesystem::path& path, std::string& error) {
    return UniqueFile(platform::OpenRegularFile(path, error));
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
