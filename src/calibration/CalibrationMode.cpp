#include "calibration/CalibrationMode.h"

#include "common/NumberText.h"
#include "protocol/SetEditRules.h"
#include "recordings/ForceModel.h"

#include <climits>
#include <cmath>

namespace {

// floor(v * k + 0.5) / k: rounding to the step 1/k.
double RoundBy(double value, double k) {
    return std::floor(value * k + 0.5) / k;
}

float F(double value) {
    return static_cast<float>(value);
}

int32_t ToInt32(double value) {
    if (!(value > INT32_MIN))
        return INT32_MIN;
    if (value >= static_cast<double>(INT32_MAX))
        return INT32_MAX;
    return static_cast<int32_t>(value);
}

} // namespace

std::string DoubleFigureText(const Figure& figure) {
    if (figure.state == Figure::State::Failed)
        return kFailedFigureText;
    if (figure.state == Figure::State::Missing)
        return {};
    return GeneralText(figure.value, 15);
}

std::string FloatFigureText(const Figure& figure) {
    if (figure.state != Figure::State::Value)
        return DoubleFigureText(figure);
    return GeneralText(static_cast<float>(figure.value), 6);
}

SensorFigures SensorFigures::Unknown() {
    SensorFigures figures;
    figures.pressure = figures.rawPressure = figures.pressureStdDev = Figure::Missing();
    figures.positions.fill(Figure::Missing());
    figures.forces.fill(Figure::Missing());
    figures.averageForce = figures.springForce = Figure::Missing();
    return figures;
}

bool SendValve(ICalibrationDevice& device, bool open) {
    return device.Command(open ? "0R 1\r" : "0R 0\r") == 0;
}

SetPointResult RawSetPoint(const HardwareDescription& description,
                           const SetPointControls& controls) {
    SetPointResult result;
    const double v = controls.entry;
    if (!std::isfinite(v)) {
        result.message = kNotANumberText;
        return result;
    }
    const ForceModel model(description.positionOffsets, description.displacementCoefficients,
                           description);
    // The regulator is never asked for more than the set editor allows a protocol, whatever
    // the unit: a raw count beyond its range, or below zero, is not a pressure it can make.
    const SetEditLimits limits = SetEditLimitsFor(description);
    const SetEditLimits range = RegulatorPressureLimits(description);
    if (!controls.specifyRaw && !controls.specifyMPa && F(v) > limits.maxMagnitude) {
        result.message = Format("Error:  Maximum Compress Magnitude = %.1f %s\n",
                                double(limits.maxMagnitude), limits.unit.c_str());
        return result;
    }
    if (controls.specifyMPa && F(v) > range.maxMagnitude) {
        result.message =
            Format("Error:  Maximum Compress Magnitude = %.1f MPa\n", double(range.maxMagnitude));
        return result;
    }
    // A force or pressure below zero is none the regulator can make; the force law would
    // quietly send it as 0.
    if (!controls.specifyRaw && F(v) < 0.0f) {
        result.message = Format("Error:  Minimum Compress Magnitude = 0.0 %s\n",
                                controls.specifyMPa ? "MPa" : limits.unit.c_str());
        return result;
    }
    if (controls.specifyRaw) {
        result.raw = ToInt32(std::floor(v));
    } else if (controls.specifyMPa) {
        if (!model.HasPressureScaling()) {
            result.message = "Error:  The fitted pressure regulator has no pressure scaling; "
                             "the set point was not sent.";
            return result;
        }
        result.raw =
            ToInt32(std::floor((v - model.PressureOffset()) / model.PressureScale() + 0.5));
    } else {
        const std::optional<double> setpoint = model.PressureSetpoint(v, 0.0);
        if (!setpoint || !std::isfinite(*setpoint)) {
            result.message = "Error:  The fitted hardware has no force table or pressure "
                             "scaling; the set point was not sent.";
            return result;
        }
        result.raw = ToInt32(std::floor(*setpoint + 0.5));
    }
    if (model.HasPressureScaling()) {
        const double top =
            std::floor((range.maxMagnitude - model.PressureOffset()) / model.PressureScale() + 0.5);
        if (*result.raw < 0 || *result.raw > top) {
            result.message = Format("Error:  Raw set point must be between 0 and %.0f\n", top);
            result.raw.reset();
        }
    } else if (*result.raw < 0) {
        result.message = "Error:  Raw set point must not be below 0\n";
        result.raw.reset();
    }
    return result;
}

