// Fast number text for the test data conversion: fixed-point output identical to printf's
// "%.0f" to "%.4f" (exact binary value, ties to even, "-0" for negative values that round to
// zero), unsigned decimals, and leading-integer input in the manner of atoi. Converted files run
// to millions of lines, so these work on caller-owned buffers and never allocate.
#pragma once

#include <bit>
#include <charconv>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fastnum {

// Room that FormatFixed may need: the largest double has 309 integer digits.
inline constexpr size_t kMaxFixedLength = 320;

// printf's text for a value the fast path does not cover (infinities, NaN, huge values).
char* FormatFixedSlow(char* out, double value, int precision);

namespace detail {

inline constexpr char kDigitPairs[] = "00010203040506070809"
                                      "10111213141516171819"
                                      "20212223242526272829"
                                      "30313233343536373839"
                                      "40414243444546474849"
                                      "50515253545556575859"
                                      "60616263646566676869"
                                      "70717273747576777879"
                                      "80818283848586878889"
                                      "90919293949596979899";

inline char* WritePair(char* out, unsigned value)
{
    std::memcpy(out, kDigitPairs + 2 * value, 2);
    return out + 2;
}

// Writes 0 <= value < 10000 without leading zeros and without data-dependent branches (digit
// counts vary from value to value, so branches would be mispredicted). May write up to four
// bytes; returns the end of the digits.
inline char* WriteSmall(char* out, unsigned value)
{
    const unsigned count = 1u + (value >= 10) + (value >= 100) + (value >= 1000);
    if constexpr (std::endian::native == std::endian::little) {
        // The four digits are put together in a register: going through memory would stall on
        // reading back a word written as two halves.
        uint16_t high;
        uint16_t low;
        std::memcpy(&high, kDigitPairs + 2 * (value / 100), 2);
        std::memcpy(&low, kDigitPairs + 2 * (value % 100), 2);
        const uint32_t word = (static_cast<uint32_t>(high) | (static_cast<uint32_t>(low) << 16)) >>
                              (8 * (4 - count));
        std::memcpy(out, &word, 4);
    } else {
        char digits[8];
        std::memcpy(digits, kDigitPairs + 2 * (value / 100), 2);
        std::memcpy(digits + 2, kDigitPairs + 2 * (value % 100), 2);
        std::memcpy(out, digits + 4 - count, 4);
    }
    return out + count;
}

inline constexpr uint64_t kPow5[] = {1, 5, 25, 125, 625};
inline constexpr uint32_t kPow10[] = {1, 10, 100, 1000, 10000};

} // namespace detail

// Writes `value` as printf("%.<Precision>f", value) would, for Precision 0 to 4, into `out`
// (at least kMaxFixedLength bytes free); returns the end of the text. The precision is a
// template argument so that the divisions below are by constants.
template <int Precision> [[gnu::always_inline]] inline char* FormatFixed(char* out, double value)
{
    static_assert(Precision >= 0 && Precision <= 4);
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0x7FF) {
        return FormatFixedSlow(out, value, Precision);
    }

    // |value| * 10^p = m * 5^p * 2^(e + p) exactly; m * 5^p stays below 2^63.
    const uint64_t mantissa = biased == 0 ? fraction : (fraction | (uint64_t{1} << 52));
    const int exponent = (biased == 0 ? -1074 : biased - 1075) + Precision;
    const uint64_t scaled = mantissa * detail::kPow5[Precision];

    uint64_t q;
    if (exponent >= 0) {
        if (exponent >= 64 || (scaled >> (63 - exponent)) != 0) {
            return FormatFixedSlow(out, value, Precision);
        }
        q = scaled << exponent;
    } else if (exponent <= -64) {
        q = 0; // below half a unit of the last digit
    } else {
        const int shift = -exponent;
        q = scaled >> shift;
        const uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
        const uint64_t half = uint64_t{1} << (shift - 1);
        q += static_cast<uint64_t>(remainder > half) | (static_cast<uint64_t>(remainder == half) & q & 1);
    }

    if (negative) {
        *out++ = '-';
    }
    constexpr uint32_t unit = detail::kPow10[Precision];
    const uint64_t whole = q / unit;
    const unsigned decimals = static_cast<unsigned>(q - whole * unit);
    if (whole < 10000) {
        out = detail::WriteSmall(out, static_cast<unsigned>(whole));
    } else {
        out = std::to_chars(out, out + 24, whole).ptr;
    }
    if constexpr (Precision == 1) {
        *out++ = '.';
        *out++ = static_cast<char>('0' + decimals);
    } else if constexpr (Precision == 2) {
        *out++ = '.';
        out = detail::WritePair(out, decimals);
    } else if constexpr (Precision == 3) {
        *out++ = '.';
        *out++ = static_cast<char>('0' + decimals / 100);
        out = detail::WritePair(out, decimals % 100);
    } else if constexpr (Precision == 4) {
        *out++ = '.';
        out = detail::WritePair(out, decimals / 100);
        out = detail::WritePair(out, decimals % 100);
    }
    return out;
}

// The same with the precision chosen at run time (0 to 4; others go through printf).
inline char* FormatFixed(char* out, double value, int precision)
{
    switch (precision) {
    case 0:
        return FormatFixed<0>(out, value);
    case 1:
        return FormatFixed<1>(out, value);
    case 2:
        return FormatFixed<2>(out, value);
    case 3:
        return FormatFixed<3>(out, value);
    case 4:
        return FormatFixed<4>(out, value);
    default:
        return FormatFixedSlow(out, value, precision);
    }
}

// printf's "%u" of a 32-bit value (a negative int shows as its unsigned counterpart).
inline char* FormatUnsigned(char* out, uint32_t value)
{
    if (value < 10000) {
        return detail::WriteSmall(out, value);
    }
    if (value < 100000000) {
        // Upper digits without leading zeros, then four digits with them.
        out = detail::WriteSmall(out, value / 10000);
        const unsigned low = value % 10000;
        out = detail::WritePair(out, low / 100);
        return detail::WritePair(out, low % 100);
    }
    return std::to_chars(out, out + 12, value).ptr;
}

// The leading decimal integer of [first, last) in the manner of atoi: leading white space is
// skipped, one sign is accepted, digits are read up to the first other character; text without
// digits reads as 0. Values beyond the int range saturate.
inline int ParseLeadingInt(const char* first, const char* last)
{
    while (first != last && (*first == ' ' || (*first >= '\t' && *first <= '\r'))) {
        ++first;
    }
    bool negative = false;
    if (first != last && (*first == '-' || *first == '+')) {
        negative = *first == '-';
        ++first;
    }
    uint64_t value = 0;
    constexpr uint64_t kLimit = uint64_t{1} << 31;
    while (first != last) {
        const unsigned digit = static_cast<unsigned char>(*first) - static_cast<unsigned>('0');
        if (digit > 9) {
            break;
        }
        if (value <= kLimit) {
            value = value * 10 + digit;
        }
        ++first;
    }
    if (negative) {
        return value >= kLimit ? INT_MIN : -static_cast<int>(value);
    }
    return value >= kLimit ? INT_MAX : static_cast<int>(value);
}

} // namespace fastnum
