// A vector whose size is chosen at run time.
#pragma once

#include "mathematics/Logger.h"

#include <algorithm>
#include <string>
#include <vector>

namespace gte {

template <typename Real> class GVector {
public:
    explicit GVector(int size = 0) { SetSize(size); }

    // A negative size is a caller's mistake, reported as an assertion.
    void SetSize(int size) {
        if (size < 0) {
            ThrowAssertion(__FILE__, std::string("gte::GVector<") + RealName<Real>() + ">::SetSize",
                           __LINE__, "Invalid size.");
        }
        m_tuple.resize(static_cast<size_t>(size));
    }

    int GetSize() const { return static_cast<int>(m_tuple.size()); }

    Real const& operator[](int i) const { return m_tuple[static_cast<size_t>(i)]; }
    Real& operator[](int i) { return m_tuple[static_cast<size_t>(i)]; }

    void MakeZero() { std::fill(m_tuple.begin(), m_tuple.end(), static_cast<Real>(0)); }

    Real const* Data() const { return m_tuple.data(); }
    Real* Data() { return m_tuple.data(); }

private:
    std::vector<Real> m_tuple;
};

} // namespace gte