SetPointResult ApplySetPoint(ICalibrationDevice& device, const SetPointControls& controls) {
    SetPointResult result = RawSetPoint(device.Hardware(), controls);
    if (result.raw)
        result.sent = device.Command("0A " + std::to_string(*result.raw) + "\r") == 0;
    return result;
}

SensorFigures FiguresFromSamples(const SensorSamples& samples,
                                 const HardwareDescription& description, const SpringModel& spring,
                                 bool showRaw, const SensorFigures& previous) {
    SensorFigures figures = previous;
    const ForceModel model(description.positionOffsets, description.displacementCoefficients,
                           description, &spring);
    if (samples.Usable(kPressureChannel)) {
        const double mean = samples.mean[kPressureChannel];
        const std::optional<double> pressure = model.ActualPressure(mean);
        figures.pressure = pressure ? Figure::Of(RoundBy(*pressure, 1000.0)) : Figure::Missing();
        figures.rawPressure = Figure::Of(RoundBy(mean, 10.0));
        figures.pressureStdDev = Figure::Of(RoundBy(samples.stdDev[kPressureChannel], 100.0));
    } else {
        figures.pressure = figures.rawPressure = figures.pressureStdDev = Figure::Failed();
    }
    if (description.MembraneStyle == Membrane::Hydrostatic)
        return figures; // no position is read: positions and forces keep their values

    float sum = 0.0f;
    bool anyFailed = false;
    bool anyMissing = false;
    for (int k = 1; k <= kWellCount; ++k) {
        Figure& position = figures.positions[k - 1];
        Figure& force = figures.forces[k - 1];
        if (!samples.Usable(k)) {
            position = force = Figure::Failed();
            if (k == spring.referenceWell)
                figures.springForce = Figure::Failed();
            anyFailed = true;
            continue;
        }
        const double mean = samples.mean[k];
        const std::optional<double> um = model.Position(k, mean);
        if (showRaw)
            position = Figure::Of(static_cast<float>(mean));
        else
            position =
                um ? Figure::Of(static_cast<float>(std::floor(*um + 0.5))) : Figure::Missing();
        if (!figures.pressure.HasValue())
            force = figures.pressure.state == Figure::State::Failed ? Figure::Failed()
                                                                    : Figure::Missing();
        else
            force = um ? Figure::Of(model.Force(figures.pressure.value, *um)) : Figure::Missing();
        if (k == spring.referenceWell)
            figures.springForce =
                um ? Figure::Of(RoundBy(spring.SpringForce(*um), 10.0)) : Figure::Missing();
        anyFailed = anyFailed || force.state == Figure::State::Failed;
        anyMissing = anyMissing || force.state == Figure::State::Missing;
        if (force.HasValue())
            sum += static_cast<float>(force.value);
    }
    if (anyFailed)
        figures.averageForce = Figure::Failed();
    else if (anyMissing)
        figures.averageForce = Figure::Missing();
    else
        figures.averageForce = Figure::Of(static_cast<float>(RoundBy(sum / 9.0f, 1000.0)));
    return figures;
}

SensorFigures RefreshReadings(ICalibrationDevice& device, const SpringModel& spring, bool showRaw,
                              const SensorFigures& previous, int samples,
                              const ProgressFn& progress) {
    const bool hydrostatic = device.Hardware().MembraneStyle == Membrane::Hydrostatic;
    const SensorSamples sampled = SampleSensors(
        device, hydrostatic ? std::vector<int>{kPressureChannel} : WellsThenPressure(), samples,
        false, progress);
    if (sampled.outcome == SensorSamples::Outcome::Cancelled)
        return previous;
    return FiguresFromSamples(sampled, device.Hardware(), spring, showRaw, previous);
}

