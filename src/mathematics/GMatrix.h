// A dense matrix whose size is chosen at run time, stored row by row.
#pragma once

#include "mathematics/GVector.h"
#include "mathematics/GaussianElimination.h"
#include "mathematics/Logger.h"

#include <algorithm>
#include <string>
#include <vector>

namespace gte {

template <typename Real> class GMatrix {
public:
    GMatrix(int numRows = 0, int numCols = 0) { SetSize(numRows, numCols); }

    // A non-positive row or column count gives the empty 0 x 0 matrix.
    void SetSize(int numRows, int numCols) {
        if (numRows > 0 && numCols > 0) {
            m_numRows = numRows;
            m_numCols = numCols;
            m_elements.assign(static_cast<size_t>(numRows) * static_cast<size_t>(numCols),
                              static_cast<Real>(0));
        } else {
            m_numRows = 0;
            m_numCols = 0;
            m_elements.clear();
        }
    }

    int GetNumRows() const { return m_numRows; }
    int GetNumCols() const { return m_numCols; }
    int GetNumElements() const { return static_cast<int>(m_elements.size()); }

    Real const& operator()(int r, int c) const { return m_elements[Index(r, c)]; }
    Real& operator()(int r, int c) { return m_elements[Index(r, c)]; }

    void MakeZero() { std::fill(m_elements.begin(), m_elements.end(), static_cast<Real>(0)); }

    // Row-major storage, for the elimination routine.
    Real const* Data() const { return m_elements.data(); }
    Real* Data() { return m_elements.data(); }

private:
    size_t Index(int r, int c) const {
        if (r < 0 || r >= m_numRows || c < 0 || c >= m_numCols) {
            ThrowError(__FILE__, std::string("gte::GMatrix<") + RealName<Real>() + ">::operator()",
                       __LINE__, "Invalid index.");
        }
        return static_cast<size_t>(r) * static_cast<size_t>(m_numCols) + static_cast<size_t>(c);
    }

    int m_numRows = 0;
    int m_numCols = 0;
    std::vector<Real> m_elements;
};

// The inverse of a square matrix. A singular matrix gives the zero matrix; `reportInvertibility`
// (optional) says which case it was.
template <typename Real>
GMatrix<Real> Inverse(GMatrix<Real> const& M, bool* reportInvertibility = nullptr) {
    if (M.GetNumRows() != M.GetNumCols()) {
        ThrowError(__FILE__, std::string("gte::Inverse<") + RealName<Real>() + ">", __LINE__,
                   "Matrix must be square.");
    }
    GMatrix<Real> invM(M.GetNumRows(), M.GetNumCols());
    Real determinant;
    bool invertible =
        GaussianElimination<Real>()(M.GetNumRows(), M.Data(), invM.Data(), determinant);
    if (reportInvertibility != nullptr) {
        *reportInvertibility = invertible;
    }
    return invM;
}

template <typename Real> GVector<Real> operator*(GMatrix<Real> const& M, GVector<Real> const& V) {
    if (V.GetSize() != M.GetNumCols()) {
        ThrowError(__FILE__, std::string("gte::operator*<") + RealName<Real>() + ">", __LINE__,
                   "Mismatched sizes.");
    }
    GVector<Real> result(M.GetNumRows());
    for (int r = 0; r < M.GetNumRows(); ++r) {
        Real sum = static_cast<Real>(0);
        for (int c = 0; c < M.GetNumCols(); ++c) {
            sum += M(r, c) * V[c];
        }
        result[r] = sum;
    }
    return result;
}

} // namespace gte
