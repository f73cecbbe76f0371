// The measurement model of the device: sensor counts to well positions (um) and pressures
// (MPa), pressure and position to membrane force (N), and the raw pressure set point that
// gives a wanted force or pressure.
//
// Hardware without a table for some quantity (magnet NoMagnet or an invalid one without
// displacement coefficients, membrane A1_32 or an invalid one, an invalid regulator) gives
// std::nullopt for every value that needs that table, so callers can leave the value out
// instead of writing a made-up number. MissingTables() says which tables are missing.
//
// The model copies what it needs from the description at construction (a later change to the
// description, such as a new offset, does not reach it). The spring model is referred to and
// must outlive the model while Spring() is used.
#pragma once

#include "hardware/HardwareDescription.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

class SpringModel;

class ForceModel {
public:
    using Offsets = std::optional<std::array<int32_t, kWellCount>>;
    using Coefficients = std::optional<std::array<double, 3 * kWellCount>>;

    // Default tables for the hardware, then the offsets (one per well, um) if given, then the
    // coefficients (m2, m1, m0 per well) if given, which make every well a direct quadratic.
    ForceModel(const Offsets& positionOffsets, const Coefficients& displacementCoefficients,
               const HardwareDescription& description, const SpringModel* springModel = nullptr);
    // The same with the description's own offsets and coefficients.
    explicit ForceModel(const HardwareDescription& description,
                        const SpringModel* springModel = nullptr);

    // Well 1..9, reading in sensor counts (file values already divided by 100). A reading the
    // inverse form cannot invert gives exactly 0. nullopt for a well outside 1..9 or a well
    // without position coefficients.
    std::optional<double> Position(int well, double reading) const;
    // Pressure sensor counts to MPa; nullopt without regulator scaling.
    std::optional<double> ActualPressure(double reading) const;
    // Raw set point (counts) to MPa; nullopt without regulator scaling.
    std::optional<double> SpecifiedPressure(double rawSetpoint) const;
    // Membrane force (N) at a pressure (MPa) and position (um). nullopt without force table
    // (a Hydrostatic membrane has none).
    std::optional<double> Force(double pressureMPa, double positionUm) const;
    // The force (or, on a Hydrostatic membrane, the pressure) a raw set point produces.
    std::optional<double> SetpointValue(double rawSetpoint, double positionUm) const;
    // The raw set point (counts, not yet an integer) for a target force (or pressure on a
    // Hydrostatic membrane).
    std::optional<double> PressureSetpoint(double target, double positionUm) const;

    // What the hardware lacks, as bits.
    enum Missing : unsigned {
        MissingNone = 0,
        MissingPositionTable = 1,   // magnet without table and no coefficients
        MissingForceTable = 2,      // membrane without table (Hydrostatic does not count)
        MissingPressureScaling = 4, // invalid regulator
    };
    unsigned MissingTables() const { return m_missing; }
    // One sentence naming the missing tables and the parts that lack them; empty when none.
    std::string MissingTablesMessage() const;

    bool HasPositionModel(int well) const;
    bool HasForceTable() const { return m_breakpointCount > 0; }
    bool HasPressureScaling() const { return m_hasPressureScaling; }
    bool IsHydrostatic() const { return m_membrane == Membrane::Hydrostatic; }
    // Zero without regulator scaling.
    double PressureScale() const { return m_pressureScale; }
    double PressureOffset() const { return m_pressureOffset; }
    int32_t hardwareVersion() const { return m_hardwareVersion; }

    // Per-well values in effect (well 1..9).
    struct WellModel {
        double m2 = 0.0, m1 = 0.0, m0 = 0.0;
        double offset = 0.0;
        bool directPolynomial = false;
        bool defined = false;
    };
    const WellModel& Well(int well) const { return m_wells[static_cast<size_t>(well - 1)]; }

    // The spring model given at construction, or null.
    const SpringModel* Spring() const { return m_springModel; }

    // Running state of one conversion pass over a test data file.
    void ResetConversion() {
        m_latestActualPressure = 0.0;
        m_dataLineCount = 0;
    }
    double LatestActualPressure() const { return m_latestActualPressure; }
    void SetLatestActualPressure(double pressureMPa) { m_latestActualPressure = pressureMPa; }
    int DataLineCount() const { return m_dataLineCount; }
    // Counts one data line and returns the new count.
    int CountDataLine() { return ++m_dataLineCount; }

private:
    void LoadPositionTable(const SpringModel* springModel);
    void LoadForceTable();
    void LoadRegulator();
    // Rounding step of Force's interpolated values and of SetpointValue.
    double ForceStep() const;
    double SetpointStep() const;
    // Pressures (Hydrostatic membrane) read back from set points keep at least this much.
    static constexpr double kHydrostaticSetpointStep = 0.001;

    std::array<WellModel, kWellCount> m_wells{};

    std::array<double, 4> m_breakpoints{};
    std::array<double, 4> m_S{};
    std::array<double, 4> m_T{};
    int m_breakpointCount = 0;

    double m_pressureScale = 0.0;
    double m_pressureOffset = 0.0;
    double m_sensorGain = 0.0;
    double m_sensorOffset = 0.0;
    bool m_hasPressureScaling = false;

    int32_t m_hardwareVersion;
    int32_t m_magnet;
    int32_t m_membrane;
    int32_t m_regulator;
    unsigned m_missing = MissingNone;

    const SpringModel* m_springModel;

    double m_latestActualPressure = 0.0;
    int m_dataLineCount = 0;
};

// The per-reading functions are defined here so that the converter's hot loop can inline them.
inline double RoundToForceStep(double value, double step) {
    const double k = 1.0 / step;
    return std::floor(value * k + 0.5) / k;
}

inline bool ForceModel::HasPositionModel(int well) const {
    return well >= 1 && well <= kWellCount && Well(well).defined;
}

inline std::optional<double> ForceModel::Position(int well, double x) const {
    if (!HasPositionModel(well)) {
        return std::nullopt;
    }
    const WellModel& w = Well(well);
    if (w.directPolynomial) {
        return w.m2 * x * x + w.m1 * x + w.m0 + w.offset;
    }
    const double t = (x - w.m0) / w.m2;
    if (t < 0.0) {
        return 0.0;
    }
    return w.m1 - std::sqrt(t) + w.offset;
}

inline std::optional<double> ForceModel::ActualPressure(double x) const {
    if (!m_hasPressureScaling) {
        return std::nullopt;
    }
    return ((x * m_sensorGain + m_sensorOffset) * m_pressureScale) + m_pressureOffset;
}

inline double ForceModel::ForceStep() const {
    return m_regulator == Regulator::QPV1 || m_regulator == Regulator::QB3_20 ? 0.001 : 0.1;
}

inline std::optional<double> ForceModel::Force(double P, double x) const {
    if (!HasForceTable()) {
        return std::nullopt;
    }
    if (P <= 0.0) {
        return 0.0;
    }
    auto v = [&](int i) { return std::max(0.0, P * m_T[i] + m_S[i]); };
    const int n = m_breakpointCount;
    int i = 0;
    for (; i <= n - 2; ++i) {
        if (m_breakpoints[i] >= x) {
            return v(i);
        }
        if (m_breakpoints[i + 1] >= x) {
            break;
        }
    }
    i = std::min(i, n - 2); // beyond the last breakpoint: extrapolate the last segment
    const double vi = v(i);
    const double vj = v(i + 1);
    const double value =
        vi + (vj - vi) * (x - m_breakpoints[i]) / (m_breakpoints[i + 1] - m_breakpoints[i]);
    return RoundToForceStep(value, ForceStep());
}
