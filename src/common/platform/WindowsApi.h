// The Windows API for the platform layer's Windows side, without the macros (min, max and the
// rarely used parts) that would collide with the rest of the code. Include under _WIN32 only.
#pragma once

#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
