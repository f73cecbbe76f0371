#include "calibration/DisplacementCalibration.h"

#include "common/AtomicFile.h"
#include "common/NumberText.h"
#include "common/RegularFile.h"
#include "mathematics/ApprPolynomial2.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

std::string SamplingFailureText(const SensorSamples& samples, const std::string& consequence) {
    if (samples.outcome == SensorSamples::Outcome::Complete)
        return {};
    if (samples.outcome == SensorSamples::Outcome::Cancelled)
        return "Stopped before all readings were taken.\n" + consequence;
    const int channel = samples.firstFailedChannel;
    return "Error:  Reading sensor channel " + std::to_string(channel) + " (" +
           ChannelName(channel) + ") failed.\n" + consequence;
}

CalibrationOutcome DisplacementCalibration::AddCollection(int positionUm,
                                                          const SensorSamples& samples) {
    const std::string failure = SamplingFailureText(samples, "No data was added.");
    if (!failure.empty())
        return CalibrationOutcome::Refused(failure,
                                           samples.outcome == SensorSamples::Outcome::Failed);
    DataRow row;
    row[0] = std::to_string(positionUm);
    for (int w = 1; w <= kWellCount; ++w)
        row[w] = ListNumberText(samples.mean[w]);
    m_rows.push_back(row);
    m_status.clear();
    m_factorsShown = false; // the factors no longer belong to the rows
    return {};
}

void DisplacementCalibration::DeleteRows(std::vector<int> rows) {
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows) {
        if (row >= 0 && row < static_cast<int>(m_rows.size()))
            m_rows.erase(m_rows.begin() + row);
    }
    m_factorsShown = false;
    m_status.clear();
}

void DisplacementCalibration::DeleteAll() {
    m_rows.clear();
    m_factorsShown = false;
    m_status.clear();
}

CalibrationOutcome DisplacementCalibration::Analyze() {
    if (m_rows.empty())
        return CalibrationOutcome::Refused(kNoData);
    std::set<double> heights;
    for (const DataRow& row : m_rows)
        heights.insert(LeadingDouble(row[0]));
    // Fewer heights than factors give no curve at all; the fit would come out as zeros.
    if (static_cast<int>(heights.size()) < kMinimumHeights)
        return CalibrationOutcome::Refused(kInsufficientData);

    const int n = static_cast<int>(m_rows.size());
    std::vector<int> indices(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        indices[static_cast<std::size_t>(i)] = i;
    CalibrationFactors fitted;
    for (int w = 1; w <= kWellCount; ++w) {
        std::vector<std::array<double, 2>> observations;
        for (const DataRow& row : m_rows)
            observations.push_back({LeadingDouble(row[w]), LeadingDouble(row[0])});
        gte::ApprPolynomial2<double> fit(2);
        const bool solved = fit.Fit(n, observations.data(), n, indices.data());
        const std::vector<double>& p = fit.GetParameters();
        if (!solved || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            m_factorsShown = false;
            m_status.clear();
            return CalibrationOutcome::Refused(
                "Unable to Analyze Well " + std::to_string(w) +
                ": its readings do not give a calibration curve.\nPlease check the sensor and "
                "collect additional data.");
        }
        fitted.a[w - 1] = p[2];
        fitted.b[w - 1] = p[1];
        fitted.c[w - 1] = p[0];
    }
    m_factors = fitted;
    ShowFactors();
    m_status = kAnalysisComplete;
    return {};
}

std::optional<std::array<double, 3 * kWellCount>>
DisplacementCalibration::ApplyValues(std::string& message) const {
    if (!m_factorsShown || m_factors.FirstEmptyWell() != 0) {
        message = kNothingToApply;
        return std::nullopt;
    }
    const std::array<double, 3 * kWellCount> values = m_factors.CardValues();
    // A factor MAGCAL.INI cannot hold would make the next connect drop the whole file.
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!CardHoldsCoefficient(values[i])) {
            message = "Error:  The factors of Well " + std::to_string(i / 3 + 1) +
                      " are beyond what the controller can hold. Nothing was applied.";
            return std::nullopt;
        }
    }
    return values;
}

