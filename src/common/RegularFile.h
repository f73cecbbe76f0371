// Opening a file the user or another program named, for reading: only a regular file is taken.
// A FIFO would block the reader until someone writes to it, and a device (/dev/zero) never ends;
// neither is ever opened in a way that waits.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// The file opened for binary reading; null with `error` ("not a regular file", or the system's
// reason) when it is missing, cannot be opened, or is anything but a regular file.
UniqueFile OpenRegularFile(const std::filesystem::path& path, std::string& error);

// At most `limit` bytes from the start of a regular file; nothing when it is not one or cannot
// be read.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::size_t limit,
                                           std::string& error);
