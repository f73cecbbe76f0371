#include "common/platform/Terminal.h"

#if defined(_WIN32)
#include "common/platform/WindowsApi.h"
#else
#include <unistd.h>
#endif

namespace platform {

bool IsTerminal(StandardStream stream) {
#if defined(_WIN32)
    // Only a console has a console mode; _isatty would take the NUL device for a terminal too.
    const DWORD which = stream == StandardStream::Input    ? STD_INPUT_HANDLE
                        : stream == StandardStream::Output ? STD_OUTPUT_HANDLE
                                                           : STD_ERROR_HANDLE;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
#else
    const int fd = stream == StandardStream::Input    ? STDIN_FILENO
                   : stream == StandardStream::Output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return ::isatty(fd) != 0;
#endif
}

} // namespace platform
