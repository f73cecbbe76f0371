#include "Plant.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sim {

namespace {

constexpr double kPressureLagMs = 120.0;
constexpr double kMaxTravelUm = 4000.0;

double Round6(double v) {
    return std::floor(v * 1e6 + 0.5) / 1e6;
}

struct MembraneTable {
    double bp[4], s[4], t[4];
};

// The membranes' force tables (N at a pressure in MPa, by position).
constexpr MembraneTable kMembrane70ALegacy{{0, 500, 1500, 2500},
                                           {0.86290205, -0.66268674, -2.441823, -4.3396845},
                                           {114.981125, 114.48512, 107.70303, 109.23831}};
constexpr MembraneTable kMembrane70A{{0, 870, 1820, 2880},
                                     {-0.43119055, -2.4278786, -3.1542838, -6.864368},
                                     {280.8331, 221.66193, 184.89139, 133.23405}};
constexpr MembraneTable kMembrane10A{{0, 1300, 2100, 3000},
                                     {-0.112672, -0.13087, -0.091965, -0.140941},
                                     {0.24838, 0.187324, 0.117324, 0.081583}};

const MembraneTable& TableFor(int membrane, int hardwareVersion) {
    if (membrane == Membrane::M10A_794um) {
        return kMembrane10A;
    }
    // Membranes without a table of their own move like the standard one.
    return hardwareVersion >= 1800 ? kMembrane70A : kMembrane70ALegacy;
}

// Specimen stiffness of the wells without the reference spring, N per um.
double Stiffness(int well) {
    return 0.010 + 0.0005 * (well - 5);
}

} // namespace

double WellLaw::Position(double reading) const {
    double t = (reading - m0) / m2;
    return t < 0 ? 0.0 : m1 - std::sqrt(t) + mountOffsetUm;
}

double WellLaw::Reading(double positionUm) const {
    double root = std::max(0.0, m1 + mountOffsetUm - positionUm);
    return m0 + m2 * root * root;
}

std::array<WellLaw, kWells> DefaultWellLaws() {
    static constexpr int kMount[kWells] = {12, -8, 5, 0, -15, 7, 3, -4, 10};
    // m2, m1, m0 of the A10x2.5 magnet; well 1 carries the gold spring.
    static constexpr double kLaw[kWells][3] = {
        {-2.549679059e-05, 4153.14583235, 1460.16984283},
        {-2.3942e-05, 3582.88781221285, 1414.200491},
        {-1.3605e-05, 5457.55237, 1533.039264},
        {-7.884e-06, 8580.669711, 1744.607306},
        {-8.559e-06, 7197.394555, 1631.940498},
        {-2.0434e-05, 3869.041793, 1481.586444},
        {-4.847e-06, 14318.13493, 2128.165564},
        {-7.856e-06, 8342.668024, 1727.158462},
        {-9.549e-06, 7540.05655, 1706.424072},
    };
    std::array<WellLaw, kWells> laws{};
    for (size_t w = 0; w < laws.size(); ++w) {
        laws[w] = WellLaw{kLaw[w][0], kLaw[w][1], kLaw[w][2], kMount[w]};
    }
    return laws;
}

std::array<double, 3> FitQuadratic(const WellLaw& law, double maxUm) {
    WellLaw bare = law;
    bare.mountOffsetUm = 0;
    // Normal equations on readings centred at their mean, which keeps them well conditioned.
    constexpr int kPoints = 81;
    std::vector<double> xs, ys;
    for (int i = 0; i < kPoints; ++i) {
        double y = maxUm * i / (kPoints - 1);
        xs.push_back(bare.Reading(y));
        ys.push_back(y);
    }
    double mean = 0;
    for (double x : xs) {
        mean += x / kPoints;
    }
    double s[5] = {0, 0, 0, 0, 0}, t[3] = {0, 0, 0};
    for (int i = 0; i < kPoints; ++i) {
        double u = xs[size_t(i)] - mean, p = 1;
        for (int k = 0; k < 5; ++k, p *= u) {
            s[k] += p;
            if (k < 3) {
                t[k] += p * ys[size_t(i)];
            }
        }
    }
    // | s4 s3 s2 | |A|   |t2|
    // | s3 s2 s1 | |B| = |t1|
    // | s2 s1 s0 | |C|   |t0|
    auto det3 = [](double a, double b, double c, double d, double e, double f, double g, double h,
                   double k) {
        return a * (e * k - f * h) - b * (d * k - f * g) + c * (d * h - e * g);
    };
    double d = det3(s[4], s[3], s[2], s[3], s[2], s[1], s[2], s[1], s[0]);
    double A = det3(t[2], s[3], s[2], t[1], s[2], s[1], t[0], s[1], s[0]) / d;
    double B = det3(s[4], t[2], s[2], s[3], t[1], s[1], s[2], t[0], s[0]) / d;
    double C = det3(s[4], s[3], t[2], s[3], s[2], t[1], s[2], s[1], t[0]) / d;
    return {Round6(A), Round6(B - 2 * A * mean), Round6(A * mean * mean - B * mean + C)};
}

