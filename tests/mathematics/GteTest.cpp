#include "mathematics/ApprPolynomial2.h"
#include "mathematics/GMatrix.h"
#include "mathematics/GVector.h"
#include "mathematics/GaussianElimination.h"
#include "mathematics/Logger.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <limits>
#include <regex>
#include <string>
#include <vector>

using gte::ApprPolynomial2;
using gte::GMatrix;
using gte::GVector;
using Obs = std::array<double, 2>;

namespace {

class CapturingListener : public gte::Logger::Listener {
public:
    explicit CapturingListener(int flags) : Listener(flags) { gte::Logger::Subscribe(this); }
    ~CapturingListener() override { gte::Logger::Unsubscribe(this); }
    std::vector<std::string> texts;

private:
    void Report(const std::string& text) override { texts.push_back(text); }
};

std::vector<int> AllIndices(size_t n) {
    std::vector<int> indices(n);
    for (size_t i = 0; i < n; ++i) {
        indices[i] = static_cast<int>(i);
    }
    return indices;
}

} // namespace

TEST(ApprPolynomial2, ConstructionSetsDegreeDomainAndZeroParameters) {
    ApprPolynomial2<double> fit(3);
    EXPECT_EQ(fit.GetDegree(), 3);
    EXPECT_EQ(fit.MinimumRequired(), 4);
    EXPECT_EQ(fit.GetParameters(), std::vector<double>(4, 0.0));
    EXPECT_EQ(fit.GetXDomain()[0], 1.7976931348623157e308);
    EXPECT_EQ(fit.GetXDomain()[1], -1.7976931348623157e308);

    ApprPolynomial2<double> none(-1);
    EXPECT_TRUE(none.GetParameters().empty());
    EXPECT_EQ(none.MinimumRequired(), 0);
    EXPECT_FALSE(none.FitVectors({{1.0, 2.0}}, {0}));
}

TEST(ApprPolynomial2, FitsExactParabolaAndLine) {
    ApprPolynomial2<double> fit(2);
    std::vector<Obs> parabola{{0, 0}, {1, 1}, {2, 4}};
    ASSERT_TRUE(fit.FitVectors(parabola, AllIndices(3)));
    std::vector<double> p = fit.GetParameters();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_NEAR(p[0], 0.0, 1e-12);
    EXPECT_NEAR(p[1], 0.0, 1e-12);
    EXPECT_NEAR(p[2], 1.0, 1e-12);
    EXPECT_EQ(fit.GetXDomain()[0], 0.0);
    EXPECT_EQ(fit.GetXDomain()[1], 2.0);

    std::vector<Obs> line{{-3, -3}, {-1, -1}, {0.5, 0.5}, {2, 2}, {7, 7}};
    ASSERT_TRUE(fit.FitVectors(line, AllIndices(line.size())));
    p = fit.GetParameters();
    EXPECT_NEAR(p[0], 0.0, 1e-12);
    EXPECT_NEAR(p[1], 1.0, 1e-12);
    EXPECT_NEAR(p[2], 0.0, 1e-12);
    // The domain keeps widening across fits.
    EXPECT_EQ(fit.GetXDomain()[0], -3.0);
    EXPECT_EQ(fit.GetXDomain()[1], 7.0);
}

TEST(ApprPolynomial2, CubicThroughNoisyPointsMatchesClosedForm) {
    // Least squares of a cubic with positions in the hundreds of micrometres, the shape the
    // spring correction uses: the fit must reproduce an exact cubic.
    ApprPolynomial2<double> fit(3);
    std::vector<Obs> points;
    for (double x = 300; x <= 1700; x += 100) {
        points.push_back({x, 0.8 + 1e-4 * x - 2e-8 * x * x + 3e-12 * x * x * x});
    }
    ASSERT_TRUE(fit.FitVectors(points, AllIndices(points.size())));
    for (const Obs& o : points) {
        EXPECT_LT(fit.Error(o), 1e-9) << o[0];
    }
}

