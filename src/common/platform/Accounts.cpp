#include "common/platform/Accounts.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

UserIdentity CurrentUser() {
    UserIdentity user;
#if defined(_WIN32)
    if (const char* name = std::getenv("USERNAME"))
        user.name = name;
#else
    user.uid = ::getuid();
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<std::size_t>(count) : 0);
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        user.groups.assign(groups.begin(), groups.end());
    user.groups.push_back(::getegid());
    if (const passwd* entry = ::getpwuid(user.uid))
        user.name = entry->pw_name;
    else if (const char* name = std::getenv("USER"))
        user.name = name;
#endif
    return user;
}

std::optional<FileAccess> FileAccessOf(const std::filesystem::path& path) {
#if defined(_WIN32)
    (void)path;
    return std::nullopt;
#else
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileAccess{info.st_uid, info.st_gid, static_cast<unsigned>(info.st_mode & 0777)};
#endif
}

} // namespace platform
