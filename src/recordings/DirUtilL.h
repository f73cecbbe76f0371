// Creates a folder together with every missing folder above it (the download's test and log
// folders, the calibration folders).
#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

class DirUtilL {
public:
    // What a creation did: the folders it made (outermost first) and, when it failed, the folder
    // it could not make and the system's reason.
    struct Outcome {
        std::vector<std::filesystem::path> created;
        std::filesystem::path failedAt;
        std::error_code error;
    };

    // Creates each missing folder of `path` from the root downwards. Returns 1 when the whole
    // path exists as folders afterwards, -1 when the path is empty or a part of it cannot be
    // created (a file of that name is in the way, no permission).
    static int CreateDirectoryPath(const std::filesystem::path& path);
    static int CreateDirectoryPath(const std::filesystem::path& path, Outcome& outcome);
};
