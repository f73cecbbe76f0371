#include "recordings/NumberFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

// Compares without building strings, so that millions of values stay quick.
void ExpectSame(double value, int precision, int& failures) {
    char fast[fastnum::kMaxFixedLength];
    char slow[fastnum::kMaxFixedLength];
    char* end = fastnum::FormatFixed(fast, value, precision);
    int n = std::snprintf(slow, sizeof slow, "%.*f", precision, value);
    if (end - fast != n || std::memcmp(fast, slow, static_cast<size_t>(n)) != 0) {
        if (++failures <= 10) {
            ADD_FAILURE() << "value " << std::hexfloat << value << " precision " << precision
                          << ": fast '" << std::string(fast, end) << "' printf '"
                          << std::string(slow, static_cast<size_t>(n)) << "'";
        }
    }
}

} // namespace

// Ties, carries, NaN, huge and subnormal values are met by the sweep below; these are not.
TEST(FormatFixed, NegativeZeroAndInfinitiesAsPrintf) {
    int failures = 0;
    for (double value : {-0.0, HUGE_VAL, -HUGE_VAL})
        for (int precision : {0, 2})
            ExpectSame(value, precision, failures);
    EXPECT_EQ(failures, 0);
}

TEST(FormatFixed, MatchesPrintfOverMillionsOfValues) {
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> decade(-8, 9);
    std::uniform_int_distribution<int64_t> integer(-2000000, 2000000);
    const int precisions[] = {0, 2, 4, 1, 3};
    int failures = 0;

    for (int i = 0; i < 400000; ++i) {
        // Magnitudes from 1e-8 to 1e9, both signs.
        double value = unit(random) * std::pow(10.0, decade(random));
        if (i & 1)
            value = -value;
        for (int p : precisions)
            ExpectSame(value, p, failures);
    }
    for (int p = 0; p <= 4; ++p) {
        const double unitValue = std::pow(10.0, -p);
        for (int i = 0; i < 120000; ++i) {
            // Exactly on or next to a rounding half of this precision; k / 32 is a true tie.
            const int64_t k = integer(random);
            const double half = (static_cast<double>(k) + 0.5) * unitValue;
            for (double v : {half, std::nextafter(half, 0.0), std::nextafter(half, INFINITY),
                             static_cast<double>(k) / 32.0})
                ExpectSame(v, p, failures);
        }
    }
    // Raw bit patterns: every exponent, including subnormals and huge values.
    for (int i = 0; i < 40000; ++i) {
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        ExpectSame(value, (i % 3) * 2, failures);
    }
    EXPECT_EQ(failures, 0);
}

TEST(ParseLeadingInt, LikeAtoi) {
    const std::vector<std::string> texts{"+17", "  42", "\t-8x",       "abc",   "",    "-",  " - 3",
                                         "007", "1.99", "-2147483648", "\r\n9", "+-5", "1e5"};
    for (const std::string& text : texts) {
        EXPECT_EQ(fastnum::ParseLeadingInt(text.data(), text.data() + text.size()),
                  std::atoi(text.c_str()))
            << "'" << text << "'";
    }
    // Reads only inside the field it is given.
    const std::string line = "12,34";
    EXPECT_EQ(fastnum::ParseLeadingInt(line.data(), line.data() + 1), 1);
    // Out of range saturates instead of wrapping.
    const std::string big = "99999999999999999999";
    EXPECT_EQ(fastnum::ParseLeadingInt(big.data(), big.data() + big.size()), INT_MAX);
    const std::string small = "-2147483649";
    EXPECT_EQ(fastnum::ParseLeadingInt(small.data(), small.data() + small.size()), INT_MIN);

    std::mt19937 random(7);
    std::uniform_int_distribution<int> any(INT_MIN, INT_MAX);
    for (int i = 0; i < 100000; ++i) {
        std::string text = std::to_string(any(random));
        ASSERT_EQ(fastnum::ParseLeadingInt(text.data(), text.data() + text.size()),
                  std::atoi(text.c_str()));
    }
}

TEST(ParseLeadingInt, WordAtATimeAgreesWithDigitByDigit) {
    // Each text sits at the end of a buffer with eight readable bytes of any value before it.
    std::mt19937 random(11);
    std::uniform_int_distribution<int> digits(1, 9);
    std::uniform_int_distribution<int> digit(0, 9);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (int i = 0; i < 200000; ++i) {
        std::string buffer;
        for (int k = 0; k < 8; ++k)
            buffer += static_cast<char>(anyByte(random));
        const int n = digits(random) - 1;
        for (int k = 0; k < n; ++k) {
            // Mostly digits, now and then any byte.
            buffer += (i % 7 == 0 && k == n / 2) ? static_cast<char>(anyByte(random))
                                                 : static_cast<char>('0' + digit(random));
        }
        const char* first = buffer.data() + 8;
        const char* last = buffer.data() + buffer.size();
        ASSERT_EQ(fastnum::ParseLeadingIntPadded(first, last),
                  fastnum::ParseLeadingInt(first, last))
            << buffer.substr(8);
    }
}
