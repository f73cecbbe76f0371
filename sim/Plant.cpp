#include "Plant.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr double kPressureLagMs = 120.0;
constexpr double kMaxTravelUm = 4000.0;

double Round6(double v) { return std::floor(v * 1e6 + 0.5) / 1e6; }

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
double Stiffness(int well) { return 0.010 + 0.0005 * (well - 5); }

} // namespace

std::array<WellLaw, kWells> DefaultWellLaws() {
    static constexpr int kMount[kWells] = {12, -8, 5, 0, -15, 7, 3, -4, 10};
    std::array<WellLaw, kWells> laws{};
    for (int w = 0; w < kWells; ++w) {
        WellLaw& law = laws[static_cast<size_t>(w)];
        law.a = Round6(-0.002374 + 0.00001 * (w - 4));
        law.b = Round6(13.03619 * (1.0 + 0.004 * (w - 4)));
        double zeroAt = 1080.0 + 6.0 * w; // reading of the lowest position
        law.c = Round6(-(law.a * zeroAt * zeroAt + law.b * zeroAt));
        law.mountOffsetUm = kMount[w];
    }
    return laws;
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

double Plant::TargetPressure() const { return PressureForSetpoint(m_setpointCounts); }

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

double Plant::SpringForce(double x) const { return m_spring.SpringForce(x); }

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
    const WellLaw& law = m_laws[static_cast<size_t>(well - 1)];
    double c = law.c + law.mountOffsetUm - positionUm;
    if (law.a == 0) {
        return law.b != 0 ? -c / law.b : 0;
    }
    double vertex = -law.b / (2 * law.a);
    double d = law.b * law.b - 4 * law.a * c;
    if (d < 0) {
        return vertex;
    }
    // The root on the rising side of the parabola, where the sensor is used.
    double r1 = (-law.b + std::sqrt(d)) / (2 * law.a);
    double r2 = (-law.b - std::sqrt(d)) / (2 * law.a);
    double rising = (2 * law.a * r1 + law.b > 0) ? r1 : r2;
    return std::max(0.0, rising);
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
