#include "controls/ColumnSpec.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct SpecCase {
    const char* spec;
    std::vector<ColumnSpec> expected;
};

void PrintTo(const SpecCase& c, std::ostream* out) {
    *out << '"' << c.spec << '"';
}

class ColumnSpecParse : public testing::TestWithParam<SpecCase> {};

TEST_P(ColumnSpecParse, GivesColumns) {
    EXPECT_EQ(ParseColumnSpec(GetParam().spec), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Specs, ColumnSpecParse,
    testing::Values(
        SpecCase{"Name, 120;Magnitude, 80",
                 {{"Name", 120, ColumnAlign::Left}, {"Magnitude", 80, ColumnAlign::Left}}},
        SpecCase{"A", {{"A", 100, ColumnAlign::Left}}},
        SpecCase{"A,", {{"A", 100, ColumnAlign::Left}}},
        SpecCase{"A, x", {{"A", 100, ColumnAlign::Left}}},
        SpecCase{"A, 50, 1;B, 60, 2;C, 70, 3;D, 80, 0",
                 {{"A", 50, ColumnAlign::Center},
                  {"B", 60, ColumnAlign::Right},
                  {"C", 70, ColumnAlign::Left},
                  {"D", 80, ColumnAlign::Left}}},
        SpecCase{";;A, 10;; ;B, 20;", {{"A", 10, ColumnAlign::Left}, {"B", 20, ColumnAlign::Left}}},
        SpecCase{"", {}}, SpecCase{"Stretch Dur, 80", {{"Stretch Dur", 80, ColumnAlign::Left}}},
        SpecCase{"A, 0", {{"A", 0, ColumnAlign::Left}}}));

} // namespace
