#include "recordings/DirUtilL.h"

#include <system_error>

int DirUtilL::CreateDirectoryPath(const std::filesystem::path& path) {
    if (path.empty()) {
        return -1;
    }
    std::filesystem::path prefix;
    for (const std::filesystem::path& part : path) {
        prefix /= part;
        // The root ("/", "C:\") and a trailing separator's empty part need no folder.
        if (part.empty() || prefix == path.root_path() || prefix == path.root_name()) {
            continue;
        }
        std::error_code error;
        if (std::filesystem::is_directory(prefix, error)) {
            continue;
        }
        std::filesystem::create_directory(prefix, error);
        // Someone else may have created it meanwhile; only the end state matters.
        if (!std::filesystem::is_directory(prefix, error)) {
            return -1;
        }
    }
    return 1;
}
