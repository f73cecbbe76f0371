#include "mathematics/ApprPolynomial2.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using gte::ApprPolynomial2;
using Obs = std::array<double, 2>;

namespace {

std::vector<int> AllIndices(size_t n) {
    std::vector<int> indices(n);
    for (size_t i = 0; i < n; ++i)
        indices[i] = static_cast<int>(i);
    return indices;
}

} // namespace

TEST(ApprPolynomial2, CubicThroughNoisyPointsMatchesClosedForm) {
    // Least squares of a cubic with positions in the hundreds of micrometres, the shape the
    // spring correction uses: the fit must reproduce an exact cubic.
    ApprPolynomial2<double> fit(3);
    std::vector<Obs> points;
    for (double x = 300; x <= 1700; x += 100)
        points.push_back({x, 0.8 + 1e-4 * x - 2e-8 * x * x + 3e-12 * x * x * x});
    ASSERT_TRUE(fit.FitVectors(points, AllIndices(points.size())));
    for (const Obs& o : points)
        EXPECT_LT(fit.Error(o), 1e-9) << o[0];
}

TEST(ApprPolynomial2, SingularSystemsAndZeroDataReportFalse) {
    ApprPolynomial2<double> fit(2);
    EXPECT_FALSE(fit.FitVectors({{0, 3}, {0, 5}, {1, 9}}, AllIndices(3))); // two distinct x
    EXPECT_EQ(fit.GetParameters(), std::vector<double>(3, 0.0));
    ApprPolynomial2<double> line(1);
    EXPECT_FALSE(line.FitVectors({{1, 0}, {2, 0}, {3, 0}}, AllIndices(3)));
}
