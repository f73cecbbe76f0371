// The sequence as the controller's program table and back: flags, letters, set points through
// the force model, durations in milliseconds, names with blanks, and the values the controller
// would hold differently.
#include "DocumentTestSupport.h"

#include "document/ProgramTranslation.h"
#include "recordings/ForceModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

int32_t Hundredths(const HardwareDescription& hardware, double value) {
    const auto raw = ForceModel(hardware).PressureSetpoint(value, 0.0);
    EXPECT_TRUE(raw.has_value());
    return static_cast<int32_t>(std::floor(raw.value_or(0.0) * 100.0 + 0.5));
}

double ValueOf(const HardwareDescription& hardware, int32_t hundredths) {
    return ForceModel(hardware).SetpointValue(hundredths / 100.0, 0.0).value_or(-1.0);
}

// A sequence and the table it goes to, on the hardware a fresh document starts with.
class ConversionTest : public ::testing::Test {
protected:
    bool ToTable(std::string* problem = nullptr) {
        return SequenceToDeviceProgram(sequence, hw, table, problem);
    }
    // The sets the table reads back as, in place of the sequence's.
    void BackFromTable() { ASSERT_TRUE(DeviceProgramToSets(table, hw, sequence.sets)); }
    std::string Warning() const { return ChangedValuesWarning(sequence, table, hw); }

    HardwareDescription hw;
    SetSequence sequence;
    DeviceProgramTable table{};
};

TEST_F(ConversionTest, ThreeSetsFillThreeEntriesAndLeaveTheRestCleared) {
    SetRecord first =
        MakeSet("Warm up", ControlFunction::Sinusoid, 2.0, 1.5, 2.0, TimeUnits::Seconds, 12);
    first.XPreloadMag = 1.5;
    first.DataType = DataType::Peaks;
    first.DataFreqHz = DataFrequency::Hz10;
    first.AutoAdjust = 2;
    first.HoldTimeSec = 0.25;
    first.RestTimeSec = 3.0;
    SetRecord second = MakeSet("Ramp", ControlFunction::Ramp, 3.0, 1.5, 1.5, TimeUnits::Minutes, 4);
    second.XUnits = MagnitudeUnits::Percent;
    second.DataType = DataType::All;
    second.DataFreqHz = DataFrequency::Hz0_001;
    SetRecord third = MakeSet("Step", ControlFunction::Step, 1.0, 2.0, 1.0, TimeUnits::Hours, 1);
    third.DataType = DataType::None;
    third.DataFreqHz = DataFrequency::Hz100;
    sequence.sets = {first, second, third};

    ASSERT_TRUE(ToTable());
    const DeviceProgramTable& t = table;
    // Stretch, hold, recovery, rest (each to its own word; units: DurationsInEveryUnit), reps,
    // shapes, magnitude, flags, preload, name, data type and rate, adjustment.
    EXPECT_EQ(t[0],
              (DeviceProgramEntry{1500, 250, 2000, 3000, 12, 's', 's', Hundredths(hw, 2.0),
                                  0x0003 | 0x0400, Hundredths(hw, 1.5), "Warm up", 'p', '1', 2}));
    // Percent travels with its flag.
    EXPECT_EQ(t[1].flags, 0x0001 | 0x0800 | 0x1000);
    EXPECT_EQ(t[1].shapeCode, 'r');
    EXPECT_EQ(t[2].shapeCode, 's');

    for (std::size_t i = 3; i < t.size(); ++i)
        EXPECT_EQ(t[i], DeviceProgramEntry{}) << i; // its wire form is checked with the upload

    // Back again: Step has become Sinusoid, magnitudes are newtons from the set points.
    BackFromTable();
    ASSERT_EQ(sequence.sets.size(), 3u);
    const auto& back = sequence.sets;
    SetRecord expected = first; // durations back in every unit: DurationsInEveryUnit
    expected.XMagnitude = ValueOf(hw, t[0].magnitudeSetpoint);
    expected.XPreloadMag = ValueOf(hw, t[0].preloadSetpoint);
    EXPECT_EQ(back[0], expected);
    EXPECT_NEAR(back[0].XMagnitude, 2.0, 0.05);
    EXPECT_EQ(back[1].XUnits, MagnitudeUnits::N);
    EXPECT_EQ(back[1].DataFreqHz, DataFrequency::Hz0_001);
    EXPECT_EQ(back[2].XFunction, ControlFunction::Sinusoid); // Step is not a device shape
    EXPECT_EQ(back[2].DataFreqHz, DataFrequency::Hz0);
}

