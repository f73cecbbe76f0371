#include "recordings/NumberFormat.h"

#include <cstdio>

namespace fastnum {

char* FormatFixedSlow(char* out, double value, int precision) {
    int written = std::snprintf(out, kMaxFixedLength, "%.*f", precision, value);
    if (written < 0) {
        return out;
    }
    return out + (static_cast<size_t>(written) < kMaxFixedLength ? written : kMaxFixedLength - 1);
}

} // namespace fastnum
