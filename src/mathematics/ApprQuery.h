// The common face of the least-squares fitters: fit to selected observations, report the
// smallest acceptable selection, measure an observation's error, copy another fitter's result.
#pragma once

#include <vector>

namespace gte {

template <typename Real, typename ObservationType> class ApprQuery {
public:
    virtual ~ApprQuery() = default;

    // Fits to the observations that the indices select (indices count from 0).
    virtual bool Fit(int numObservations, ObservationType const* observations, int numIndices,
                     int const* indices) = 0;

    virtual bool FitVectors(std::vector<ObservationType> const& observations,
                            std::vector<int> const& indices) {
        return Fit(static_cast<int>(observations.size()),
                   observations.empty() ? nullptr : observations.data(),
                   static_cast<int>(indices.size()), indices.empty() ? nullptr : indices.data());
    }

    virtual int MinimumRequired() const = 0;

    virtual Real Error(ObservationType const& observation) const = 0;

    virtual void CopyParameters(ApprQuery const* input) = 0;
};

} // namespace gte