void DisplacementCalibration::ShowDeviceCalibration(
    const std::array<double, 3 * kWellCount>& values) {
    m_factors = CalibrationFactors::FromCardValues(values);
    m_rows.clear();
    ShowFactors();
}

CalibrationOutcome DisplacementCalibration::Export(const CalibrationFolders& folders,
                                                   std::time_t when) {
    if (!m_factorsShown)
        return CalibrationOutcome::Refused(kNothingToExport);
    const std::string stamp = ExportStamp(when);
    const std::filesystem::path csv = folders.calibrations / ("MagnetCal" + stamp + ".csv");
    const std::filesystem::path mgg = folders.backup / ("MagnetCal" + stamp + ".mgg");
    std::error_code code;
    std::filesystem::create_directories(folders.backup, code);
    std::filesystem::create_directories(folders.calibrations, code);

    const std::string text = CalibrationFileText(m_factors, m_rows);
    std::string error;
    if (!WriteFileAtomically(csv, text, &error))
        return CalibrationOutcome::Refused(
            "Error:  The calibration data could not be exported to:\n" + csv.string() + "\n" +
                error,
            true);
    m_status = "Calibration data exported to: " + csv.string();
    // The copy replaces one of the same name (a second export within the same second): the
    // rename does not need the old read-only file to be writable.
    if (!WriteFileAtomically(mgg, text, &error))
        return CalibrationOutcome::Refused(
            "Error:  The backup copy could not be written:\n" + mgg.string() + "\n" + error, true);
    using std::filesystem::perms;
    std::filesystem::permissions(mgg, perms::owner_read | perms::group_read | perms::others_read,
                                 code);
    if (code)
        return CalibrationOutcome::Refused("Error:  The backup copy could not be made "
                                           "read-only:\n" +
                                               mgg.string() + "\n" + code.message(),
                                           true);
    return {};
}

CalibrationOutcome DisplacementCalibration::Import(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m_status = kImportFailed;
        return CalibrationOutcome::Refused({});
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::optional<ParsedCalibrationFile> parsed = ParseCalibrationFile(text);
    if (!parsed) {
        m_status = kImportFailed;
        return CalibrationOutcome::Refused(
            "Error:  " + path.string() + " is not a calibration data file.\nNothing was imported.",
            true);
    }
    // A file that ends early leaves the factors it did not reach as they were.
    if (parsed->factorLines >= 1)
        m_factors.a = parsed->factors.a;
    if (parsed->factorLines >= 2)
        m_factors.b = parsed->factors.b;
    if (parsed->factorLines >= 3)
        m_factors.c = parsed->factors.c;
    ShowFactors();
    m_rows = parsed->rows;
    m_status = "Calibration data imported from: " + path.string();
    return {};
}

CalibrationOutcome DisplacementCalibration::ImportSession(const std::filesystem::path& path) {
    // Far more rows than any calibration collects.
    constexpr std::size_t kLargestSession = std::size_t{16} << 20;
    const auto refuse = [&](const std::string& why) {
        return CalibrationOutcome::Refused("Error:  The session file " + path.string() +
                                               " cannot be read whole: " + why +
                                               ".\nNothing was changed.",
                                           true);
    };
    std::string error;
    const std::optional<std::string> text = ReadRegularFile(path, kLargestSession + 1, error);
    if (!text)
        return refuse(error);
    if (text->size() > kLargestSession)
        return refuse("it is larger than any session");
    std::string problem;
    const std::optional<ParsedCalibrationFile> parsed = ParseSessionFile(*text, problem);
    if (!parsed)
        return refuse(problem);
    m_factors = parsed->factors;
    ShowFactors();
    m_rows = parsed->rows;
    m_status.clear();
    return {};
}

