// Who runs this process and who may use a file, as POSIX systems put it (user and group ids,
// permission bits). Windows has neither; there the answers are empty.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct UserIdentity {
    unsigned uid = 0;
    std::vector<unsigned> groups; // every group of the process, the primary one included
    std::string name;             // empty when unknown
};

UserIdentity CurrentUser();

struct FileAccess {
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0; // permission bits, 0777 at most
};

// Nothing when the file cannot be examined (and always on Windows).
std::optional<FileAccess> FileAccessOf(const std::filesystem::path& path);

} // namespace platform
