// Fast number text for the test data conversion: fixed-point output identical to printf's
// "%.0f" to "%.4f" (exact binary value, ties to even, "-0" for negative values that round to
// zero), unsigned decimals, and leading-integer input in the manner of atoi. Converted files run
// to millions of lines, so these work on caller-owned buffers and never allocate.
#pragma once

#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
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

inline char* WritePair(char* out, unsigned value) {
    std::memcpy(out, kDigitPairs + 2 * value, 2);
    return out + 2;
}

// Writes 0 <= value < 10000 without leading zeros and without data-dependent branches (digit
// counts vary from value to value, so branches would be mispredicted). May write up to four
// bytes; returns the end of the digits.
inline char* WriteSmall(char* out, unsigned value);

// Four-digit groups 0000..9999 as they lie in memory (first digit in the lowest byte), and how
// many digits each has without its leading zeros (at least one).
struct SmallNumberTable {
    uint32_t digits[10000];
    uint8_t count[10000];
};

constexpr SmallNumberTable MakeSmallNumberTable() {
    SmallNumberTable table{};
    for (unsigned v = 0; v < 10000; ++v) {
        const unsigned d[4] = {v / 1000, v / 100 % 10, v / 10 % 10, v % 10};
        table.digits[v] = 0;
        for (int i = 0; i < 4; ++i) {
            table.digits[v] |= static_cast<uint32_t>('0' + d[i]) << (8 * i);
        }
        table.count[v] = static_cast<uint8_t>(1u + (v >= 10) + (v >= 100) + (v >= 1000));
    }
    return table;
}

inline constexpr SmallNumberTable kSmallNumbers = MakeSmallNumberTable();

inline char* WriteSmall(char* out, unsigned value) {
    const unsigned count = kSmallNumbers.count[value];
    if constexpr (std::endian::native == std::endian::little) {
        const uint32_t word = kSmallNumbers.digits[value] >> (8 * (4 - count));
        std::memcpy(out, &word, 4);
    } else {
        const char digits[4] = {
            static_cast<char>('0' + value / 1000), static_cast<char>('0' + value / 100 % 10),
            static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
        std::memcpy(out, digits + 4 - count, count);
    }
    return out + count;
}

inline constexpr uint64_t kPow5[] = {1, 5, 25, 125, 625};
inline constexpr uint32_t kPow10[] = {1, 10, 100, 1000, 10000};

// |value| * 10^Precision rounded half to even, exactly, from the value's exponent field and
// fraction bits (finite values whose result stays below 2^63). value * 10^p = m * 5^p * 2^(e+p)
// and m * 5^p stays below 2^63, so integer shifts give the exact remainder.
template <int Precision> inline uint64_t ScaleExactly(int biased, uint64_t fraction) {
    const uint64_t mantissa = biased == 0 ? fraction : (fraction | (uint64_t{1} << 52));
    const int exponent = (biased == 0 ? -1074 : biased - 1075) + Precision;
    const uint64_t scaled = mantissa * kPow5[Precision];
    if (exponent >= 0) {
        return scaled << exponent;
    }
    if (exponent <= -64) {
        return 0; // below half a unit of the last digit
    }
    const int shift = -exponent;
    const uint64_t q = scaled >> shift;
    const uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    return q + (static_cast<uint64_t>(remainder > half) |
                (static_cast<uint64_t>(remainder == half) & q & 1));
}

} // namespace detail

