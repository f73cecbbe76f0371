// Calibration mode: the set point in its three units, the figures a refresh shows (and how a
// failed reading shows), the offsets Calibrate computes, leaving, and the special positions.
#include "calibration/CalibrationMode.h"

#include "FakeCalibrationDevice.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

class CalibrationModeTest : public ::testing::Test {
protected:
    CalibrationModeTest() {
        // Position = reading + offset in every well; SMC1050 regulator, 70A membrane, gold spring.
        std::array<double, 27> direct{};
        for (int w = 0; w < kWellCount; ++w)
            direct[3 * w + 1] = 1.0;
        device.hardware.displacementCoefficients = direct;
        device.readings[0] = 2000; // 0.142 MPa
        for (int w = 1; w <= kWellCount; ++w)
            device.readings[w] = 250;
    }
    std::map<std::string, std::string> Refresh(bool showRaw = false,
                                               SensorFigures previous = SensorFigures{}) {
        std::map<std::string, std::string> shown;
        for (const auto& [name, value] :
             SensorLines(RefreshReadings(device, spring, showRaw, previous)))
            shown[name] = value;
        return shown;
    }

    FakeCalibrationDevice device;
    SpringModel spring{Spring::GoldSpring_13mm_Diam};
};

TEST_F(CalibrationModeTest, SetPointInItsThreeUnits) {
    SetPointControls controls;
    controls.specifyRaw = true;
    controls.entry = 12.7f;
    EXPECT_EQ(*ApplySetPoint(device, controls).raw, 12);
    controls.entry = 0.5f;
    controls.StepDown();
    EXPECT_EQ(controls.entry, 0.0f);
    ApplySetPoint(device, controls);
    controls.ChooseMPa(true);
    EXPECT_FALSE(controls.specifyRaw);
    EXPECT_EQ(controls.entry, 0.0f);
    controls.entry = 0.5f;
    ApplySetPoint(device, controls);
    controls.ChooseMPa(false);
    controls.entry = 10.0f; // newtons at position 0
    ApplySetPoint(device, controls);
    EXPECT_EQ(device.lines,
              (std::vector<std::string>{"0A 12\r", "0A 0\r", "0A 3451\r", "0A 549\r"}));
}

TEST_F(CalibrationModeTest, SetPointsOutsideTheirRangeAreRefusedAndNotSent) {
    // A 0.1 MPa regulator on a Hydrostatic membrane: entries are MPa, raw counts end at 4100. On
    // a foam membrane the force law would make 0 of -1 N; without a pressure law raw counts have
    // no range, and a force none at all.
    constexpr int32_t kItv = Regulator::ITV1010, kHydro = Membrane::Hydrostatic;
    constexpr int32_t kFoam = Membrane::M70A_794um;
    struct Case {
        float entry;
        bool raw, mpa;
        int32_t regulator, membrane;
        const char* refusal; // empty: sent
    };
    const Case cases[] = {
        {0.1f, false, false, kItv, kHydro, ""},
        {0.15f, false, false, kItv, kHydro, "Error:  Maximum Compress Magnitude = 0.1 MPa\n"},
        {0.2f, false, true, kItv, kHydro, "Error:  Maximum Compress Magnitude = 0.1 MPa\n"},
        {4100.0f, true, false, kItv, kHydro, ""},
        {4101.0f, true, false, kItv, kHydro, "Error:  Raw set point must be between 0 and 4100\n"},
        {-1.0f, true, false, kItv, kHydro, "Error:  Raw set point must be between 0 and 4100\n"},
        {-0.01f, false, false, kItv, kHydro, "Error:  Minimum Compress Magnitude = 0.0 MPa\n"},
        {NAN, false, false, kItv, kHydro, "Please enter a number."},
        {-1.0f, false, false, Regulator::SMC1050, kFoam,
         "Error:  Minimum Compress Magnitude = 0.0 N\n"},
        {-1.0f, true, false, Regulator::Invalid, kFoam,
         "Error:  Raw set point must not be below 0\n"},
        {10.0f, false, false, Regulator::Invalid, kFoam,
         "Error:  The fitted hardware has no force table or pressure scaling; the set point "
         "was not sent."},
    };
    for (const Case& c : cases) {
        device.lines.clear();
        device.hardware.RegulatorType = c.regulator;
        device.hardware.MembraneStyle = c.membrane;
        SetPointControls controls;
        controls.entry = c.entry;
        controls.specifyRaw = c.raw;
        controls.specifyMPa = c.mpa;
        const SetPointResult result = ApplySetPoint(device, controls);
        EXPECT_EQ(result.message, c.refusal) << c.entry;
        EXPECT_EQ(result.raw.has_value(), !*c.refusal) << c.entry;
        EXPECT_EQ(device.lines.size(), *c.refusal ? 0u : 1u) << c.entry;
    }
}

