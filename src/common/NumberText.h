// Locale-independent number reading and writing for protocol texts: the files go to the
// controller and between machines, so a decimal comma must never creep in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The leading decimal number of a text, as the C library's atof reads it (leading blanks and a
// sign allowed); 0 when the text does not start with a number.
double LeadingDouble(std::string_view text);
// The leading decimal integer, as atoi reads it; 0 when there is none. Out-of-range values are
// held at the nearest 32-bit limit.
int32_t LeadingInt(std::string_view text);

// A double as a 32-bit integer, cut toward zero; beyond the range held at the nearest limit and
// NaN as 0 (a plain cast of such a value is undefined).
int32_t SaturatedInt32(double value);

// The stream's default notation for a double: at most six significant digits, no trailing zeros,
// exponent form only when needed (10, 2.5, 0.123457, 1.23457e+06).
std::string DefaultDoubleText(double value);
// printf's "%.<decimals>f".
std::string FixedText(double value, int decimals);

// Copy with ASCII a-z raised to A-Z; nothing else changes.
std::string UpperAscii(std::string_view text);

// printf-style formatting into a std::string, of any length.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