// One duration in each unit: the milliseconds and flag sent, and what reads back.
TEST_F(ConversionTest, DurationsInEveryUnit) {
    struct Case {
        int32_t units;
        double duration;
        uint32_t ms;
        int32_t flag;
        int32_t unitsBack;
        double durationBack;
    };
    const Case cases[] = {
        {TimeUnits::Seconds, 1.005, 1005, 0x0400, TimeUnits::Seconds, 1.0},
        {TimeUnits::Seconds, 0.29, 290, 0x0400, TimeUnits::Seconds, 0.29},
        {TimeUnits::Minutes, 1.5, 90000, 0x0800, TimeUnits::Minutes, 1.5},
        {TimeUnits::Hours, 2.25, 8100000, 0x2000, TimeUnits::Hours, 2.25},
        {TimeUnits::Days, 0.5, 43200000, 0, TimeUnits::Days, 0.5},
        // Beyond the signed range: the controller reads the word back unsigned.
        {TimeUnits::Days, 40.0, 3456000000u, 0, TimeUnits::Days, 40.0},
        // Milliseconds and tenths go out exactly, with the seconds flag.
        {TimeUnits::mSeconds, 250.0, 250, 0x0400, TimeUnits::Seconds, 0.25},
        {TimeUnits::mSeconds, 1234.0, 1234, 0x0400, TimeUnits::Seconds, 1.23},
        {TimeUnits::dSeconds, 2.9, 290, 0x0400, TimeUnits::Seconds, 0.29},
        {TimeUnits::dSeconds, 0.07, 7, 0x0400, TimeUnits::Seconds, 0.01},
        // A unit the file named wrongly is timed as seconds.
        {kUnknownValue, 2.0, 2000, 0x0400, TimeUnits::Seconds, 2.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.units << " " << c.duration);
        sequence.sets = {
            MakeSet("T", ControlFunction::Ramp, 1.0, c.duration, c.duration, c.units, 1)};
        sequence.sets[0].RestTimeSec = c.duration;
        sequence.sets[0].HoldTimeSec = c.duration;
        ASSERT_TRUE(ToTable());
        const DeviceProgramEntry& e = table[0];
        const auto ms = static_cast<int32_t>(c.ms);
        EXPECT_EQ(std::vector<int32_t>({e.stretchMs, e.recoveryMs, e.holdMs, e.restMs}),
                  std::vector<int32_t>(4, ms));
        EXPECT_EQ(e.flags, 0x0001 | c.flag);
        // The controller times what was asked; only the read-back rounds.
        EXPECT_EQ(Warning(), "");
        BackFromTable();
        ASSERT_EQ(sequence.sets.size(), 1u);
        const SetRecord& back = sequence.sets[0];
        EXPECT_EQ(back.TimeUnits, c.unitsBack);
        for (double value : {back.StretchDurationSec, back.RecoveryDurationSec, back.HoldTimeSec,
                             back.RestTimeSec})
            EXPECT_DOUBLE_EQ(value, c.durationBack);
    }
    // Below 0 is "Do Not Stretch", as the set editor reads it: 0 ms, and no change.
    sequence.sets = {MakeSet("T", ControlFunction::Ramp, 1.0, -5.0, 1.0, TimeUnits::Seconds, 1)};
    ASSERT_TRUE(ToTable());
    EXPECT_EQ(table[0].stretchMs, 0);
    EXPECT_EQ(Warning(), "");
}

// Set points finer than the view shows (the QPV+-15 regulator's, and pressures on a Hydrostatic
// membrane) come back a hair off; at the half steps the shown texts flip, which is no change.
TEST_F(ConversionTest, RoundingBelowTheShownPrecisionIsNoChange) {
    hw.RegulatorType = Regulator::QPVPlusMinus15;
    for (const bool hydrostatic : {false, true}) {
        hw.MembraneStyle = hydrostatic ? Membrane::Hydrostatic : Membrane::M70A_794um;
        const double shownStep = hydrostatic ? 0.001 : 0.1;
        for (int k = 10; k < 90; ++k) {
            const double value = (k + 0.5) * shownStep;
            sequence.sets = {
                MakeSet("A", ControlFunction::Ramp, value, 1.0, 1.0, TimeUnits::Seconds, 1)};
            sequence.sets[0].XPreloadMag = value;
            ASSERT_TRUE(ToTable());
            EXPECT_EQ(Warning(), "") << value;
        }
    }
    // A pressure the regulator sets exactly reads back as entered.
    hw.RegulatorType = Regulator::ITV1010;
    sequence.sets = {MakeSet("A", ControlFunction::Ramp, 0.04, 1.0, 1.0, TimeUnits::Seconds, 1)};
    ASSERT_TRUE(ToTable());
    BackFromTable();
    EXPECT_DOUBLE_EQ(sequence.sets.at(0).XMagnitude, 0.04);
}

