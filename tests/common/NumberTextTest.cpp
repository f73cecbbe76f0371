// Number texts read and written the same whatever the locale, as the C library's "C" locale does.
#include "common/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(NumberText, ReadsLeadingNumbersLikeTheCLibrary) {
    const double infinity = std::numeric_limits<double>::infinity();
    // clang-format off
    const std::pair<const char*, double> doubles[] = {
        {"2.5", 2.5}, {"-0.6mm", -0.6}, {"+7", 7.0}, {".5", 0.5}, {"1.23457e+06", 1234570.0},
        {"abc", 0.0}, {"", 0.0}, {"-", 0.0}, {"1e999", infinity}, {"-1e999", -infinity},
        {"1e-999", 0.0}};
    const std::pair<const char*, int32_t> ints[] = {
        {"12abc", 12}, {"-3", -3}, {"2.9", 2}, {"x1", 0},
        {"99999999999999999999", std::numeric_limits<int32_t>::max()},
        {"-99999999999999999999", std::numeric_limits<int32_t>::min()}};
    // clang-format on
    for (const auto& [text, value] : doubles)
        EXPECT_EQ(LeadingDouble(text), value) << text;
    for (const auto& [text, value] : ints)
        EXPECT_EQ(LeadingInt(text), value) << text;
    // A double cut to 32 bits: toward zero, held at the limits, NaN as 0.
    EXPECT_EQ(SaturatedInt32(-2.9), -2);
    EXPECT_EQ(SaturatedInt32(1e20), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(SaturatedInt32(-infinity), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(SaturatedInt32(std::nan("")), 0);
}

} // namespace
