// Small text helpers of the device link: the 64-bit leading-number conversions the controller's
// replies are read with (the 32-bit and floating-point ones, and Format, are in
// common/NumberText.h). Numbers are read and written independently of the process locale (the
// C locale's '.' always).
#pragma once

#include "common/NumberText.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace linktext {

using ::Format;

// Leading white space skipped, optional sign, the longest run of decimal digits; 0 when there is
// none. Values beyond the 64-bit range saturate.
int64_t LeadingInteger(std::string_view text);
// Same, for an unsigned decimal number (a leading '-' gives 0); values beyond the type saturate.
uint64_t LeadingUnsigned(std::string_view text);
// True when `text` starts with a decimal number after optional white space and sign.
bool HasLeadingNumber(std::string_view text);

// "%12f": fixed point with six decimals, right-aligned in at least `width` characters.
std::string FixedSix(double value, int width = 12);

} // namespace linktext
