#include "common/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <locale>
#include <sstream>
#include <system_error>

namespace {

// Skips what atof/atoi skip before the number: blanks, then one optional sign.
std::string_view NumberStart(std::string_view text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return text.substr(i);
}

// Rough power of ten of a decimal number text ("123.4e5" -> 8, "0.001" -> -2), enough to tell
// an overflow from an underflow.
int64_t DecimalExponent(std::string_view number) {
    size_t i = 0;
    int64_t exponent = 0;
    bool seenNonZero = false;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9') {
        seenNonZero = seenNonZero || number[i] != '0';
        if (seenNonZero) {
            ++exponent;
        }
        ++i;
    }
    if (i < number.size() && number[i] == '.') {
        ++i;
        while (!seenNonZero && i < number.size() && number[i] == '0') {
            --exponent;
            ++i;
        }
        while (i < number.size() && number[i] >= '0' && number[i] <= '9') {
            ++i;
        }
    }
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        exponent += LeadingInt(number.substr(i + 1));
    }
    return exponent;
}

} // namespace

double LeadingDouble(std::string_view text) {
    bool negative = false;
    const std::string_view digits = NumberStart(text, negative);
    if (digits.empty() || digits.front() == '+' || digits.front() == '-') {
        return 0.0;
    }
    double value = 0.0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large gives infinity and too small gives zero, as atof does.
        value = DecimalExponent(std::string_view(digits.data(), result.ptr - digits.data())) > 0
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    } else if (result.ec != std::errc()) {
        return 0.0;
    }
    return negative ? -value : value;
}

int32_t LeadingInt(std::string_view text) {
    bool negative = false;
    const std::string_view digits = NumberStart(text, negative);
    size_t count = 0;
    while (count < digits.size() && digits[count] >= '0' && digits[count] <= '9') {
        ++count;
    }
    // Accumulate with a cap so that any length of digits stays defined.
    constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value = value * 10 + (digits[i] - '0');
        if (value > kCap) {
            value = kCap;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

std::string DefaultDoubleText(double value) {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::string FixedText(double value, int decimals) {
    if (std::isnan(value)) {
        return std::signbit(value) ? "-nan" : "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    // 309 integer digits, a sign, a point and the decimals cover every finite double.
    std::string text(330 + static_cast<size_t>(decimals), '\0');
    const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                      std::chars_format::fixed, decimals);
    text.resize(static_cast<size_t>(result.ptr - text.data()));
    return text;
}

std::string UpperAscii(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

int32_t SaturatedInt32(double value) {
    if (std::isnan(value))
        return 0;
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(needed));
    }
    va_end(args);
    return text;
}