// What the controller would hold differently is named per set and field, in the set's units.
TEST_F(ConversionTest, ChangedValuesAreNamed) {
    SetRecord hold = MakeSet("Hold", ControlFunction::Ramp, 2.0, 1.0, 1.0, TimeUnits::Seconds, 1);
    hold.XPreloadMag = 0.5; // the default membrane needs no pressure for it: 0 counts
    // The controller times whole milliseconds: half of one is no stretch at all.
    sequence.sets = {
        hold, MakeSet("Quick", ControlFunction::Sinusoid, 3.0, 0.5, 20.0, TimeUnits::mSeconds, 1),
        MakeSet("Plain", ControlFunction::Ramp, 2.5, 1.5, 1.0, TimeUnits::Minutes, 2),
        // One shown step off is a change, however small the step.
        MakeSet("Fine", ControlFunction::Ramp, 2.5, 1.1, 1.0, TimeUnits::mSeconds, 1)};
    ASSERT_TRUE(ToTable());
    EXPECT_EQ(Warning(), std::string(kValuesChanged) +
                             "Set 1 (Hold) Preload Magnitude: 0.5 N entered, 0.0 N programmed\n"
                             "Set 2 (Quick) Compress Duration: 0.5 mS entered, 0.0 mS programmed\n"
                             "Set 4 (Fine) Compress Duration: 1.1 mS entered, 1.0 mS programmed\n");
}

TEST_F(ConversionTest, MagnitudesAndDurationsTheControllerCannotTakeAreRefused) {
    sequence.sets = {MakeSet("A", ControlFunction::Ramp, 1.0, 1.0, 1.0, TimeUnits::Seconds, 1),
                     MakeSet("B", ControlFunction::Ramp, 1.0, 50.0, 1.0, TimeUnits::Days, 1)};
    std::string problem;
    EXPECT_FALSE(ToTable(&problem));
    EXPECT_EQ(problem, "Error:  Set 2 has a duration longer than the device can time\n");
    sequence.sets[1] = MakeSet("B", ControlFunction::Ramp, 1e12, 1.0, 1.0, TimeUnits::Seconds, 1);
    EXPECT_FALSE(ToTable(&problem));
    EXPECT_EQ(problem, "Error:  Set 2 has a magnitude the device cannot take\n");
    // Hardware without pressure scaling turns no magnitude, either way.
    hw.RegulatorType = Regulator::Invalid;
    EXPECT_FALSE(ToTable(&problem));
    EXPECT_EQ(problem.rfind("Error:  The fitted hardware cannot turn magnitudes into pressure set "
                            "points\n",
                            0),
              0u);
    std::vector<SetRecord> sets{SetRecord{}};
    EXPECT_FALSE(DeviceProgramToSets(table, hw, sets, &problem));
    EXPECT_EQ(
        problem.rfind("Error:  The fitted hardware cannot turn set points into magnitudes\n", 0),
        0u);
}

TEST_F(ConversionTest, EntriesWithoutRepetitionsAreSkipped) {
    ClearDeviceProgram(table);
    ASSERT_EQ(ParseProgramLine("1000 0 2000 0 3 150 1025 0 s s One|two n 0 0", table[2]),
              kProgramLineStored);
    ASSERT_EQ(ParseProgramLine("1000 0 2000 0 0 150 1025 0 s s Zero n 0 0", table[4]),
              kProgramLineStored);
    // -1 repetitions is 4294967295 to the controller: used.
    ASSERT_EQ(
        ParseProgramLine("500 0 500 0 -1 150 1 0 r r A_very_long_name_indeed a 3 1", table[7]),
        kProgramLineStored);
    sequence.sets = {SetRecord{}, SetRecord{}, SetRecord{}, SetRecord{}};
    BackFromTable();
    ASSERT_EQ(sequence.sets.size(), 2u);
    EXPECT_EQ(sequence.sets[0].NumReps, 3);
    EXPECT_EQ(sequence.sets[1].NumReps, -1);
    EXPECT_EQ(sequence.sets[1].DataFreqHz, DataFrequency::Hz0_1);
}

} // namespace
