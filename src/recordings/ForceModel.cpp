#include "recordings/ForceModel.h"

#include "recordings/SpringModel.h"

#include <algorithm>
#include <cmath>

namespace {

struct PositionRow {
    double m2, m1, m0;
};

// Inverse form for every well.
constexpr PositionRow kMagnetA25_10[kWellCount] = {
    {4.9101e-05, 2539.24806012, 2207.54651932}, {5.2059e-05, 2396.04515069, 2211.26309615},
    {3.7234e-05, 2774.87293871, 2186.3431852},  {2.2992e-05, 3907.78159795, 2137.57175466},
    {1.9688e-05, 4196.64866924, 2118.85769928}, {3.5531e-05, 2552.49674932, 2194.34701981},
    {2.584e-05, 3603.30238003, 2168.968917},    {2.896e-05, 3205.52486188, 2187.34737602},
    {2.0794e-05, 3806.88109551, 2125.62620562},
};

// Well 1 is a direct quadratic unless a silver or gold reference spring sits in it.
constexpr PositionRow kMagnetA100_25[kWellCount] = {
    {-0.002373654, 13.03619006, -11432.6510941}, {-2.3942e-05, 3582.88781221285, 1414.200491},
    {-1.3605e-05, 5457.55237, 1533.039264},      {-7.884e-06, 8580.669711, 1744.607306},
    {-8.559e-06, 7197.394555, 1631.940498},      {-2.0434e-05, 3869.041793, 1481.586444},
    {-4.847e-06, 14318.13493, 2128.165564},      {-7.856e-06, 8342.668024, 1727.158462},
    {-9.549e-06, 7540.05655, 1706.424072},
};
constexpr PositionRow kMagnetA100_25Well1SilverSpring = {-2.08171e-05, 4868.99944036,
                                                         1500.87165857};
constexpr PositionRow kMagnetA100_25Well1GoldSpring = {-2.549679059e-05, 4153.14583235,
                                                       1460.16984283};

// The membrane tables were fitted in single precision; they keep the float values, widened.
constexpr double F(float value) {
    return static_cast<double>(value);
}

struct ForceTable {
    double bp[4];
    double S[4];
    double T[4];
};

constexpr ForceTable kMembrane70A_Early = {
    {0, 500, 1500, 2500},
    {F(0.86290205f), -0.66268674, F(-2.441823f), F(-4.3396845f)},
    {F(114.981125f), F(114.48512f), F(107.70303f), F(109.23831f)}};
constexpr ForceTable kMembrane70A = {
    {0, 870, 1820, 2880},
    {F(-0.43119055f), F(-2.4278786f), F(-3.1542838f), F(-6.864368f)},
    {F(280.8331f), F(221.66193f), F(184.89139f), F(133.23405f)}};
constexpr ForceTable kMembrane10A = {{0, 1300, 2100, 3000},
                                     {F(-0.112672f), F(-0.13087f), F(-0.091965f), F(-0.140941f)},
                                     {F(0.24838f), F(0.187324f), F(0.117324f), F(0.081583f)}};

// Hardware revisions from 1800 on carry the stiffer 70A membrane.
constexpr int32_t kSecondMembraneRevision = 1800;

struct RegulatorScaling {
    double scale, offset, gain, sensorOffset;
};

constexpr RegulatorScaling kRegulators[] = {
    {0.000144875, 0, 1.25616, -1530.312},                   // SMC1050
    {9.96363636e-05, 0, 1.019, -1208.8},                    // SMC1030
    {0.001407856, 0, 1.2454369209, 86.1066},                // QPV1
    {4.77333e-05, -0.09825033, 1.0260472687, -20.36471561}, // QPV+-15
    {0.0002195, 0, 1.2409228, -975.63379051},               // ITV1050
    {0.00012195, 0, 1.2552967, -992.0028359},               // ITV1030
    {2.439e-05, 0, 1.24485286, -998.44743246},              // ITV1010
    {3.36321e-05, 0, 1.0011964407, -63.3079728315},         // QB3_20
};

double RoundToStep(double value, double step) {
    const double k = 1.0 / step;
    return std::floor(value * k + 0.5) / k;
}

} // namespace

ForceModel::ForceModel(const HardwareDescription& description, const SpringModel* springModel)
    : ForceModel(description.positionOffsets, description.displacementCoefficients, description,
                 springModel) {}

ForceModel::ForceModel(const Offsets& positionOffsets, const Coefficients& displacementCoefficients,
                       const HardwareDescription& description, const SpringModel* springModel)
    : m_hardwareVersion(description.hardwareVersion), m_magnet(description.MagnetStyle),
      m_membrane(description.MembraneStyle), m_regulator(description.RegulatorType),
      m_springModel(springModel) {
    LoadPositionTable(springModel);
    LoadForceTable();
    LoadRegulator();

    if (positionOffsets) {
        for (size_t w = 0; w < kWellCount; ++w) {
            m_wells[w].offset = (*positionOffsets)[w];
        }
    }
    if (displacementCoefficients) {
        for (size_t w = 0; w < kWellCount; ++w) {
            m_wells[w].m2 = (*displacementCoefficients)[3 * w];
            m_wells[w].m1 = (*displacementCoefficients)[3 * w + 1];
            m_wells[w].m0 = (*displacementCoefficients)[3 * w + 2];
            m_wells[w].directPolynomial = true;
            m_wells[w].defined = true;
        }
    }

    for (const WellModel& well : m_wells) {
        if (!well.defined) {
            m_missing |= MissingPositionTable;
        }
    }
    if (!HasForceTable() && !IsHydrostatic()) {
        m_missing |= MissingForceTable;
    }
    if (!m_hasPressureScaling) {
        m_missing |= MissingPressureScaling;
    }
}