Plant::Plant() : m_laws(DefaultWellLaws()), m_model(HardwareDescription{}) {
    SetHardware(HardwareDescription{}, 1000);
}

void Plant::SetHardware(const HardwareDescription& hardware, int hardwareVersion) {
    m_hardware = hardware;
    m_hardware.hardwareVersion = hardwareVersion;
    m_hardwareVersion = hardwareVersion;
    m_spring = SpringModel(hardware.SpringType);
    HardwareDescription scaling = m_hardware;
    if (!ForceModel(scaling).HasPressureScaling()) {
        // A regulator the program has no scaling for still has to produce some pressure.
        scaling.RegulatorType = Regulator::SMC1050;
    }
    m_model = ForceModel(scaling);
}

double Plant::PressureForSetpoint(double counts) const {
    return counts * m_model.PressureScale() + m_model.PressureOffset();
}

double Plant::SetpointForPressure(double mpa) const {
    return (mpa - m_model.PressureOffset()) / m_model.PressureScale();
}

double Plant::PressureSensorCounts(double mpa) const {
    // The program's reading is linear in the counts; invert it exactly.
    double zero = m_model.ActualPressure(0.0).value_or(0.0);
    double slope = m_model.ActualPressure(1.0).value_or(1.0) - zero;
    return (mpa - zero) / slope;
}

double Plant::TargetPressure() const {
    return PressureForSetpoint(m_setpointCounts);
}

void Plant::Advance(double ms) {
    if (ms <= 0) {
        return;
    }
    double target = TargetPressure();
    m_pressureMPa += (target - m_pressureMPa) * (1.0 - std::exp(-ms / kPressureLagMs));
}

double Plant::WellPressureMPa() const {
    return (m_valveOpen || m_running) ? std::max(0.0, m_pressureMPa) : 0.0;
}

double Plant::MembraneForce(double mpa, double positionUm) const {
    if (mpa <= 0) {
        return 0;
    }
    const MembraneTable& m = TableFor(m_hardware.MembraneStyle, m_hardwareVersion);
    auto v = [&](int i) { return std::max(0.0, mpa * m.t[i] + m.s[i]); };
    if (positionUm <= m.bp[0]) {
        return v(0);
    }
    int i = 0;
    while (i < 2 && positionUm > m.bp[i + 1]) {
        ++i;
    }
    return v(i) + (v(i + 1) - v(i)) * (positionUm - m.bp[i]) / (m.bp[i + 1] - m.bp[i]);
}

double Plant::PressureForForce(double newton) const {
    if (newton <= 0) {
        return 0;
    }
    const MembraneTable& m = TableFor(m_hardware.MembraneStyle, m_hardwareVersion);
    return std::max(0.0, (newton - m.s[0]) / m.t[0]);
}

double Plant::SpringForce(double x) const {
    return m_spring.SpringForce(x);
}

double Plant::Load(int well, double x) const {
    if (well == 1 && m_spring.valid) {
        // The spring only takes load once the shuttle reaches it; keep the curve rising so
        // that the balance below has one answer.
        return SpringForce(x) + 0.002 * x;
    }
    // Softer membranes carry softer specimens, so the shuttles travel alike on every membrane.
    const MembraneTable& m = TableFor(m_hardware.MembraneStyle, m_hardwareVersion);
    return Stiffness(well) * (m.t[0] / kMembrane70ALegacy.t[0]) * x;
}

double Plant::WellPositionUm(int well) const {
    if (m_spacerUm >= 0) {
        return m_spacerUm;
    }
    double p = WellPressureMPa();
    if (p <= 0) {
        return 0;
    }
    // The shuttle rises until the load in the well balances the membrane force.
    double lo = 0, hi = kMaxTravelUm;
    if (MembraneForce(p, hi) - Load(well, hi) > 0) {
        return hi;
    }
    for (int i = 0; i < 50; ++i) {
        double mid = 0.5 * (lo + hi);
        if (MembraneForce(p, mid) - Load(well, mid) > 0) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    return 0.5 * (lo + hi);
}

double Plant::CountsForPosition(int well, double positionUm) const {
    return std::max(0.0, m_laws[static_cast<size_t>(well - 1)].Reading(positionUm));
}

double Plant::SensorCounts(int channel) const {
    if (channel == 0) {
        return std::max(0.0, PressureSensorCounts(m_pressureMPa));
    }
    return CountsForPosition(channel, WellPositionUm(channel));
}

double Plant::NoisyCounts(int channel) {
    double value = SensorCounts(channel);
    if (m_noise) {
        std::normal_distribution<double> noise(0.0, channel == 0 ? 1.5 : 0.6);
        value += noise(m_rng);
    }
    return std::max(0.0, value);
}

} // namespace sim
