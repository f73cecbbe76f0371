// The displacement calibration: collections on the wire, the fits and their refusals, what Apply
// writes, the exported and imported files, the card files and the raw pressure output.
#include "calibration/DisplacementCalibration.h"

#include "FakeCalibrationDevice.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

class DisplacementCalibrationTest : public ::testing::Test {
protected:
    // One collection at `position` with every well reading `reading` plus its well number.
    CalibrationOutcome Collect(int position, double reading) {
        for (int w = 1; w <= kWellCount; ++w)
            device.readings[w] = reading + w;
        return calibration.AddCollection(
            position, SampleSensors(device, WellsThenPressure(), kSamplesPerReading, true));
    }
    // Rows at three heights whose readings follow position = 0.01 r^2 - 20 r + 10000.
    void CollectThreeHeights() {
        for (double r : {800.0, 900.0, 1000.0})
            ASSERT_TRUE(Collect(static_cast<int>(0.01 * r * r - 20 * r + 10000), r - 5).ok);
    }

    FakeCalibrationDevice device;
    DisplacementCalibration calibration;
    TempFolder temp{"displacement"};
};

TEST_F(DisplacementCalibrationTest, CollectAveragesEveryChannelAndAddsARow) {
    device.readings[3] = 1234;
    device.alternate = 1; // 1235, 1233, ...: the mean stays, the deviation is 1
    device.readings[5] = 1234.5;
    const SensorSamples samples =
        SampleSensors(device, WellsThenPressure(), kSamplesPerReading, true);
    ASSERT_EQ(device.lines.size(), 1000u);
    EXPECT_EQ(device.lines[0], "0?D 1\r");
    EXPECT_EQ(device.lines[9], "0?D 0\r");
    EXPECT_EQ(device.lines[10], "0?D 1\r");
    EXPECT_DOUBLE_EQ(samples.stdDev[3], 1.0);
    ASSERT_TRUE(calibration.AddCollection(250, samples).ok);
    const DataRow& row = calibration.Rows().back();
    EXPECT_EQ(row[0], "250");
    EXPECT_EQ(row[3], "1234");
    EXPECT_EQ(row[5], "1234"); // the controller answers whole counts
}

TEST_F(DisplacementCalibrationTest, AFailedReadingAddsNoRowAndNamesItsChannel) {
    CollectThreeHeights();
    ASSERT_TRUE(calibration.Analyze().ok);
    const std::size_t rows = calibration.Rows().size();
    for (int channel : {7, 0}) {
        device.lines.clear();
        device.sensorErrors = {{channel, 5}};
        const CalibrationOutcome outcome = Collect(100, 900);
        EXPECT_FALSE(outcome.ok);
        EXPECT_NE(outcome.message.find("channel " + std::to_string(channel)), std::string::npos)
            << outcome.message;
        EXPECT_EQ(calibration.Rows().size(), rows);
        EXPECT_TRUE(calibration.FactorsShown()) << "a refused collection changes nothing";
        // The first failure ends the collection: no more waiting on a sensor that is gone.
        EXPECT_EQ(device.lines.size(), static_cast<std::size_t>(channel == 0 ? 10 : channel));
    }
    // A reply that is not a number is no reading either.
    EXPECT_FALSE(ParseSensorReply("OK"));
    EXPECT_EQ(ParseSensorReply(" -12 "), -12);
}

TEST_F(DisplacementCalibrationTest, AnalyzeRefusesWhatCannotGiveACurve) {
    EXPECT_EQ(calibration.Analyze().message, DisplacementCalibration::kNoData);
    Collect(500, 900);
    Collect(500, 950);
    EXPECT_EQ(calibration.Analyze().message, DisplacementCalibration::kInsufficientData);
    // Two heights would give zero factors: refused as well.
    Collect(1000, 1000);
    EXPECT_EQ(calibration.Analyze().message, DisplacementCalibration::kInsufficientData);
    EXPECT_FALSE(calibration.FactorsShown());

    // Three heights, but well 4 reads the same everywhere: its fit fails and is named.
    DisplacementCalibration stuck;
    for (int position : {500, 1000, 1500}) {
        for (int w = 1; w <= kWellCount; ++w)
            device.readings[w] = w == 4 ? 1200 : 900 + position / 10 + w;
        stuck.AddCollection(position, SampleSensors(device, WellsThenPressure(), 1, true));
    }
    const CalibrationOutcome outcome = stuck.Analyze();
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.message.find("Well 4"), std::string::npos) << outcome.message;
    EXPECT_FALSE(stuck.FactorsShown());
    std::string refusal;
    EXPECT_FALSE(stuck.ApplyValues(refusal));
    EXPECT_EQ(refusal, DisplacementCalibration::kNothingToApply);
}

