// The keyboard's lock states for the status-bar indicators.
#pragma once

#include <array>
#include <optional>

// Caps Lock, Num Lock and Scroll Lock, in that order; nullopt where the platform does not tell
// them (on X11 they come from the keyboard extension).
std::optional<std::array<bool, 3>> KeyboardLockStates();
