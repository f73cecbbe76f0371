// Least-squares fit of a polynomial y = p(x) of a chosen degree to (x, y) observations, through
// the normal equations.
#pragma once

#include "mathematics/ApprQuery.h"
#include "mathematics/GMatrix.h"
#include "mathematics/GVector.h"

#include <array>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace gte {

template <typename Real> class ApprPolynomial2 : public ApprQuery<Real, std::array<Real, 2>> {
public:
    using BaseType = ApprQuery<Real, std::array<Real, 2>>;

    // A degree of -1 gives an empty parameter list.
    explicit ApprPolynomial2(int degree)
        : m_degree(degree), m_size(degree + 1), m_xDomain{std::numeric_limits<Real>::max(),
                                                          -std::numeric_limits<Real>::max()},
          m_parameters(static_cast<size_t>(std::max(m_size, 0)), static_cast<Real>(0)) {}

    // True when at least one fitted coefficient is non-zero. Rejected input and a singular
    // normal matrix leave every parameter at 0 and return false.
    bool Fit(int numObservations, std::array<Real, 2> const* observations, int numIndices,
             int const* indices) override {
        std::fill(m_parameters.begin(), m_parameters.end(), static_cast<Real>(0));
        if (observations == nullptr || indices == nullptr || m_size < 1 ||
            numIndices < MinimumRequired() || numIndices > numObservations) {
            return false;
        }
        for (int i = 0; i < numIndices; ++i) {
            if (indices[i] < 0 || indices[i] >= numObservations) {
                return false;
            }
        }

        const int twoDegree = 2 * m_degree;
        std::vector<Real> xPower(static_cast<size_t>(twoDegree + 1));
        GMatrix<Real> A(m_size, m_size);
        GVector<Real> B(m_size);
        B.MakeZero();
        for (int i = 0; i < numIndices; ++i) {
            std::array<Real, 2> const& obs = observations[indices[i]];
            const Real x = obs[0];
            const Real y = obs[1];
            m_xDomain[0] = std::min(x, m_xDomain[0]);
            m_xDomain[1] = std::max(x, m_xDomain[1]);

            xPower[0] = static_cast<Real>(1);
            for (int j = 1; j <= twoDegree; ++j) {
                xPower[static_cast<size_t>(j)] = xPower[static_cast<size_t>(j - 1)] * x;
            }
            for (int row = 0; row < m_size; ++row) {
                for (int col = 0; col < m_size; ++col) {
                    A(row, col) += xPower[static_cast<size_t>(row + col)];
                }
                B[row] += y * xPower[static_cast<size_t>(row)];
            }
        }

        GVector<Real> coefficients = Inverse(A) * B;
        bool anyNonZero = false;
        for (int i = 0; i < m_size; ++i) {
            m_parameters[static_cast<size_t>(i)] = coefficients[i];
            if (coefficients[i] != static_cast<Real>(0)) {
                anyNonZero = true;
            }
        }
        return anyNonZero;
    }

    int MinimumRequired() const override { return m_size; }

    // |p(x) - y|.
    Real Error(std::array<Real, 2> const& observation) const override {
        return std::abs(Evaluate(observation[0]) - observation[1]);
    }

    void CopyParameters(BaseType const* input) override {
        auto const* source = dynamic_cast<ApprPolynomial2 const*>(input);
        if (source != nullptr) {
            m_degree = source->m_degree;
            m_size = source->m_size;
            m_xDomain = source->m_xDomain;
            m_parameters = source->m_parameters;
        }
    }

    // Horner's rule from the highest coefficient down.
    Real Evaluate(Real x) const {
        if (m_parameters.empty()) {
            return static_cast<Real>(0);
        }
        size_t i = m_parameters.size() - 1;
        Real value = m_parameters[i];
        while (i-- > 0) {
            value = value * x + m_parameters[i];
        }
        return value;
    }

    int GetDegree() const { return m_degree; }
    // Parameter i is the coefficient of x^i.
    std::vector<Real> const& GetParameters() const { return m_parameters; }
    // Smallest and largest x seen by the fits so far.
    std::array<Real, 2> const& GetXDomain() const { return m_xDomain; }

private:
    int m_degree;
    int m_size;
    std::array<Real, 2> m_xDomain;
    std::vector<Real> m_parameters;
};

} // namespace gte