TEST_F(DisplacementCalibrationTest, AnalyzeFitsEachWellAndApplyWritesTheFactors) {
    CollectThreeHeights();
    ASSERT_TRUE(calibration.Analyze().ok);
    EXPECT_EQ(calibration.Status(), DisplacementCalibration::kAnalysisComplete);
    // Well w read r - 5 + w: its curve is the same one shifted by w - 5.
    for (int w = 1; w <= kWellCount; ++w) {
        const double shift = 5.0 - w, b = -20 + 0.02 * shift;
        EXPECT_NEAR(calibration.Factors().a[w - 1], 0.01, 1e-6) << w;
        EXPECT_NEAR(calibration.Factors().b[w - 1], b, 1e-3) << w;
        EXPECT_NEAR(calibration.Factors().c[w - 1], 10000 + 0.01 * shift * shift - 20 * shift, 0.5)
            << w;
    }

    device.hardware.positionOffsets = std::array<int32_t, 9>{5, 5, 5, 5, 5, 5, 5, 5, 5};
    std::string refusal;
    const auto values = calibration.ApplyValues(refusal);
    ASSERT_TRUE(values);
    EXPECT_EQ((*values)[3], calibration.Factors().a[1]); // a, b, c per well in well order
    EXPECT_EQ((*values)[5], calibration.Factors().c[1]);
    ApplyCalibration(device, *values, true);
    EXPECT_EQ(device.coefficientFiles["MAGCAL.INI"], *values);
    EXPECT_EQ(device.coefficientFiles["MAGCAL0.INI"], *values);
    // The table in memory follows the card (six decimals), so positions use it at once.
    EXPECT_EQ(*device.hardware.displacementCoefficients, CardRoundedValues(*values));
    EXPECT_EQ(*device.hardware.positionOffsets, (std::array<int32_t, 9>{}));

    // Collect empties the factor list: nothing to apply until Analyze runs again.
    Collect(100, 700);
    EXPECT_FALSE(calibration.ApplyValues(refusal));
}

