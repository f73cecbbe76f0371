// Calibration mode: the regulator driven by hand (a force, a pressure in MPa or raw counts),
// live averages of the pressure sensor and the nine wells with the forces that follow from them,
// the position offsets set against a known absolute position or cleared, and the current
// positions appended to a local file.
//
// The controls' values live with whoever shows them (the dialog, the command-line program); the
// device steps are free functions that run where the controller lives.
#pragma once

#include "calibration/CalibrationDevice.h"
#include "calibration/DisplacementCalibration.h"
#include "calibration/SensorSampling.h"
#include "common/Progress.h"
#include "recordings/SpringModel.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A number in a read-only field: a value, nothing (the fitted hardware has no table for it), or
// a reading that failed.
struct Figure {
    enum class State { Value, Missing, Failed };
    State state = State::Value;
    double value = 0.0;

    static Figure Of(double v) { return {State::Value, v}; }
    static Figure Of(const std::optional<double>& v) {
        return v ? Figure{State::Value, *v} : Figure{State::Missing, 0.0};
    }
    static Figure Failed() { return {State::Failed, 0.0}; }
    static Figure Missing() { return {State::Missing, 0.0}; }
    bool HasValue() const { return state == State::Value; }
};

inline constexpr const char* kFailedFigureText = "failed";
// A double field as the dialog shows it (up to 15 significant digits), "" when missing,
// "failed" when its reading failed.
std::string DoubleFigureText(const Figure& figure);
// A single-precision field (positions, average force): six significant digits.
std::string FloatFigureText(const Figure& figure);

// What the dialog shows of the readings.
struct SensorFigures {
    Figure pressure;                            // MPa, to 0.001
    Figure rawPressure;                         // mean counts, to 0.1
    Figure pressureStdDev;                      // counts, to 0.01
    std::array<Figure, kWellCount> positions{}; // um (whole), or the mean reading in raw units
    std::array<Figure, kWellCount> forces{};    // N
    Figure averageForce;                        // N, to 0.001
    Figure springForce;                         // N, to 0.1

    // Every figure Missing: nothing known yet (the command-line program's starting point).
    static SensorFigures Unknown();
};

// The controls of the set point.
struct SetPointControls {
    float entry = 0.0f;
    bool specifyRaw = false;
    bool specifyMPa = false;

    // "+1.0" and "-1.0" (never below 0).
    void StepUp() { entry += 1.0f; }
    void StepDown() { entry = entry - 1.0f < 0.0f ? 0.0f : entry - 1.0f; }
    // The unit check boxes exclude each other and start again from 0.
    void ChooseRaw(bool on) {
        specifyRaw = on;
        specifyMPa = false;
        entry = 0.0f;
    }
    void ChooseMPa(bool on) {
        specifyMPa = on;
        specifyRaw = false;
        entry = 0.0f;
    }
};

inline constexpr const char* kAdvancedSettingQuestion =
    "Warning: This is an advanced setting\nAre you sure you would like to Continue?";
inline constexpr int kSetPointSettleMs = 400;
inline constexpr int kLeaveValvePulseMs = 500;

// --- device steps -----------------------------------------------------------------------------

// "0R 1" or "0R 0". True when acknowledged.
bool SendValve(ICalibrationDevice& device, bool open);

struct SetPointResult {
    std::optional<int32_t> raw; // nothing when the fitted hardware gives no set point
    bool sent = false;
    std::string message; // why there is no set point
};
// The raw set point for the entry in its unit (raw counts; MPa; otherwise N, or MPa with a
// Hydrostatic membrane), sent with "0A".
SetPointResult ApplySetPoint(ICalibrationDevice& device, const SetPointControls& controls);
// The raw set point alone, from a description.
SetPointResult RawSetPoint(const HardwareDescription& description,
                           const SetPointControls& controls);

// The figures from one round of samples: pressure always, positions and forces unless the
// membrane is Hydrostatic (then they keep `previous`). A failed channel shows as failed, and so
// does everything computed from it.
SensorFigures FiguresFromSamples(const SensorSamples& samples,
                                 const HardwareDescription& description, const SpringModel& spring,
                                 bool showRaw, const SensorFigures& previous);
// Samples (the pressure alone with a Hydrostatic membrane) and computes the figures. A
// cancelled refresh gives `previous` back.
SensorFigures RefreshReadings(ICalibrationDevice& device, const SpringModel& spring, bool showRaw,
                              const SensorFigures& previous, int samples = kSamplesPerReading,
                              const ProgressFn& progress = {});

struct OffsetsResult {
    SensorSamples samples;
    int wellWithoutLaw = 0; // a well the fitted magnet gives no position for
    bool computed = false;
    std::array<int32_t, kWellCount> offsets{};
    CardFileWrite written; // POSCAL.INI, once computed
};
// Calibrate: each well's offset moved so that its current position reads `absolutePosition`,
// written to POSCAL.INI and kept in memory once the card holds them. Without an offsets table
// one of zeros is made first. A failed reading writes nothing.
OffsetsResult CalibratePositions(ICalibrationDevice& device, int32_t absolutePosition,
                                 int samples = kSamplesPerReading, const ProgressFn& progress = {});
CalibrationOutcome OffsetsOutcome(const OffsetsResult& result);
// Reset: POSCAL.INI and the offsets in memory to zeros. The failure message, with what the card
// holds now, if any.
CalibrationOutcome ResetPositions(ICalibrationDevice& device);

// Leaving: regulator to 0, the valve pulsed open for half a second and left closed.
void LeaveCalibrationMode(ICalibrationDevice& device);

// Special: the nine shown positions appended to the file (folder made when missing).
CalibrationOutcome SaveSpecialPositions(const std::filesystem::path& path,
                                        const SensorFigures& figures);

// The figures as named values, in the order the sensors command prints them.
std::vector<std::pair<std::string, std::string>> SensorLines(const SensorFigures& figures);