void ForceModel::LoadPositionTable(const SpringModel* springModel) {
    // Offsets start at 0 for every magnet, also those without a table.
    const PositionRow* rows = nullptr;
    if (m_magnet == Magnet::A25_10) {
        rows = kMagnetA25_10;
    } else if (m_magnet == Magnet::A100_25) {
        rows = kMagnetA100_25;
    }
    if (!rows) {
        return;
    }
    for (size_t w = 0; w < kWellCount; ++w) {
        m_wells[w] = WellModel{rows[w].m2, rows[w].m1, rows[w].m0, 0.0, false, true};
    }
    if (m_magnet == Magnet::A100_25) {
        const int32_t spring = springModel ? springModel->type : Spring::NoSpring;
        if (spring == Spring::SilverSpring_9mm_Diam || spring == Spring::GoldSpring_13mm_Diam) {
            const PositionRow& row = spring == Spring::SilverSpring_9mm_Diam
                                         ? kMagnetA100_25Well1SilverSpring
                                         : kMagnetA100_25Well1GoldSpring;
            m_wells[0] = WellModel{row.m2, row.m1, row.m0, 0.0, false, true};
        } else {
            m_wells[0].directPolynomial = true;
        }
    }
}

void ForceModel::LoadForceTable() {
    const ForceTable* table = nullptr;
    if (m_membrane == Membrane::M70A_794um) {
        table = m_hardwareVersion < kSecondMembraneRevision ? &kMembrane70A_Early : &kMembrane70A;
    } else if (m_membrane == Membrane::M10A_794um) {
        table = &kMembrane10A;
    }
    if (!table) {
        return;
    }
    for (size_t i = 0; i < 4; ++i) {
        m_breakpoints[i] = table->bp[i];
        m_S[i] = table->S[i];
        m_T[i] = table->T[i];
    }
    m_breakpointCount = 4;
}

void ForceModel::LoadRegulator() {
    if (m_regulator < Regulator::SMC1050 || m_regulator > Regulator::QB3_20) {
        return;
    }
    const RegulatorScaling& r = kRegulators[m_regulator];
    m_pressureScale = r.scale;
    m_pressureOffset = r.offset;
    m_sensorGain = r.gain;
    m_sensorOffset = r.sensorOffset;
    m_hasPressureScaling = true;
}

double ForceModel::SetpointStep() const {
    const double step = m_regulator == Regulator::QPVPlusMinus15 ? 0.00001 : ForceStep();
    // A pressure read back to 0.1 MPa would turn a 0.04 MPa set into 0, and the next Program
    // Device would send that 0.
    if (IsHydrostatic()) {
        return std::min(step, kHydrostaticSetpointStep);
    }
    return step;
}

std::optional<double> ForceModel::SpecifiedPressure(double raw) const {
    if (!m_hasPressureScaling) {
        return std::nullopt;
    }
    return raw * m_pressureScale + m_pressureOffset;
}

std::optional<double> ForceModel::SetpointValue(double raw, double x) const {
    if (!m_hasPressureScaling) {
        return std::nullopt;
    }
    const double P = raw * m_pressureScale + m_pressureOffset;
    double value = P;
    if (!IsHydrostatic()) {
        const std::optional<double> force = Force(P, x);
        if (!force) {
            return std::nullopt;
        }
        value = *force;
    }
    return RoundToStep(value, SetpointStep());
}

std::optional<double> ForceModel::PressureSetpoint(double target, double x) const {
    if (!m_hasPressureScaling) {
        return std::nullopt;
    }
    if (IsHydrostatic()) {
        return (target - m_pressureOffset) / m_pressureScale;
    }
    if (!HasForceTable()) {
        return std::nullopt;
    }
    double p = 0.0;
    if (target > 0.0) {
        auto w = [&](int i) { return std::max(0.0, (target - m_S[i]) / m_T[i]); };
        const int n = m_breakpointCount;
        int i = 0;
        bool found = false;
        for (; i <= n - 2; ++i) {
            if (m_breakpoints[i] >= x) {
                p = w(i);
                found = true;
                break;
            }
            if (m_breakpoints[i + 1] >= x) {
                break;
            }
        }
        if (!found) {
            i = std::min(i, n - 2);
            const double wi = w(i);
            const double wj = w(i + 1);
            p = wi + (wj - wi) * (x - m_breakpoints[i]) / (m_breakpoints[i + 1] - m_breakpoints[i]);
        }
    }
    return (p - m_pressureOffset) / m_pressureScale;
}

std::string ForceModel::MissingTablesMessage() const {
    std::string message;
    auto add = [&message](const std::string& part) {
        message += message.empty() ? "No " : ", no ";
        message += part;
    };
    if (m_missing & MissingPositionTable) {
        add("position table for magnet style " + MagnetCode(m_magnet));
    }
    if (m_missing & MissingForceTable) {
        add("force table for membrane style " + MembraneCode(m_membrane));
    }
    if (m_missing & MissingPressureScaling) {
        add("pressure scaling for regulator type " + RegulatorCode(m_regulator));
    }
    if (!message.empty()) {
        message += ".";
    }
    return message;
}
