// The displacement calibration: spacers of known height under the shuttles, 100 readings of
// every well averaged per height (Collect), a quadratic per well from those rows (Analyze), the
// factors written to the controller's card (Apply), and the calibration files: export and import
// on this computer, read back and factory restore on the card, and the factory raw pressure
// output.
//
// The state (rows, factors, status) belongs to whoever shows it (the dialog on the GUI thread,
// the command-line program); the device steps are free functions that run where the controller
// lives (the device worker) and hand back a result that the state then takes.
#pragma once

#include "calibration/CalibrationDevice.h"
#include "calibration/CalibrationFiles.h"
#include "calibration/SensorSampling.h"
#include "common/Progress.h"

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// What an operation has to tell the user besides the status text: a message box (exclamation
// icon unless `error`).
struct CalibrationOutcome {
    bool ok = true;
    std::string message;
    bool error = false;

    static CalibrationOutcome Refused(std::string text, bool isError = false) {
        return {false, std::move(text), isError};
    }
};

struct CalibrationFolders {
    std::filesystem::path calibrations; // exports
    std::filesystem::path backup;       // read-only copies, where Import starts
    std::filesystem::path rawData;      // raw pressure outputs
};

inline constexpr const char* kCoefficientFile = "MAGCAL.INI";
inline constexpr const char* kFactoryCoefficientFile = "MAGCAL0.INI";

class DisplacementCalibration {
public:
    static constexpr const char* kNoData = "No data to Analyze. Please collect data first.";
    static constexpr const char* kInsufficientData =
        "Insufficient data to Analyze. \nPlease collect additional data first.";
    static constexpr const char* kNothingToApply = "Nothing to Apply. Please Analyze first.";
    static constexpr const char* kNothingToExport = "Nothing to Export. Please Analyze first.";
    static constexpr const char* kBadRawParameters =
        "Please enter a valid parameter for sensor ID, pressure, and size.";
    static constexpr const char* kRestoreQuestion =
        "Restoring to factory calibrations will erase the current displacement calibrations. "
        "Would you like to continue?";
    static constexpr const char* kAnalysisComplete = "Analysis Complete.";
    static constexpr const char* kApplied = "Calibration Data written to Device.";
    static constexpr const char* kRestored = "Device calibration restored to Factory Settings.";
    static constexpr const char* kImportFailed = "Calibration data import failed";
    // Distinct heights a quadratic per well needs.
    static constexpr int kMinimumHeights = 3;

    const std::vector<DataRow>& Rows() const { return m_rows; }
    // The factor list has its three rows.
    bool FactorsShown() const { return m_factorsShown; }
    const CalibrationFactors& Factors() const { return m_factors; }
    std::array<FactorRow, 3> FactorRows() const { return FactorListRows(m_factors); }
    const std::string& Status() const { return m_status; }

    // --- Collect -----------------------------------------------------------------------------
    // Takes the readings of a collection (SampleSensors over WellsThenPressure()). A complete
    // collection adds the row and empties the factor list; one with a failed or cancelled query
    // adds nothing and says why.
    CalibrationOutcome AddCollection(int positionUm, const SensorSamples& samples);
    // Rows by index; nothing happens when none is given.
    void DeleteRows(std::vector<int> rows);
    void DeleteAll();

    // --- Analyze -----------------------------------------------------------------------------
    // A quadratic per well through the rows (x the well's reading, y the position). Refused
    // without rows, with fewer than three distinct heights, or when a well's fit fails; then the
    // factor list is empty, so nothing can be applied.
    CalibrationOutcome Analyze();

    // --- Apply -------------------------------------------------------------------------------
    // The 27 values to write, or the refusal: nothing shown in the factor list, or a well whose
    // factors are all 0 (a failed or missing calibration must never reach the device).
    std::optional<std::array<double, 3 * kWellCount>> ApplyValues(std::string& message) const;