TEST_F(DisplacementCalibrationTest,
       ApplyResetsTheOffsetsWheneverMagcalChangedAndSaysWhatTheCardHolds) {
    using State = CardFileWrite::State;
    struct Case {
        const char* name;
        std::map<std::string, State> states;
        bool factory;
        std::vector<std::string> writes;
        std::string onTheDevice; // empty for a complete apply
    };
    const std::vector<std::string> all{"write MAGCAL.INI", "write MAGCAL0.INI",
                                       "reset POSCAL.INI to the end"};
    const std::vector<std::string> noFactory{"write MAGCAL.INI", "reset POSCAL.INI to the end"};
    const std::string newCal = "the new calibration (MAGCAL.INI), ";
    const std::string reset = "the position offsets reset to 0 (POSCAL.INI).";
    const std::string oldFactory = "the previous factory copy (MAGCAL0.INI), ";
    const Case cases[] = {
        {"Complete", {}, true, all, ""},
        {"MagcalKept",
         {{"MAGCAL.INI", State::Kept}},
         true,
         {"write MAGCAL.INI"},
         "the previous calibration (MAGCAL.INI), " + oldFactory +
             "the previous position offsets (POSCAL.INI)."},
        {"MagcalDamaged",
         {{"MAGCAL.INI", State::Damaged}},
         false,
         noFactory,
         "MAGCAL.INI missing or incomplete, " + reset},
        {"FactoryKept", {{"MAGCAL0.INI", State::Kept}}, true, all, newCal + oldFactory + reset},
        {"FactoryDamaged",
         {{"MAGCAL0.INI", State::Damaged}},
         true,
         all,
         newCal + "MAGCAL0.INI missing or incomplete, " + reset},
        {"OffsetsKept",
         {{"POSCAL.INI", State::Kept}},
         false,
         noFactory,
         newCal + "the previous position offsets, which do not fit the new calibration "
                  "(POSCAL.INI)."},
    };
    std::array<double, 27> values{};
    values.fill(2.5);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCalibrationDevice card;
        card.writeStates = c.states;
        card.hardware.positionOffsets = std::array<int32_t, 9>{5, 5, 5, 5, 5, 5, 5, 5, 5};
        const ApplyResult result = ApplyCalibration(card, values, c.factory);
        EXPECT_EQ(card.lines, c.writes);
        const CalibrationOutcome outcome = ApplyOutcome(result, c.factory);
        EXPECT_EQ(outcome.ok, c.onTheDevice.empty());
        // The table in memory changes only with the card's MAGCAL.INI.
        EXPECT_EQ(card.hardware.displacementCoefficients.has_value(),
                  !c.states.count("MAGCAL.INI"));
        if (c.onTheDevice.empty())
            continue;
        EXPECT_EQ(ApplyCardState(result, c.factory), "On the device: " + c.onTheDevice);
        std::string problems;
        for (const auto& [file, state] : c.states)
            problems += file + " problem.\n";
        EXPECT_EQ(outcome.message,
                  "Error:  The calibration could not be completely written to the device.\n" +
                      problems + "On the device: " + c.onTheDevice +
                      "\nApply the calibration again.");
        EXPECT_TRUE(outcome.error);
    }
}

TEST_F(DisplacementCalibrationTest, ExportAndImport) {
    const CalibrationFolders folders{temp.Path() / "Calibrations",
                                     temp.Path() / "Calibrations" / "Backup", temp.Path() / "Raw"};
    EXPECT_EQ(calibration.Export(folders, 0).message, DisplacementCalibration::kNothingToExport);
    CollectThreeHeights();
    calibration.Analyze();
    const std::time_t when = 1700000000;
    const std::string name = "MagnetCal" + ExportStamp(when);
    ASSERT_TRUE(calibration.Export(folders, when).ok);
    const auto csv = folders.calibrations / (name + ".csv");
    const auto mgg = folders.backup / (name + ".mgg");
    EXPECT_EQ(calibration.Status(), "Calibration data exported to: " + csv.string());
    EXPECT_EQ(ReadFile(mgg), ReadFile(csv));
    EXPECT_EQ(std::filesystem::status(mgg).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
    // A second export within the same second replaces the read-only copy.
    Collect(2000, 1100);
    calibration.Analyze();
    ASSERT_TRUE(calibration.Export(folders, when).ok) << calibration.Status();
    EXPECT_EQ(ReadFile(mgg), calibration.SessionText());

    DisplacementCalibration imported;
    ASSERT_TRUE(imported.Import(mgg).ok);
    EXPECT_EQ(imported.Status(), "Calibration data imported from: " + mgg.string());
    EXPECT_EQ(imported.Rows(), calibration.Rows());
    EXPECT_EQ(imported.SessionText(), ReadFile(mgg)); // six significant digits both ways

    // An export that cannot be created is reported and changes no status.
    const CalibrationFolders blocked{csv, csv / "Backup", csv};
    const CalibrationOutcome refused = imported.Export(blocked, when);
    EXPECT_TRUE(refused.error);
    EXPECT_EQ(refused.message.rfind("Error:  ", 0), 0u) << refused.message;
    EXPECT_EQ(imported.Status(), "Calibration data imported from: " + mgg.string());

    // Unreadable or foreign files change nothing but the status; the rows stay.
    WriteFile(temp.Path() / "other.mgg", "Time,Value\n1,2\n");
    for (const auto& path : {temp.Path() / "missing.mgg", temp.Path() / "other.mgg"}) {
        imported.Import(path);
        EXPECT_EQ(imported.Status(), DisplacementCalibration::kImportFailed);
        EXPECT_EQ(imported.Rows(), calibration.Rows());
    }
}

TEST_F(DisplacementCalibrationTest, FactorsMagcalCannotHoldAreNotApplied) {
    for (const std::string a2 : {"0.5", "1e75"}) {
        WriteFile(temp.Path() / "c.mgg",
                  "Factor\na,1," + a2 + ",1,1,1,1,1,1,1\nb,2,2,2,2,2,2,2,2,2\nc,3,3,3,3,3,3,3,3,3");
        DisplacementCalibration imported;
        std::string refusal;
        EXPECT_EQ(imported.Import(temp.Path() / "c.mgg").ok &&
                      imported.ApplyValues(refusal).has_value(),
                  a2 == "0.5")
            << a2 << refusal;
    }
}

TEST_F(DisplacementCalibrationTest, ASessionIsReadWholeOrChangesNothing) {
    CollectThreeHeights();
    const auto path = temp.Path() / "session.csv";
    WriteFile(path, calibration.SessionText());
    DisplacementCalibration session;
    ASSERT_TRUE(session.ImportSession(path).ok);
    EXPECT_EQ(session.Rows(), calibration.Rows());
    EXPECT_EQ(session.SessionText(), calibration.SessionText());

    // A row cut off by an empty line, or not a file at all: the session keeps its rows.
    const std::string text = calibration.SessionText();
    const std::size_t lastRow = text.rfind("\r\n", text.size() - 3) + 2;
    WriteFile(path, text.substr(0, lastRow) + "\r\n" + text.substr(lastRow));
    SKIP_ON_WINDOWS("no FIFOs on Windows");
    ASSERT_TRUE(MakeFifo(temp.Path() / "fifo.csv"));
    for (const auto& [file, says] :
         {std::pair{path, "line 9 is empty"}, std::pair{temp.Path() / "fifo.csv", "not a regular"},
          std::pair{temp.Path() / "missing.csv", "No such file"}}) {
        const CalibrationOutcome refused = session.ImportSession(file);
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.message.rfind("Error:  The session file " + file.string() +
                                            " cannot be read whole: " + says,
                                        0),
                  0u)
            << refused.message;
        EXPECT_EQ(session.Rows(), calibration.Rows());
    }
}