TEST(ApprPolynomial2, SelectsObservationsByIndex) {
    ApprPolynomial2<double> fit(1);
    // Only the two selected points lie on y = 2x + 1; the others would spoil the line.
    std::vector<Obs> points{{0, 100}, {1, 3}, {5, -40}, {3, 7}};
    std::vector<int> indices{1, 3};
    ASSERT_TRUE(fit.Fit(4, points.data(), 2, indices.data()));
    EXPECT_NEAR(fit.GetParameters()[0], 1.0, 1e-12);
    EXPECT_NEAR(fit.GetParameters()[1], 2.0, 1e-12);
    EXPECT_EQ(fit.GetXDomain()[0], 1.0);
    EXPECT_EQ(fit.GetXDomain()[1], 3.0);
}

TEST(ApprPolynomial2, RejectedInputGivesZerosAndFalse) {
    std::vector<Obs> points{{0, 1}, {1, 2}, {2, 5}, {3, 10}};
    struct Case {
        const char* name;
        int n;
        bool observations;
        std::vector<int> indices;
        bool indexPointer;
    };
    const std::vector<Case> cases{
        {"fewer indices than degree + 1", 4, true, {0, 1}, true},
        {"more indices than observations", 2, true, {0, 1, 1}, true},
        {"negative index", 4, true, {0, -1, 2}, true},
        {"index past the end", 4, true, {0, 1, 4}, true},
        {"no observations", 4, false, {0, 1, 2}, true},
        {"no indices", 4, true, {0, 1, 2}, false},
    };
    for (const Case& c : cases) {
        ApprPolynomial2<double> fit(2);
        // A previous good fit must not survive a rejected one.
        ASSERT_TRUE(fit.FitVectors(points, AllIndices(4)));
        const auto domainBefore = fit.GetXDomain();
        bool ok = fit.Fit(c.n, c.observations ? points.data() : nullptr,
                          static_cast<int>(c.indices.size()),
                          c.indexPointer ? c.indices.data() : nullptr);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(fit.GetParameters(), std::vector<double>(3, 0.0)) << c.name;
        EXPECT_EQ(fit.GetXDomain(), domainBefore) << c.name;
    }

    ApprPolynomial2<double> fresh(2);
    EXPECT_FALSE(fresh.FitVectors(points, {0, 1}));
    EXPECT_EQ(fresh.GetXDomain()[0], 1.7976931348623157e308);
    EXPECT_EQ(fresh.GetXDomain()[1], -1.7976931348623157e308);
}

TEST(ApprPolynomial2, SingularSystemsAndZeroDataReportFalse) {
    ApprPolynomial2<double> fit(2);
    EXPECT_FALSE(fit.FitVectors({{0, 3}, {0, 5}, {1, 9}}, AllIndices(3))); // two distinct x
    EXPECT_EQ(fit.GetParameters(), std::vector<double>(3, 0.0));
    ApprPolynomial2<double> line(1);
    EXPECT_FALSE(line.FitVectors({{1, 0}, {2, 0}, {3, 0}}, AllIndices(3)));
}

TEST(ApprPolynomial2, ErrorUsesHornerFromTheTop) {
    ApprPolynomial2<double> fit(2);
    std::vector<Obs> points{{0, 1}, {1, 3}, {2, 7}}; // 1 + x + x^2
    ASSERT_TRUE(fit.FitVectors(points, AllIndices(3)));
    EXPECT_NEAR(fit.Error({3.0, 10.0}), 3.0, 1e-9);
    EXPECT_NEAR(fit.Error({-1.0, 2.0}), 1.0, 1e-9);
    EXPECT_NEAR(fit.Evaluate(10.0), 111.0, 1e-9);
}

TEST(ApprPolynomial2, CopyParametersOnlyFromItsOwnKind) {
    ApprPolynomial2<double> source(1);
    ASSERT_TRUE(source.FitVectors({{0, 2}, {1, 5}}, {0, 1}));

    ApprPolynomial2<double> target(3);
    target.CopyParameters(&source);
    EXPECT_EQ(target.GetDegree(), 1);
    EXPECT_EQ(target.MinimumRequired(), 2);
    EXPECT_EQ(target.GetParameters(), source.GetParameters());
    EXPECT_EQ(target.GetXDomain(), source.GetXDomain());

    class OtherFitter : public gte::ApprQuery<double, Obs> {
    public:
        bool Fit(int, Obs const*, int, int const*) override { return true; }
        int MinimumRequired() const override { return 1; }
        double Error(Obs const&) const override { return 0.0; }
        void CopyParameters(ApprQuery const*) override {}
    } other;
    ApprPolynomial2<double> untouched(2);
    untouched.CopyParameters(&other);
    EXPECT_EQ(untouched.GetDegree(), 2);
    EXPECT_EQ(untouched.GetParameters(), std::vector<double>(3, 0.0));
}

