// The program's version and the commit it was built from, for --version. Defined in a file the
// build generates (cmake/BuildInfo.cmake) and linked into the three programs only, so that a new
// commit relinks nothing else.
#pragma once

#include <string>

const char* KelvastraVersion();
// Empty when the build did not come from a git checkout.
const char* KelvastraCommit();

// "NAME VERSION" and " (commit C)" when the commit is known.
inline std::string VersionLine(const std::string& program) {
    std::string line = program + " " + KelvastraVersion();
    if (*KelvastraCommit())
        line += std::string(" (commit ") + KelvastraCommit() + ")";
    return line;
}
