#include "recordings/DirUtilL.h"

int DirUtilL::CreateDirectoryPath(const std::filesystem::path& path) {
    Outcome outcome;
    return CreateDirectoryPath(path, outcome);
}

int DirUtilL::CreateDirectoryPath(const std::filesystem::path& path, Outcome& outcome) {
    outcome = {};
    if (path.empty()) {
        outcome.error = std::make_error_code(std::errc::invalid_argument);
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
        std::error_code made;
        if (std::filesystem::create_directory(prefix, made)) {
            outcome.created.push_back(prefix);
        }
        // Someone else may have created it meanwhile; only the end state matters.
        if (!std::filesystem::is_directory(prefix, error)) {
            outcome.failedAt = prefix;
            outcome.error = made ? made : std::make_error_code(std::errc::not_a_directory);
            return -1;
        }
    }
    return 1;
}