TEST(GaussianElimination, InverseAndDeterminantWithPivoting) {
    struct Case {
        const char* name;
        std::vector<double> m;
        std::vector<double> inverse;
        double determinant;
    };
    const std::vector<Case> cases{
        {"identity", {1, 0, 0, 1}, {1, 0, 0, 1}, 1},
        {"swap needs a row exchange", {0, 1, 1, 0}, {0, 1, 1, 0}, -1},
        {"general 2x2", {4, 7, 2, 6}, {0.6, -0.7, -0.2, 0.4}, 10},
        {"zero first pivot 3x3",
         {0, 2, 1, 1, 0, 0, 3, 0, 1},
         {0, 1, 0, 0.5, 1.5, -0.5, 0, -3, 1},
         -2},
        {"1x1", {-4}, {-0.25}, -4},
    };
    for (const Case& c : cases) {
        int n = c.m.size() == 1 ? 1 : (c.m.size() == 4 ? 2 : 3);
        std::vector<double> inverse(c.m.size(), 99.0);
        double determinant = 0;
        ASSERT_TRUE(gte::GaussianElimination<double>()(n, c.m.data(), inverse.data(), determinant))
            << c.name;
        for (size_t i = 0; i < inverse.size(); ++i) {
            EXPECT_NEAR(inverse[i], c.inverse[i], 1e-12) << c.name << " element " << i;
        }
        EXPECT_NEAR(determinant, c.determinant, 1e-12) << c.name;
    }
}

TEST(GaussianElimination, SolvesRightHandSidesAlongside) {
    // 2x + y = 5, x + 3y = 10  ->  x = 1, y = 3.
    std::vector<double> m{2, 1, 1, 3};
    std::vector<double> b{5, 10};
    std::vector<double> x(2);
    std::vector<double> c{5, 3, 10, 4}; // columns (5,10) and (3,4)
    std::vector<double> y(4);
    double determinant = 0;
    ASSERT_TRUE(gte::GaussianElimination<double>()(2, m.data(), nullptr, determinant, b.data(),
                                                   x.data(), c.data(), 2, y.data()));
    EXPECT_NEAR(x[0], 1.0, 1e-12);
    EXPECT_NEAR(x[1], 3.0, 1e-12);
    EXPECT_NEAR(y[0], 1.0, 1e-12);
    EXPECT_NEAR(y[2], 3.0, 1e-12);
    EXPECT_NEAR(y[1], 1.0, 1e-12);
    EXPECT_NEAR(y[3], 1.0, 1e-12);
    EXPECT_NEAR(determinant, 5.0, 1e-12);
}

TEST(GaussianElimination, SingularGivesZeroInverseAndDeterminant) {
    std::vector<double> m{1, 2, 3, 2, 4, 6, 0, 1, 1};
    std::vector<double> inverse(9, 7.0);
    std::vector<double> b{1, 2, 3};
    std::vector<double> x(3, 7.0);
    double determinant = 7.0;
    EXPECT_FALSE(gte::GaussianElimination<double>()(3, m.data(), inverse.data(), determinant,
                                                    b.data(), x.data()));
    EXPECT_EQ(inverse, std::vector<double>(9, 0.0));
    EXPECT_EQ(x, std::vector<double>(3, 0.0));
    EXPECT_EQ(determinant, 0.0);

    bool invertible = true;
    GMatrix<double> zero(2, 2);
    GMatrix<double> inv = gte::Inverse(zero, &invertible);
    EXPECT_FALSE(invertible);
    EXPECT_EQ(inv(0, 0), 0.0);
    EXPECT_EQ(inv(1, 1), 0.0);
}

