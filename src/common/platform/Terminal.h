// Whether a standard stream is a terminal, where progress lines and questions make sense.
#pragma once

namespace platform {

enum class StandardStream { Input, Output, Error };

bool IsTerminal(StandardStream stream);

} // namespace platform
