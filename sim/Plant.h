// The physical side of the simulated device: regulator, pressure sensor, membrane, the nine
// wells with their specimens (the reference spring in well 1) and the magnet sensors.
//
// The numbers are made so that the program's own measurement model reads them back sensibly:
// the pressure sensor is the inverse of the regulator scaling, the wells settle where the
// membrane force at the current pressure meets the load in the well, and each magnet sensor is
// the inverse of a fixed position law per well (the program's built-in one for the fitted magnet
// and spring). The seeded MAGCAL.INI and MAGCAL0.INI hold quadratic fits of those laws and the
// seeded POSCAL.INI the mounting offsets, so a fresh card reads true positions within a few
// micrometres; a new displacement or offset calibration changes what the program computes,
// never the physics.
#pragma once

#include "common/NumberText.h"
#include "hardware/HardwareDescription.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <array>
#include <cstdint>
#include <random>

namespace sim {

inline constexpr int kWells = 9;

// The magnet sensor of one well: position = m1 - sqrt((r - m0) / m2) + mount offset, the form
// the program's built-in table uses for this magnet. A displacement calibration fits a quadratic
// to it; FitQuadratic does the same for the seeded calibration files.
struct WellLaw {
    double m2 = 0, m1 = 0, m0 = 0;
    int mountOffsetUm = 0;

    // Position (um) that a reading gives, mount offset included.
    double Position(double reading) const;
    // The reading at a position (the inverse of the line above).
    double Reading(double positionUm) const;
};

// Least-squares a, b, c of position = a*r^2 + b*r + c over 0..maxUm (the range the wells
// use; the fit is within about 12 um there), mount offset excluded
// (it belongs in POSCAL.INI), rounded to the six decimals the card files keep.
std::array<double, 3> FitQuadratic(const WellLaw& law, double maxUm = 1500.0);

class Plant {
public:
    Plant();

    void SetHardware(const HardwareDescription& hardware, int hardwareVersion);
    const HardwareDescription& Hardware() const { return m_hardware; }

    // Regulator set point in raw counts, as "0A" takes it.
    void SetSetpoint(double counts) { m_setpointCounts = counts; }
    double Setpoint() const { return m_setpointCounts; }
    void SetValveOpen(bool open) { m_valveOpen = open; }
    bool ValveOpen() const { return m_valveOpen; }
    // While a test runs the firmware keeps the membrane connected whatever the valve says.
    void SetRunning(bool running) { m_running = running; }
    // Spacers under the shuttles fix every well at one height (displacement calibration);
    // negative removes them.
    void SetSpacerUm(double um) { m_spacerUm = um; }

    // Lets the pressure follow the set point for `ms` milliseconds (first-order lag).
    void Advance(double ms);
    // Jumps straight to the steady state.
    void Settle() { m_pressureMPa = TargetPressure(); }

    double TargetPressure() const;
    double PressureMPa() const { return m_pressureMPa; }
    // Pressure seen by the wells.
    double WellPressureMPa() const;
    double WellPositionUm(int well) const;  // well 1..9, true position
    double SensorCounts(int channel) const; // channel 0 pressure, 1..9 wells, noiseless
    double NoisyCounts(int channel);        // with sensor noise
    int Reading(int channel) { return SaturatedInt32(NoisyCounts(channel) + 0.5); }

    // Inverses used elsewhere: the raw set point of a pressure and the sensor counts of a
    // pressure (regulator scaling of the fitted regulator).
    double SetpointForPressure(double mpa) const;
    double PressureForSetpoint(double counts) const;
    double PressureSensorCounts(double mpa) const;
    // Membrane force (N) at a pressure and a position, without rounding.
    double MembraneForce(double mpa, double positionUm) const;
    // The pressure (MPa) that gives a force at position 0: the inverse of the line above.
    double PressureForForce(double newton) const;
    double SpringForce(double positionUm) const;
    // The sensor counts that a well shows at a position.
    double CountsForPosition(int well, double positionUm) const;

    const std::array<WellLaw, kWells>& Laws() const { return m_laws; }
    void Seed(uint32_t seed) { m_rng.seed(seed); }
    void SetNoise(bool on) { m_noise = on; }

private:
    double Load(int well, double positionUm) const;

    HardwareDescription m_hardware;
    int m_hardwareVersion = 1000;
    std::array<WellLaw, kWells> m_laws{};
    // The regulator and sensor scaling and the reference spring are the program's own model;
    // the membrane is modelled here without the program's display rounding.
    ForceModel m_model;
    SpringModel m_spring;
    double m_setpointCounts = 0;
    double m_pressureMPa = 0;
    bool m_valveOpen = false;
    bool m_running = false;
    double m_spacerUm = -1;
    bool m_noise = true;
    std::mt19937 m_rng{12345};
};

// The well laws of the simulated sensors: magnet A10x2.5 with the gold spring in well 1.
std::array<WellLaw, kWells> DefaultWellLaws();

} // namespace sim