std::string DisplacementCalibration::SessionText() const {
    return CalibrationFileText(m_factorsShown ? m_factors : CalibrationFactors{}, m_rows);
}

// --- device steps ---------------------------------------------------------------------------

namespace {

// What one card file holds after a rewrite, for "On the device: ...".
std::string FileState(const CardFileWrite& write, const char* name, const std::string& replaced,
                      const std::string& kept) {
    switch (write.state) {
    case CardFileWrite::State::Replaced:
        return replaced + " (" + name + ")";
    case CardFileWrite::State::Kept:
        return kept + " (" + name + ")";
    case CardFileWrite::State::Damaged:
        break;
    }
    return std::string(name) + " missing or incomplete";
}

std::string OffsetsState(const std::optional<CardFileWrite>& offsets) {
    if (!offsets)
        return "the previous position offsets (POSCAL.INI)";
    return FileState(*offsets, "POSCAL.INI", "the position offsets reset to 0",
                     "the previous position offsets, which do not fit the new calibration");
}

std::string Problems(std::initializer_list<const CardFileWrite*> writes) {
    std::string text;
    for (const CardFileWrite* write : writes) {
        if (write && !write->Replaced())
            text += write->problem + "\n";
    }
    return text;
}

bool Replaced(const std::optional<CardFileWrite>& write) {
    return write && write->Replaced();
}

} // namespace

ApplyResult ApplyCalibration(ICalibrationDevice& device,
                             const std::array<double, 3 * kWellCount>& values, bool factory) {
    ApplyResult result;
    result.coefficients = device.WriteCoefficientFile(values, kCoefficientFile);
    if (!result.coefficients.Changed())
        return result; // the card keeps its calibration and the offsets that fit it
    if (result.coefficients.Replaced()) {
        device.Hardware().displacementCoefficients = CardRoundedValues(values);
        if (factory)
            result.factory = device.WriteCoefficientFile(values, kFactoryCoefficientFile);
    }
    // Offsets were set against the old calibration.
    result.offsets = device.ResetPositionOffsets(true);
    return result;
}

std::string ApplyCardState(const ApplyResult& result, bool factory) {
    std::string text =
        "On the device: " + FileState(result.coefficients, kCoefficientFile, "the new calibration",
                                      "the previous calibration");
    if (factory)
        text += ", " + (result.factory ? FileState(*result.factory, kFactoryCoefficientFile,
                                                   "the new calibration as the factory copy",
                                                   "the previous factory copy")
                                       : std::string("the previous factory copy (MAGCAL0.INI)"));
    return text + ", " + OffsetsState(result.offsets) + ".";
}

CalibrationOutcome ApplyOutcome(const ApplyResult& result, bool factory) {
    if (result.coefficients.Replaced() && (!factory || Replaced(result.factory)) &&
        Replaced(result.offsets))
        return {};
    return CalibrationOutcome::Refused(
        "Error:  The calibration could not be completely written to the device.\n" +
            Problems({&result.coefficients, result.factory ? &*result.factory : nullptr,
                      result.offsets ? &*result.offsets : nullptr}) +
            ApplyCardState(result, factory) + "\nApply the calibration again.",
        true);
}

std::optional<std::array<double, 3 * kWellCount>> ReadCardCalibration(ICalibrationDevice& device,
                                                                      const std::string& name) {
    return ParseCardCalibration(device.ReadFileLines(name));
}

RestoreResult RestoreFactoryCalibration(ICalibrationDevice& device) {
    RestoreResult result;
    const auto factory = ReadCardCalibration(device, kFactoryCoefficientFile);
    if (!factory)
        return result;
    result.factoryRead = true;
    result.written = device.WriteCoefficientFile(*factory, kCoefficientFile);
    if (result.written.Replaced())
        device.Hardware().displacementCoefficients = CardRoundedValues(*factory);
    if (result.written.Changed())
        result.offsets = device.ResetPositionOffsets(true);
    result.readBack = ReadCardCalibration(device, kCoefficientFile);
    return result;
}