TEST_F(DisplacementCalibrationTest, DeviceCalibrationsAndFactoryRestore) {
    std::vector<std::string> card(27, "    1.000000");
    card[0] = "    0.000049";
    device.files["MAGCAL0.INI"] = card;
    device.files["MAGCAL.INI"] = std::vector<std::string>(26, "2");

    Collect(500, 900);
    const RestoreResult restored = RestoreFactoryCalibration(device);
    ASSERT_TRUE(restored.written.Replaced());
    EXPECT_DOUBLE_EQ(device.coefficientFiles["MAGCAL.INI"][0], 4.9e-05);
    // The offsets were set against the calibration that is gone.
    EXPECT_EQ(device.lines.back(), "reset POSCAL.INI to the end");
    // The stand-in card keeps its old MAGCAL.INI lines: what is shown is what was read back.
    EXPECT_TRUE(TakeRestore(calibration, restored).ok);
    EXPECT_EQ(calibration.Status(), DisplacementCalibration::kRestored);
    EXPECT_EQ(calibration.Rows().size(), 1u);

    device.files["MAGCAL.INI"] = card;
    calibration.ShowDeviceCalibration(*ReadCardCalibration(device, "MAGCAL.INI"));
    EXPECT_TRUE(calibration.Rows().empty());
    EXPECT_EQ(calibration.FactorRows()[0][1], "0.000049000");

    FakeCalibrationDevice noFactory;
    const RestoreResult nothing = RestoreFactoryCalibration(noFactory);
    EXPECT_FALSE(nothing.factoryRead);
    EXPECT_TRUE(noFactory.lines.empty());
    EXPECT_TRUE(TakeRestore(calibration, nothing).message.empty());
}

