// The plot's reduction: every pixel column keeps its extremes in the order they came, empty
// cells are gaps, and two halves read apart merge into the picture of the whole.
#include "recordings/PlotReduction.h"

#include "PlotSegments.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(PlotReduction, ColumnsKeepTheirExtremesInOrderAndEmptyCellsAreGaps) {
    // Four columns of width 10 over [0, 40).
    const std::vector<double> x = {0, 1, 2, 3, 11, 12, 13, 21, 22, 31, 33, 39};
    const std::vector<double> y = {5, 9, -4, 6, 7, 7, 7, kEmpty, kEmpty, 8, 1, 3};
    EXPECT_EQ(Ys(ReduceToColumns(x, y, 0, 40, 4)),
              (std::vector<std::vector<double>>{{9, -4, 7}, {8, 1}}));
    // The maximum after the minimum, and a column without lines joins its neighbours.
    const std::vector<double> x2 = {0, 1, 25, 26};
    const std::vector<double> y2 = {9, -4, 2, 2};
    EXPECT_EQ(Ys(ReduceToColumns(x2, y2, 0, 40, 4)),
              (std::vector<std::vector<double>>{{9, -4, 2}}));
    // A column with one value among empty cells keeps the line going.
    const std::vector<double> y3 = {9, kEmpty, kEmpty, 2};
    EXPECT_EQ(Ys(ReduceToColumns(x2, y3, 0, 40, 4)), (std::vector<std::vector<double>>{{9, 2}}));
}

TEST(PlotReduction, HalvesMergeIntoTheWhole) {
    const std::vector<double> y = {5, 9, -4, kEmpty, 7, 1, 8, 2, 6, -1, 3, kEmpty};
    MinMaxColumns whole(0, 12, 3, 1), first(0, 12, 3, 1), second(0, 12, 3, 1);
    for (size_t i = 0; i < y.size(); ++i) {
        const double x = static_cast<double>((i * 5) % 12); // every half reaches every column
        whole.Add(whole.ColumnOf(x), 0, y[i]);
        MinMaxColumns& half = i < 6 ? first : second;
        half.Add(half.ColumnOf(x), 0, y[i]);
    }
    first.Merge(second);
    EXPECT_EQ(Ys(first.Segments(0)), Ys(whole.Segments(0)));
    EXPECT_EQ(Ys(whole.MergedSegments(0, 0, 12, 1)), (std::vector<std::vector<double>>{{9, -4}}));
}

} // namespace
