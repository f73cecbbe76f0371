// Inverse, determinant and linear solves of a square matrix by Gauss-Jordan elimination with
// full pivoting. Matrices are row-major arrays.
#pragma once

#include "mathematics/Logger.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace gte {

template <typename Real> class GaussianElimination {
public:
    // M is numRows x numRows. inverseM (may be null) receives the inverse. The optional right-hand
    // sides are a vector B (solution into X) and a numRows x numCols matrix C (solution into Y).
    // A singular matrix gives a zero inverse, a zero determinant and zero solutions, and false.
    bool operator()(int numRows, Real const* M, Real* inverseM, Real& determinant,
                    Real const* B = nullptr, Real* X = nullptr, Real const* C = nullptr,
                    int numCols = 0, Real* Y = nullptr) const {
        if (numRows < 1 || M == nullptr || ((B != nullptr) != (X != nullptr)) ||
            (C != nullptr && (Y == nullptr || numCols < 1))) {
            ThrowError(__FILE__,
                       std::string("gte::GaussianElimination<") + RealName<Real>() +
                           ">::operator()",
                       __LINE__, "Invalid input.");
        }

        const size_t n = static_cast<size_t>(numRows);
        const size_t nc = C != nullptr ? static_cast<size_t>(numCols) : 0;
        std::vector<Real> localInverse;
        if (inverseM == nullptr) {
            localInverse.resize(n * n);
            inverseM = localInverse.data();
        }
        auto inv = [inverseM, n](size_t r, size_t c) -> Real& { return inverseM[r * n + c]; };

        std::copy(M, M + n * n, inverseM);
        if (B != nullptr) {
            std::copy(B, B + n, X);
        }
        if (C != nullptr) {
            std::copy(C, C + n * nc, Y);
        }

        std::vector<bool> pivoted(n, false);
        std::vector<std::pair<size_t, size_t>> steps(n);
        determinant = static_cast<Real>(1);
        bool odd = false;

        for (size_t step = 0; step < n; ++step) {
            // The largest entry whose row and column have not been pivoted yet; on ties the
            // first one in row order, then column order, wins.
            Real maxValue = static_cast<Real>(0);
            size_t row = 0;
            size_t col = 0;
            for (size_t r = 0; r < n; ++r) {
                if (pivoted[r]) {
                    continue;
                }
                for (size_t c = 0; c < n; ++c) {
                    if (!pivoted[c]) {
                        Real value = std::abs(inv(r, c));
                        if (value > maxValue) {
                            maxValue = value;
                            row = r;
                            col = c;
                        }
                    }
                }
            }

            if (maxValue == static_cast<Real>(0)) {
                std::fill(inverseM, inverseM + n * n, static_cast<Real>(0));
                determinant = static_cast<Real>(0);
                if (X != nullptr) {
                    std::fill(X, X + n, static_cast<Real>(0));
                }
                if (Y != nullptr) {
                    std::fill(Y, Y + n * nc, static_cast<Real>(0));
                }
                return false;
            }

            pivoted[col] = true;
            if (row != col) {
                // Bring the pivot onto the diagonal.
                for (size_t c = 0; c < n; ++c) {
                    std::swap(inv(row, c), inv(col, c));
                }
                if (X != nullptr) {
                    std::swap(X[row], X[col]);
                }
                if (Y != nullptr) {
                    for (size_t c = 0; c < nc; ++c) {
                        std::swap(Y[row * nc + c], Y[col * nc + c]);
                    }
                }
                odd = !odd;
            }
            steps[step] = {row, col};

            Real pivot = inv(col, col);
            determinant *= pivot;
            inv(col, col) = static_cast<Real>(1);
            for (size_t c = 0; c < n; ++c) {
                inv(col, c) /= pivot;
            }
            if (X != nullptr) {
                X[col] /= pivot;
            }
            if (Y != nullptr) {
                for (size_t c = 0; c < nc; ++c) {
                    Y[col * nc + c] /= pivot;
                }
            }

            for (size_t r = 0; r < n; ++r) {
                if (r == col) {
                    continue;
                }
                Real save = inv(r, col);
                inv(r, col) = static_cast<Real>(0);
                for (size_t c = 0; c < n; ++c) {
                    inv(r, c) -= inv(col, c) * save;
                }
                if (X != nullptr) {
                    X[r] -= X[col] * save;
                }
                if (Y != nullptr) {
                    for (size_t c = 0; c < nc; ++c) {
                        Y[r * nc + c] -= Y[col * nc + c] * save;
                    }
                }
            }
        }

        // The row swaps above permuted the inverse's columns; undo them in reverse order.
        for (size_t step = n; step-- > 0;) {
            auto [row, col] = steps[step];
            if (row != col) {
                for (size_t r = 0; r < n; ++r) {
                    std::swap(inv(r, row), inv(r, col));
                }
            }
        }

        if (odd) {
            determinant = -determinant;
        }
        return true;
    }
};

} // namespace gte