TEST_F(DisplacementCalibrationTest, AFailedRestoreSaysWhatTheCardHolds) {
    using State = CardFileWrite::State;
    const struct {
        State magcal, poscal;
        bool offsetsReset;
        std::string onTheDevice;
    } cases[] = {
        {State::Kept, State::Replaced, false,
         "the previous calibration (MAGCAL.INI), the previous position offsets (POSCAL.INI)."},
        {State::Damaged, State::Replaced, true,
         "MAGCAL.INI missing or incomplete, the position offsets reset to 0 (POSCAL.INI)."},
        {State::Replaced, State::Damaged, true,
         "the factory calibration (MAGCAL.INI), POSCAL.INI missing or incomplete."},
    };
    for (const auto& c : cases) {
        FakeCalibrationDevice card;
        card.files["MAGCAL0.INI"] = std::vector<std::string>(27, "1");
        card.files["MAGCAL.INI"] = std::vector<std::string>(27, "2");
        card.writeStates = {{"MAGCAL.INI", c.magcal}, {"POSCAL.INI", c.poscal}};
        DisplacementCalibration shown;
        shown.SetStatus("before");
        const CalibrationOutcome outcome = TakeRestore(shown, RestoreFactoryCalibration(card));
        EXPECT_EQ(card.lines.back() == "reset POSCAL.INI to the end", c.offsetsReset);
        // Only a factory calibration the card took is used and shown.
        const bool taken = c.magcal == State::Replaced;
        EXPECT_EQ(card.hardware.displacementCoefficients.has_value(), taken);
        EXPECT_EQ(shown.FactorRows() == DisplacementCalibration().FactorRows(), !taken);
        EXPECT_EQ(shown.Status(), "On the device: " + c.onTheDevice);
        EXPECT_EQ(outcome.message.rfind("Error:  The factory calibration could not be completely "
                                        "restored on the device.\n",
                                        0),
                  0u);
        EXPECT_NE(outcome.message.find("\nRestore the factory calibration again."),
                  std::string::npos)
            << outcome.message;
    }
}

TEST_F(DisplacementCalibrationTest, RawOutputRecordsSixteenStepsPerCycle) {
    for (const RawOutputRequest bad :
         {RawOutputRequest{0, 1, 0}, RawOutputRequest{1000, 0, 0}, RawOutputRequest{1000, 1, 10},
          RawOutputRequest{1000, -1, 1}})
        EXPECT_FALSE(bad.Valid());
    const RawOutputRequest request{1000, 1, 3};
    ASSERT_TRUE(request.Valid());
    const RawOutputResult result = CollectRawOutput(device, request, temp.Path() / "Raw");
    ASSERT_TRUE(TakeRawOutput(calibration, result).ok);
    EXPECT_EQ(calibration.Status(), "Raw data exported to: " + result.path.string());
    EXPECT_EQ(result.path.filename(), "1000.csv");
    EXPECT_EQ(device.lines.front(), "0R 1\r");
    EXPECT_EQ(device.lines[1], "sleep 500");
    EXPECT_EQ(device.lines[2], "0Z 3 38 53");
    EXPECT_EQ(device.lines.back(), "0R 0\r");
    const std::string text = ReadFile(result.path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 16 * 53);
    // Steps are 10 ms apart on the stand-in's clock: step two starts at 10000 us.
    EXPECT_NE(text.find("\n10000,146,146\n"), std::string::npos) << text.substr(0, 200);

    // A failed trace and a stopped collection write nothing and end the raw mode.
    FakeCalibrationDevice broken;
    broken.failTraceAt = 2;
    const RawOutputResult failed = CollectRawOutput(broken, request, temp.Path() / "Broken");
    EXPECT_FALSE(TakeRawOutput(calibration, failed).ok);
    EXPECT_EQ(broken.lines.back(), "0R 0\r");
    EXPECT_FALSE(std::filesystem::exists(failed.path));
    FakeCalibrationDevice stopped;
    const RawOutputResult cancelled = CollectRawOutput(stopped, request, temp.Path() / "Stopped",
                                                       [](auto done, auto) { return done < 3; });
    EXPECT_EQ(TakeRawOutput(calibration, cancelled).message,
              "Raw output stopped; nothing was written.");
    EXPECT_EQ(stopped.lines.size(), 6u); // on, pause, three traces, off
    EXPECT_FALSE(std::filesystem::exists(cancelled.path));
}

} // namespace