TEST_F(CalibrationModeTest, RefreshShowsPressurePositionsAndForces) {
    auto shown = Refresh();
    EXPECT_EQ(device.lines.size(), 1000u);
    EXPECT_EQ(shown["Pressure (MPa)"], "0.142");
    EXPECT_EQ(shown["Pressure (Raw)"], "2000");
    EXPECT_EQ(shown["Pressure Std. Dev."], "0");
    EXPECT_EQ(shown["Position 1"], "250");
    EXPECT_EQ(shown["Force 5"], "16.4");
    EXPECT_EQ(shown["Spring Force (N)"], "3.9");
    EXPECT_EQ(shown["Average Force (N)"], "16.4");

    device.readings[0] = 2001;
    device.alternate = 1; // 2002, 2000, ...
    device.readings[2] = 260.5;
    shown = Refresh(true);
    EXPECT_EQ(shown["Pressure (Raw)"], "2001");
    EXPECT_EQ(shown["Pressure Std. Dev."], "1");
    EXPECT_EQ(shown["Position 2"], "260");
    // Positions are computed from the offsets: one of 7 moves the shown value, not the force.
    device.alternate = 0;
    device.hardware.positionOffsets = std::array<int32_t, 9>{7, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Refresh()["Position 1"], "257");
}

TEST_F(CalibrationModeTest, FailedReadingsShowAsFailedAndAHydrostaticMembraneReadsNoPositions) {
    device.sensorErrors = {{4, 5}};
    auto shown = Refresh();
    EXPECT_EQ(shown["Position 4"], kFailedFigureText);
    EXPECT_EQ(shown["Force 4"], kFailedFigureText);
    EXPECT_EQ(shown["Average Force (N)"], kFailedFigureText);
    EXPECT_EQ(shown["Position 5"], "250");
    // The failed channel is left out after its first failure.
    EXPECT_EQ(device.lines.size(), 901u);

    device.sensorErrors = {{0, 5}};
    shown = Refresh();
    for (const char* name : {"Pressure (MPa)", "Pressure (Raw)", "Force 1", "Force 9"})
        EXPECT_EQ(shown[name], kFailedFigureText) << name;
    EXPECT_EQ(shown["Spring Force (N)"], "3.9");

    // A line that gives no reply at all ends the refresh: every reading failed.
    device.lines.clear();
    device.sensorErrors = {{1, 1}};
    shown = Refresh();
    EXPECT_EQ(device.lines.size(), 1u);
    EXPECT_EQ(shown["Pressure (MPa)"], kFailedFigureText);

    // A stopped refresh fails nothing: the figures shown before stay.
    device.sensorErrors.clear();
    SensorFigures previous;
    previous.positions[0] = Figure::Of(42.0);
    const SensorFigures kept = RefreshReadings(device, spring, false, previous, kSamplesPerReading,
                                               [](auto, auto) { return false; });
    EXPECT_EQ(SensorLines(kept), SensorLines(previous));

    // A hydrostatic membrane reads the pressure only; the positions shown before stay.
    device.lines.clear();
    device.hardware.MembraneStyle = Membrane::Hydrostatic;
    shown = Refresh(false, previous);
    EXPECT_EQ(device.lines.size(), 100u);
    EXPECT_EQ(device.lines.back(), "0?D 0\r");
    EXPECT_EQ(shown["Pressure (MPa)"], "0.142");
    EXPECT_EQ(shown["Position 1"], "42");
}