TEST(GMatrix, SizesAndProducts) {
    GMatrix<double> empty(0, 3);
    EXPECT_EQ(empty.GetNumRows(), 0);
    EXPECT_EQ(empty.GetNumCols(), 0);
    GMatrix<double> m(2, 3);
    m.SetSize(-1, 4);
    EXPECT_EQ(m.GetNumRows(), 0);
    EXPECT_EQ(m.GetNumCols(), 0);

    m.SetSize(2, 3);
    double value = 1;
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            m(r, c) = value++;
        }
    }
    GVector<double> v(3);
    v[0] = 1;
    v[1] = 0;
    v[2] = -1;
    GVector<double> product = m * v;
    ASSERT_EQ(product.GetSize(), 2);
    EXPECT_EQ(product[0], -2.0);
    EXPECT_EQ(product[1], -2.0);

    // Inverse goes through the elimination; the element order is what matters here.
    GMatrix<double> a(2, 2);
    a(0, 1) = 2;
    a(1, 0) = 4;
    bool invertible = false;
    GMatrix<double> inv = gte::Inverse(a, &invertible);
    EXPECT_TRUE(invertible);
    EXPECT_EQ(inv(0, 1), 0.25);
    EXPECT_EQ(inv(1, 0), 0.5);
}

TEST(GteErrors, ThrownMessagesAndLogTexts) {
    CapturingListener errors(gte::Logger::Listener::LISTEN_FOR_ERROR);
    CapturingListener assertions(gte::Logger::Listener::LISTEN_FOR_ASSERTION);
    CapturingListener deaf(gte::Logger::Listener::LISTEN_FOR_NOTHING);

    struct Case {
        const char* message;
        std::function<void()> action;
        bool assertion;
        const char* function;
    };
    const std::vector<Case> cases{
        {"Invalid index.",
         [] {
             GMatrix<double> m(2, 2);
             (void)m(2, 0);
         },
         false, "gte::GMatrix<double>::operator()"},
        {"Invalid index.",
         [] {
             const GMatrix<double> m(2, 2);
             (void)m(0, -1);
         },
         false, "gte::GMatrix<double>::operator()"},
        {"Invalid size.",
         [] {
             GVector<double> v;
             v.SetSize(-1);
         },
         true, "gte::GVector<double>::SetSize"},
        {"Matrix must be square.", [] { (void)gte::Inverse(GMatrix<double>(2, 3)); }, false,
         "gte::Inverse<double>"},
        {"Mismatched sizes.", [] { (void)(GMatrix<double>(2, 3) * GVector<double>(2)); }, false,
         "gte::operator*<double>"},
        {"Invalid input.",
         [] {
             double det = 0;
             double m = 1;
             gte::GaussianElimination<double>()(0, &m, nullptr, det);
         },
         false, "gte::GaussianElimination<double>::operator()"},
        {"Invalid input.",
         [] {
             double det = 0;
             gte::GaussianElimination<double>()(2, nullptr, nullptr, det);
         },
         false, "gte::GaussianElimination<double>::operator()"},
    };

    for (const Case& c : cases) {
        errors.texts.clear();
        assertions.texts.clear();
        std::string thrown;
        try {
            c.action();
        } catch (const std::exception& e) {
            thrown = e.what();
        }
        EXPECT_EQ(thrown, c.message);

        CapturingListener& heard = c.assertion ? assertions : errors;
        CapturingListener& silent = c.assertion ? errors : assertions;
        ASSERT_EQ(heard.texts.size(), 1u) << c.message;
        EXPECT_TRUE(silent.texts.empty()) << c.message;
        const std::string expected =
            std::string(c.assertion ? "\nGTE ASSERTION:\n" : "\nGTE ERROR:\n") +
            "File: [^\\n]*mathematics/[A-Za-z]+\\.h\nFunc: " +
            std::regex_replace(c.function, std::regex(R"([()*<>])"), R"(\$&)") +
            "\nLine: [0-9]+\n" + std::regex_replace(c.message, std::regex(R"(\.)"), R"(\.)") +
            "\n\n";
        EXPECT_TRUE(std::regex_match(heard.texts[0], std::regex(expected))) << heard.texts[0];
    }
    EXPECT_TRUE(deaf.texts.empty());
}