CalibrationOutcome TakeRestore(DisplacementCalibration& calibration, const RestoreResult& result) {
    if (!result.factoryRead)
        return CalibrationOutcome::Refused({});
    // The rows go only when the card took the factory calibration.
    if (result.written.Replaced() && result.readBack)
        calibration.ShowDeviceCalibration(*result.readBack);
    if (result.written.Replaced() && Replaced(result.offsets)) {
        calibration.SetStatus(DisplacementCalibration::kRestored);
        return {};
    }
    const std::string state = "On the device: " +
                              FileState(result.written, kCoefficientFile, "the factory calibration",
                                        "the previous calibration") +
                              ", " + OffsetsState(result.offsets) + ".";
    calibration.SetStatus(state);
    return CalibrationOutcome::Refused(
        "Error:  The factory calibration could not be completely restored on the device.\n" +
            Problems({&result.written, result.offsets ? &*result.offsets : nullptr}) + state +
            "\nRestore the factory calibration again.",
        true);
}

bool RawOutputRequest::Valid() const {
    // Zero pressure or size mean nothing to record; negative or huge values would make no
    // sense on the line and could overflow the step count.
    return sensor >= 0 && sensor <= 9 && pressure > 0 && cycles > 0 && cycles <= kMaxCycles;
}

RawOutputResult CollectRawOutput(ICalibrationDevice& device, const RawOutputRequest& request,
                                 const std::filesystem::path& rawFolder,
                                 const ProgressFn& progress) {
    RawOutputResult result;
    const std::array<int, kRawTableSize> table = RawSetpointTable(request.pressure);
    const int samples = RawSamplesPerStep();
    const int steps = request.cycles * kRawTableSize;

    device.Command("0R 1\r");
    device.SleepMs(500);
    const double t0 = device.NowMs();
    std::vector<RawTraceStep> recorded;
    recorded.reserve(static_cast<std::size_t>(steps));
    for (int k = 0; k < steps; ++k) {
        RawTraceStep step;
        step.stepTimeUs =
            static_cast<uint64_t>(std::max(0.0, std::floor(device.NowMs() - t0))) * 1000u;
        step.setpoint = table[static_cast<std::size_t>(k % kRawTableSize)];
        step.times.assign(static_cast<std::size_t>(samples), 0);
        step.readings.assign(static_cast<std::size_t>(samples), 0);
        if (!device.ReadRawTrace(request.sensor, step.setpoint, samples, step.times,
                                 step.readings)) {
            result.traceFailed = true;
            result.failedStep = k;
            break;
        }
        recorded.push_back(std::move(step));
        if (progress && !progress(k + 1, steps)) {
            result.cancelled = true;
            break;
        }
    }
    device.Command("0R 0\r");
    result.path = rawFolder / (std::to_string(request.pressure) + ".csv");
    if (result.traceFailed || result.cancelled)
        return result;
    std::error_code code;
    std::filesystem::create_directories(rawFolder, code);
    if (!WriteFileAtomically(result.path, RawOutputText(recorded), &result.writeError) &&
        result.writeError.empty())
        result.writeError = "write failed";
    return result;
}

CalibrationOutcome TakeRawOutput(DisplacementCalibration& calibration,
                                 const RawOutputResult& result) {
    if (result.cancelled)
        return CalibrationOutcome::Refused("Raw output stopped; nothing was written.");
    if (result.traceFailed)
        return CalibrationOutcome::Refused("Error:  The pressure trace of step " +
                                               std::to_string(result.failedStep + 1) +
                                               " could not be read.\nNothing was written.",
                                           true);
    if (!result.writeError.empty())
        return CalibrationOutcome::Refused("Error:  The raw data could not be written to:\n" +
                                               result.path.string() + "\n" + result.writeError,
                                           true);
    calibration.SetStatus("Raw data exported to: " + result.path.string());
    return {};
}