TEST_F(CalibrationModeTest, CalibrateMovesEachOffsetToTheAbsolutePosition) {
    device.hardware.positionOffsets = std::array<int32_t, 9>{20, 20, 20, 20, 20, 20, 20, 20, 20};
    device.readings[3] = 460; // 480 um with its offset of 20
    OffsetsResult result = CalibratePositions(device, 500);
    ASSERT_TRUE(OffsetsOutcome(result).ok);
    EXPECT_EQ(device.lines.size(), 901u); // channels 1 to 9 (no pressure), then the file
    EXPECT_EQ(result.offsets[2], 40);
    EXPECT_EQ(result.offsets[0], 250);
    ASSERT_EQ(device.writtenOffsets.size(), 1u);
    EXPECT_EQ(*device.hardware.positionOffsets, result.offsets);

    // No offsets table yet (never connected): one of zeros is made first.
    device.hardware.positionOffsets.reset();
    result = CalibratePositions(device, 500);
    EXPECT_TRUE(result.written.Replaced());
    EXPECT_EQ(device.hardware.positionOffsets->at(8), 250);

    // A failed reading writes nothing and keeps the offsets.
    const auto before = *device.hardware.positionOffsets;
    device.sensorErrors = {{9, 5}};
    result = CalibratePositions(device, 0);
    const CalibrationOutcome outcome = OffsetsOutcome(result);
    EXPECT_NE(outcome.message.find("channel 9"), std::string::npos) << outcome.message;
    EXPECT_EQ(device.writtenOffsets.size(), 2u);
    EXPECT_EQ(*device.hardware.positionOffsets, before);

    device.sensorErrors.clear();
    EXPECT_TRUE(ResetPositions(device).ok);
    EXPECT_EQ(device.lines.back(), "reset POSCAL.INI");
    EXPECT_EQ(*device.hardware.positionOffsets, (std::array<int32_t, 9>{}));
}

TEST_F(CalibrationModeTest, OffsetsThatDidNotReachTheCardAreSaidAndNotKept) {
    using State = CardFileWrite::State;
    const std::array<int32_t, 9> before{1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::string setHead =
        "Error:  The position offsets could not be written to the device (POSCAL.INI).\n"
        "POSCAL.INI problem.\n";
    const std::string resetHead =
        "Error:  The position offsets could not be reset on the device (POSCAL.INI).\n"
        "POSCAL.INI problem.\n";
    const struct {
        State state;
        std::string set, reset; // the last line of each message
    } cases[] = {
        {State::Kept, "The position offsets were not changed.",
         "The position offsets were not changed."},
        {State::Damaged, "Set the position offsets again.", "Reset the position offsets again."},
    };
    for (const auto& c : cases) {
        device.writeStates["POSCAL.INI"] = c.state;
        device.hardware.positionOffsets = before;
        const CalibrationOutcome set = OffsetsOutcome(CalibratePositions(device, 0));
        EXPECT_EQ(set.message, setHead + c.set);
        const CalibrationOutcome zeroed = ResetPositions(device);
        EXPECT_EQ(zeroed.message, resetHead + c.reset);
        EXPECT_TRUE(set.error && zeroed.error);
        EXPECT_EQ(*device.hardware.positionOffsets, before);
    }
}

TEST_F(CalibrationModeTest, LeavingAndSpecialPositions) {
    LeaveCalibrationMode(device);
    EXPECT_EQ(device.lines, (std::vector<std::string>{"0A 0\r", "0R 1\r", "sleep 500", "0R 0\r"}));

    TempFolder temp("special");
    const auto path = temp.Path() / "folder" / "specialPositions.csv";
    EXPECT_FALSE(SaveSpecialPositions(path, SensorFigures::Unknown()).ok);
    SensorFigures figures;
    figures.positions[8] = Figure::Of(1234.5678f);
    EXPECT_TRUE(SaveSpecialPositions(path, figures).ok);
    EXPECT_TRUE(SaveSpecialPositions(path, figures).ok);
    EXPECT_EQ(ReadFile(path), "0,0,0,0,0,0,0,0,1234.57\n0,0,0,0,0,0,0,0,1234.57\n");
    // A folder in the way of the file.
    EXPECT_FALSE(SaveSpecialPositions(temp.Path() / "folder", figures).ok);
}

} // namespace
