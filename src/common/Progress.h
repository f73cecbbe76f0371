// Long operations (scans, downloads, conversions, collections) report how far they are through
// this, on the thread that does the work, and stop early when it returns false (the user asked
// them to stop). `total` is 0 when it is not known.
#pragma once

#include <cstdint>
#include <functional>

using ProgressFn = std::function<bool(std::int64_t done, std::int64_t total)>;