    // --- files -------------------------------------------------------------------------------
    // The device's calibration (Read Device Calibrations): the factors shown, the rows gone.
    void ShowDeviceCalibration(const std::array<double, 3 * kWellCount>& values);
    // Export to the calibration folder with a read-only copy in the backup folder.
    CalibrationOutcome Export(const CalibrationFolders& folders, std::time_t when);
    // Import of an exported file. A file that cannot be read or is no calibration data changes
    // nothing but the status.
    CalibrationOutcome Import(const std::filesystem::path& path);
    // The command-line session file, read whole or refused (and then nothing changes): a file
    // that the next step rewrites must never lose the rows it could not read.
    CalibrationOutcome ImportSession(const std::filesystem::path& path);
    // The file text of the current state; factors as zeros while the factor list is empty (the
    // command-line session file).
    std::string SessionText() const;

    void SetStatus(std::string status) { m_status = std::move(status); }

private:
    void ShowFactors() { m_factorsShown = true; }

    std::vector<DataRow> m_rows;
    CalibrationFactors m_factors;
    bool m_factorsShown = false;
    std::string m_status;
};

// "Error:  ... failed" text for a collection or offset calibration that could not use its
// readings; empty when they are complete.
std::string SamplingFailureText(const SensorSamples& samples, const std::string& consequence);

// --- device steps (where the controller lives) -----------------------------------------------

struct ApplyResult {
    CardFileWrite coefficients;           // MAGCAL.INI
    std::optional<CardFileWrite> factory; // MAGCAL0.INI: asked for, and MAGCAL.INI took the values
    std::optional<CardFileWrite> offsets; // POSCAL.INI zeroed: whenever MAGCAL.INI changed
};
// MAGCAL.INI (and MAGCAL0.INI with `factory`), then POSCAL.INI zeroed, as one step: once
// MAGCAL.INI has changed the offsets set against the old calibration are reset, whatever became
// of the factory copy and even after a stop request. Once MAGCAL.INI holds the values the
// controller's table in memory takes them as the card keeps them, so positions computed before
// the next connect use the new calibration.
ApplyResult ApplyCalibration(ICalibrationDevice& device,
                             const std::array<double, 3 * kWellCount>& values, bool factory);
// Nothing for a complete apply; otherwise the failure message: what went wrong and what the card
// holds now.
CalibrationOutcome ApplyOutcome(const ApplyResult& result, bool factory);
// "On the device: ..." for the status text of an apply that was not complete.
std::string ApplyCardState(const ApplyResult& result, bool factory);

// A card calibration file when it has exactly 27 lines.
std::optional<std::array<double, 3 * kWellCount>> ReadCardCalibration(ICalibrationDevice& device,
                                                                      const std::string& name);

struct RestoreResult {
    bool factoryRead = false;                                   // MAGCAL0.INI had 27 lines
    CardFileWrite written;                                      // and went to MAGCAL.INI
    std::optional<CardFileWrite> offsets;                       // zeroed when MAGCAL.INI changed
    std::optional<std::array<double, 3 * kWellCount>> readBack; // MAGCAL.INI afterwards
};
// The factory copy to MAGCAL.INI and, once MAGCAL.INI has changed, POSCAL.INI zeroed, as Apply.
RestoreResult RestoreFactoryCalibration(ICalibrationDevice& device);
// Applies a restore to the state (status, factors read back); the failure message, with what the
// card holds now, when it was not complete. An unreadable factory file changes nothing and says
// nothing.
CalibrationOutcome TakeRestore(DisplacementCalibration& calibration, const RestoreResult& result);

struct RawOutputRequest {
    int pressure = 0; // raw set point at the top of the cycle
    int cycles = 0;
    int sensor = 0; // 0 pressure, 1..9 wells
    static constexpr int kMaxCycles = 10000;

    bool Valid() const;
};
struct RawOutputResult {
    bool cancelled = false;
    bool traceFailed = false;
    int failedStep = -1;
    std::filesystem::path path;
    std::string writeError; // empty when the file was written
};
// Valve open, 500 ms, then per step a trace of 53 samples at the step's set point, valve closed,
// and the file "<pressure>.csv" in the raw data folder. A failed trace or a cancel writes no
// file.
RawOutputResult CollectRawOutput(ICalibrationDevice& device, const RawOutputRequest& request,
                                 const std::filesystem::path& rawFolder,
                                 const ProgressFn& progress = {});
CalibrationOutcome TakeRawOutput(DisplacementCalibration& calibration,
                                 const RawOutputResult& result);