// Writes `value` as printf("%.<Precision>f", value) would, for Precision 0 to 4, into `out`
// (at least kMaxFixedLength bytes free); returns the end of the text. The precision is a
// template argument so that the divisions below are by constants.
template <int Precision, bool EmptyIfNotFinite = false>
[[gnu::always_inline]] inline char* FormatFixed(char* out, double value) {
    static_assert(Precision >= 0 && Precision <= 4);
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0x7FF) {
        return EmptyIfNotFinite ? out : FormatFixedSlow(out, value, Precision);
    }

    uint64_t q;
    // Usual values: scale in floating point. The product is within 2^-21 of the exact one
    // below 2^32, so unless the fraction is that close to a half, it rounds the same way.
    const double magnitude = std::bit_cast<double>(bits & ~(uint64_t{1} << 63));
    const double y = magnitude * static_cast<double>(detail::kPow10[Precision]);
    constexpr double kNearHalf = 1.0 / (1 << 20);
    if (y < 4294967296.0) {
        // Signed conversions are single instructions; the value fits.
        const int64_t truncated = static_cast<int64_t>(y);
        const double fractionPart = y - static_cast<double>(truncated); // exact
        // Which way a fraction rounds is random from value to value: no branch for it.
        q = static_cast<uint64_t>(truncated) + static_cast<uint64_t>(fractionPart > 0.5);
        if (std::fabs(fractionPart - 0.5) <= kNearHalf) [[unlikely]] {
            q = detail::ScaleExactly<Precision>(biased, fraction);
        }
    } else if (y < 4611686018427387904.0) { // 2^62: the exact result fits 64 bits
        q = detail::ScaleExactly<Precision>(biased, fraction);
    } else {
        return FormatFixedSlow(out, value, Precision);
    }

    *out = '-';
    out += negative ? 1 : 0;
    constexpr uint32_t unit = detail::kPow10[Precision];
    const uint64_t whole = q / unit;
    const unsigned decimals = static_cast<unsigned>(q - whole * unit);
    if constexpr (std::endian::native == std::endian::little && Precision != 1 && Precision != 3) {
        if (whole < 10000) {
            // Whole digits, point and decimals put together in one register and stored at once.
            const unsigned w = static_cast<unsigned>(whole);
            const unsigned count = detail::kSmallNumbers.count[w];
            uint64_t word = detail::kSmallNumbers.digits[w];
            uint16_t pairs[2];
            if constexpr (Precision == 2) {
                std::memcpy(&pairs[0], detail::kDigitPairs + 2 * decimals, 2);
                word |= (uint64_t{'.'} << 32) | (static_cast<uint64_t>(pairs[0]) << 40);
            } else if constexpr (Precision == 4) {
                std::memcpy(&pairs[0], detail::kDigitPairs + 2 * (decimals / 100), 2);
                std::memcpy(&pairs[1], detail::kDigitPairs + 2 * (decimals % 100), 2);
                word |= (uint64_t{'.'} << 32) | (static_cast<uint64_t>(pairs[0]) << 40) |
                        (static_cast<uint64_t>(pairs[1] & 0xFF) << 56);
            }
            word >>= 8 * (4 - count);
            std::memcpy(out, &word, 8);
            if constexpr (Precision == 4) {
                // The last digit did not fit the word when all four whole digits are used.
                out[count + 4] = static_cast<char>(pairs[1] >> 8);
            }
            return out + count + (Precision == 0 ? 0 : Precision + 1);
        }
    }
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

// As FormatFixed, but an infinity or NaN writes nothing (an empty cell).
template <int Precision>
[[gnu::always_inline]] inline char* FormatFixedOrEmpty(char* out, double value) {
    return FormatFixed<Precision, true>(out, value);
}

// The same with the precision chosen at run time (0 to 4; others go through printf).
inline char* FormatFixed(char* out, double value, int precision) {
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
inline char* FormatUnsigned(char* out, uint32_t value) {
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
inline int ParseLeadingInt(const char* first, const char* last) {
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

// The same for a field of which the eight bytes before `last` may be read (they lie inside the
// caller's buffer). A field of one to eight plain digits, the usual case, is converted in a few
// word operations instead of digit by digit.
inline int ParseLeadingIntPadded(const char* first, const char* last) {
    const size_t length = static_cast<size_t>(last - first);
    if (length - 1 < 8 && std::endian::native == std::endian::little) {
        uint64_t word;
        std::memcpy(&word, last - 8, 8);
        // Bytes before the field become '0' characters: leading zeros do not change the value.
        const unsigned pad = static_cast<unsigned>(8 * (8 - length));
        const uint64_t fieldMask = pad == 0 ? ~uint64_t{0} : (~uint64_t{0} << pad);
        word = (word & fieldMask) | (uint64_t{0x3030303030303030} & ~fieldMask);
        const uint64_t digits = word - uint64_t{0x3030303030303030};
        // Every byte a digit: no byte below '0' (borrow sets its top bit) nor above '9'.
        if (((digits | (word + uint64_t{0x4646464646464646})) & uint64_t{0x8080808080808080}) ==
            0) {
            // First character in the lowest byte: combine pairs, then quads, then halves.
            uint64_t v = digits;
            v = (v * 10 + (v >> 8)) & uint64_t{0x00FF00FF00FF00FF};
            v = (v * 100 + (v >> 16)) & uint64_t{0x0000FFFF0000FFFF};
            v = (v * 10000 + (v >> 32)) & uint64_t{0x00000000FFFFFFFF};
            return static_cast<int>(v); // at most 99999999
        }
    }
    return ParseLeadingInt(first, last);
}

} // namespace fastnum
