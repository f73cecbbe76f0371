// Creates a folder together with every missing folder above it (the download's test and log
// folders, the calibration folders).
#pragma once

#include <filesystem>

class DirUtilL {
public:
    // Creates each missing folder of `path` from the root downwards. Returns 1 when the whole
    // path exists as folders afterwards, -1 when the path is empty or a part of it cannot be
    // created (a file of that name is in the way, no permission).
    static int CreateDirectoryPath(const std::filesystem::path& path);
};