OffsetsResult CalibratePositions(ICalibrationDevice& device, int32_t absolutePosition, int samples,
                                 const ProgressFn& progress) {
    OffsetsResult result;
    result.samples = SampleSensors(device, WellChannels(), samples, true, progress);
    if (result.samples.outcome != SensorSamples::Outcome::Complete)
        return result;
    HardwareDescription& description = device.Hardware();
    if (!description.positionOffsets)
        description.positionOffsets = std::array<int32_t, kWellCount>{};
    const std::array<int32_t, kWellCount> old = *description.positionOffsets;
    const ForceModel model(old, description.displacementCoefficients, description);
    for (int k = 1; k <= kWellCount; ++k) {
        const std::optional<double> position = model.Position(k, result.samples.mean[k]);
        if (!position) {
            result.wellWithoutLaw = k;
            return result;
        }
        result.offsets[k - 1] =
            ToInt32(std::floor(old[k - 1] + absolutePosition - *position + 0.5));
    }
    result.computed = true;
    result.written = device.WritePositionOffsets(result.offsets);
    if (result.written.Replaced())
        description.positionOffsets = result.offsets;
    return result;
}

CalibrationOutcome OffsetsOutcome(const OffsetsResult& result) {
    const std::string unchanged = "The position offsets were not changed.";
    const std::string failure = SamplingFailureText(result.samples, unchanged);
    if (!failure.empty())
        return CalibrationOutcome::Refused(failure, result.samples.outcome ==
                                                        SensorSamples::Outcome::Failed);
    if (result.wellWithoutLaw)
        return CalibrationOutcome::Refused("Error:  Well " + std::to_string(result.wellWithoutLaw) +
                                               " has no position law for the fitted magnet.\n" +
                                               unchanged,
                                           true);
    if (!result.written.Replaced())
        return CalibrationOutcome::Refused(
            "Error:  The position offsets could not be written to the device (POSCAL.INI).\n" +
                result.written.problem + "\n" +
                (result.written.Changed() ? "Set the position offsets again." : unchanged),
            true);
    return {};
}

CalibrationOutcome ResetPositions(ICalibrationDevice& device) {
    const CardFileWrite written = device.ResetPositionOffsets(false);
    if (written.Replaced())
        return {};
    return CalibrationOutcome::Refused(
        "Error:  The position offsets could not be reset on the device (POSCAL.INI).\n" +
            written.problem + "\n" +
            (written.Changed() ? "Reset the position offsets again."
                               : "The position offsets were not changed."),
        true);
}

void LeaveCalibrationMode(ICalibrationDevice& device) {
    device.Command("0A 0\r");
    device.Command("0R 1\r");
    device.SleepMs(kLeaveValvePulseMs);
    device.Command("0R 0\r");
}

CalibrationOutcome SaveSpecialPositions(const std::filesystem::path& path,
                                        const SensorFigures& figures) {
    std::array<std::string, kWellCount> texts;
    for (int w = 0; w < kWellCount; ++w) {
        if (!figures.positions[w].HasValue())
            return CalibrationOutcome::Refused(
                "Error:  The position of Well " + std::to_string(w + 1) +
                    " is not known; nothing was written to:\n" + path.string(),
                true);
        texts[w] = FloatFigureText(figures.positions[w]);
    }
    std::string error;
    if (!AppendToFile(path, SpecialPositionsLine(texts), &error))
        return CalibrationOutcome::Refused("Error:  The positions could not be written to:\n" +
                                               path.string() + "\n" + error,
                                           true);
    return {};
}

std::vector<std::pair<std::string, std::string>> SensorLines(const SensorFigures& figures) {
    std::vector<std::pair<std::string, std::string>> lines{
        {"Pressure (MPa)", DoubleFigureText(figures.pressure)},
        {"Pressure (Raw)", DoubleFigureText(figures.rawPressure)},
        {"Pressure Std. Dev.", DoubleFigureText(figures.pressureStdDev)},
    };
    for (int w = 0; w < kWellCount; ++w)
        lines.emplace_back("Position " + std::to_string(w + 1),
                           FloatFigureText(figures.positions[w]));
    for (int w = 0; w < kWellCount; ++w)
        lines.emplace_back("Force " + std::to_string(w + 1), DoubleFigureText(figures.forces[w]));
    lines.emplace_back("Spring Force (N)", DoubleFigureText(figures.springForce));
    lines.emplace_back("Average Force (N)", FloatFigureText(figures.averageForce));
    return lines;
}
