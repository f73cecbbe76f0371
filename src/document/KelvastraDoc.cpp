#include "document/KelvastraDoc.h"

#include "common/AtomicFile.h"
#include "common/MessageLog.h"
#include "common/NumberText.h"
#include "document/Settings.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SetEditRules.h"
#include "recordings/ForceModel.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr const char* kProgramSuccess = "\nProgramming Device... Success\n";
constexpr const char* kReadSuccess = "\nReading Device... Success\n";
constexpr const char* kHydrostaticAutoAdjust =
    "AutoAdjust cannot be used with Hydrostatic testing\nPlease change your set parameters\n\n"
    "Device not Programmed";
constexpr const char* kNotProgrammed = "\nDevice not Programmed";
// Said when Program Device stopped after the card files were touched.
constexpr const char* kCardMayDiffer =
    "The card's NAME.INI and TEMPLATE.INI may no longer match the device's program.\n"
    "Program the device again before running a test.\n";
// Said when Program Device stopped before anything on the card changed.
constexpr const char* kCardUnchanged = "Nothing on the device was changed.\n";

// Seconds per time unit and the unit the flags carry. The device knows seconds, minutes, hours
// and days; sets timed in milliseconds or tenths of a second go out in milliseconds with the
// seconds flag, so nothing of their durations is lost (and they read back in seconds).
struct UnitScale {
    double seconds;
    int32_t flagUnits;
};

UnitScale ScaleOf(int32_t timeUnits) {
    switch (timeUnits) {
    case TimeUnits::Minutes:
        return {60.0, TimeUnits::Minutes};
    case TimeUnits::Hours:
        return {3600.0, TimeUnits::Hours};
    case TimeUnits::Days:
        return {86400.0, TimeUnits::Days};
    case TimeUnits::mSeconds:
        return {0.001, TimeUnits::Seconds};
    case TimeUnits::dSeconds:
        return {0.1, TimeUnits::Seconds};
    default: // seconds, and a unit the file named wrongly (timed as seconds everywhere)
        return {1.0, TimeUnits::Seconds};
    }
}

// The controller takes durations as 32-bit words and reads them back unsigned, so anything from
// INT32_MIN up to 2^32 - 1 ms travels; beyond that there is no honest value to send.
std::optional<int32_t> ToMilliseconds(double duration, const UnitScale& scale) {
    double ms = duration * scale.seconds * 1000.0;
    // 1.005 s is 1005 ms and 0.29 ds is 29 ms, not one less: settle on the microsecond before
    // cutting, so binary fractions do not eat a millisecond.
    ms = std::floor(std::round(ms * 1000.0) / 1000.0);
    if (!(ms >= -2147483648.0 && ms <= 4294967295.0))
        return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(ms)));
}

// The set point in hundredths of a count, or nullopt when it is no number or does not fit the
// controller's 32-bit word (a cast would be undefined, and garbage on the wire).
std::optional<int32_t> HundredthsSetpoint(std::optional<double> raw) {
    if (!raw)
        return std::nullopt;
    const double hundredths = std::floor(*raw * 100.0 + 0.5);
    if (!(hundredths >= -2147483648.0 && hundredths <= 2147483647.0))
        return std::nullopt;
    return static_cast<int32_t>(hundredths);
}

// What the user sees of the failing action in the message area.
const char* ActionTitle(int action) {
    switch (action) {
    case DeviceAction::AccessTestData:
        return "Access Test Data";
    case DeviceAction::CalibrationMode:
        return "Calibration Mode";
    case DeviceAction::HardwareSettings:
        return "Advanced Hardware Settings";
    case DeviceAction::DisplacementCalibration:
        return "Displacement Calibration";
    default:
        return "This command";
    }
}

// A value the controller holds differently, at the precision the sequence view shows it: the
// shown texts differ, and by more than half a shown step (2.05 shown as 2.0 and read back as
// 2.1 is the rounding of the two texts, not a change). The margin absorbs binary fractions.
bool ShownDifferently(double asked, double held, int decimals) {
    if (FixedText(asked, decimals) == FixedText(held, decimals))
        return false;
    return !(std::fabs(asked - held) <= 0.5 * std::pow(10.0, -decimals) + 1e-9);
}

// What a set point in hundredths stands for, as Read Device shows it.
std::optional<double> MagnitudeOf(const ForceModel& model, int32_t hundredths) {
    return model.SetpointValue(hundredths / 100.0, 0.0);
}

double FromMilliseconds(int32_t ms, int64_t divisor) {
    const double value =
        static_cast<double>(static_cast<uint32_t>(ms)) / static_cast<double>(divisor);
    return std::floor(value * 100.0 + 0.5) / 100.0;
}

std::chrono::steady_clock::time_point ProcessStart() {
    static const auto start = std::chrono::steady_clock::now();
    return start;
}

long long ClockMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 ProcessStart())
        .count();
}

} // namespace

CKelvastraDoc::CKelvastraDoc(std::unique_ptr<ISerialChannel> channel)
    : m_controller(std::move(channel)) {
    ProcessStart();
    ClearDeviceProgram(m_deviceProgram);
    PublishHardware();
    // The first document binds the message log to its view; later documents leave it alone.
    if (!MessageLog::Exists())
        BindMessageLog();
    m_controller.SetNoticeHandler([this](const std::string& text, const std::string& caption) {
        if (m_prompt)
            m_prompt->ShowCaptionedMessage(caption, text, MessageIcon::Error);
        else
            std::fprintf(stderr, "%s: %s", caption.c_str(), text.c_str());
    });
    m_session.SetRelinker([this](Controller&) { return RelinkForDialog(); });
}

CKelvastraDoc::~CKelvastraDoc() {
    MessageLog::Instance().Unbind(this);
}

void CKelvastraDoc::BindMessageLog() {
    MessageLog::Instance().Bind(this);
}

void CKelvastraDoc::AppendLogMessage(const std::string& text) {
    if (m_view)
        m_view->AppendMessage(text);
}

void CKelvastraDoc::SetConnectionListener(std::function<void(bool)> listener) {
    m_connectionListener = std::move(listener);
}

void CKelvastraDoc::SetActivityListener(std::function<void()> listener) {
    m_activityListener = std::move(listener);
}

void CKelvastraDoc::SetActivity(const std::string& text) {
    {
        std::lock_guard lock(m_activityMutex);
        if (m_activity == text)
            return;
        m_activity = text;
    }
    if (m_activityListener)
        m_activityListener();
}

std::string CKelvastraDoc::ActivityText() const {
    std::lock_guard lock(m_activityMutex);
    return m_activity;
}

bool CKelvastraDoc::IsBusy() const {
    switch (m_nPendingAction.load()) {
    case DeviceAction::ReadDevice:
    case DeviceAction::ProgramDevice:
    case DeviceAction::AccessTestData:
    case DeviceAction::CalibrationMode:
    case DeviceAction::HardwareSettings:
    case DeviceAction::DisplacementCalibration:
        return true;
    default:
        return false; // idle, or a code the worker leaves alone
    }
}

bool CKelvastraDoc::OnCommand(int commandId) {
    switch (commandId) {
    case ID_READ_DEVICE:
        OnReadDevice();
        return true;
    case ID_PROGRAM_DEVICE:
        OnProgramDevice();
        return true;
    case ID_ACCESS_TEST_DATA:
        OnAccessTestData();
        return true;
    case ID_CALIBRATION_MODE:
        OnCalibrationMode();
        return true;
    case ID_HARDWARE_SETTINGS:
        OnHardwareSettings();
        return true;
    case ID_DISPLACEMENT_CALIBRATION:
        OnDisplacementCalibration();
        return true;
    default:
        return false;
    }
}

bool CKelvastraDoc::IsCommandEnabled(int commandId) const {
    switch (commandId) {
    case ID_CONNECTION_INDICATOR:
        return m_bDeviceConnected;
    case ID_READ_DEVICE:
    case ID_PROGRAM_DEVICE:
    case ID_HARDWARE_SETTINGS:
    case ID_CALIBRATION_MODE:
    case ID_ACCESS_TEST_DATA:
    case ID_DISPLACEMENT_CALIBRATION:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
        // A click while the worker is busy would be stored and then dropped when the running
        // action ends; greyed, it is plainly not taken.
        return m_bDeviceConnected && !IsBusy();
    default:
        return true;
    }
}

MessageAnswer CKelvastraDoc::Show(const std::string& text, MessageIcon icon) {
    if (m_prompt)
        return m_prompt->ShowMessage(text, icon);
    std::fprintf(stderr, "%s", text.c_str());
    if (!text.empty() && text.back() != '\n')
        std::fputc('\n', stderr);
    return MessageAnswer::Ok;
}

// --- protocol files ----------------------------------------------------------------------

void CKelvastraDoc::OnFileSave(const FileChooser& chooseFile) {
    if (!m_view || !m_bDeviceInfoLoaded)
        return;
    // The sequence is the worker's while an action runs.
    if (IsBusy()) {
        Show(kSaveWhileBusy, MessageIcon::Exclamation);
        return;
    }
    if (!m_view->CheckSequence())
        return;
    if (auto path = chooseFile(Settings::TemplateDir()))
        SaveProtocolFile(*path);
}

void CKelvastraDoc::OnFileOpen(const FileChooser& chooseFile) {
    if (!m_view || !m_bDeviceInfoLoaded)
        return;
    if (IsBusy()) {
        Show(kOpenWhileBusy, MessageIcon::Exclamation);
        return;
    }
    if (!MaySaveChanges())
        return;
    if (auto path = chooseFile(Settings::TemplateDir()))
        OpenProtocolFile(*path);
}

bool CKelvastraDoc::MaySaveChanges() {
    if (!m_bModified)
        return true;
    MessageAnswer answer = MessageAnswer::No;
    if (m_prompt)
        answer = m_prompt->ShowMessage(kSaveChanges, MessageIcon::Exclamation,
                                       MessageButtons::YesNoCancel);
    if (answer == MessageAnswer::Cancel)
        return false;
    if (answer != MessageAnswer::Yes)
        return true;
    // Saved as File Save saves: the view's sets pass the check first.
    if (!m_view || !m_saveChooser || !m_view->CheckSequence())
        return false;
    const auto path = m_saveChooser(Settings::TemplateDir());
    return path && SaveProtocolFile(*path) == 1;
}

bool CKelvastraDoc::MayExit() {
    if (m_bModified && IsBusy()) {
        Show(kSaveWhileBusy, MessageIcon::Exclamation);
        return false;
    }
    return MaySaveChanges();
}

int CKelvastraDoc::SaveProtocolFile(const std::string& path) {
    Settings::SetTemplateDir(Folders::FolderOf(path));
    std::string text;
    std::string problems;
    {
        std::lock_guard lock(m_dataMutex);
        text = ProtocolTableText(m_sequence);
        problems = SequenceRuleProblems(m_sequence, m_controller.hardware);
    }
    // Written beside the target and renamed, so a full disk never leaves half a protocol.
    std::string error;
    const bool written = WriteFileAtomically(path, text, &error);
    if (written)
        m_bModified = false;
    if (m_view) {
        m_view->ClearMessageArea();
        m_view->AppendMessage(written ? "Protocol File Successfully Saved\n"
                                      : "Error:  Protocol File Could Not Be Saved\n" + path + "\n");
        // Saved all the same: the protocol may be meant for another device.
        if (written && !problems.empty())
            m_view->AppendMessage("Warning:  Program Device will refuse this protocol on the "
                                  "fitted hardware:\n" +
                                  problems);
    }
    return written ? 1 : -1;
}

int CKelvastraDoc::OpenProtocolFile(const std::string& path) {
    Settings::SetTemplateDir(Folders::FolderOf(path));
    std::ifstream in(path, std::ios::binary);
    // A folder opens as a stream on this platform but reads as nothing: it would empty the
    // sequence and call that a success.
    std::error_code ignored;
    if (!in || std::filesystem::is_directory(path, ignored)) {
        if (m_view) {
            m_view->ClearMessageArea();
            m_view->AppendMessage("Error:  Protocol File Could Not Be Opened\n" + path + "\n");
        }
        return -1;
    }
    // Read aside first: a file that holds no protocol leaves everything as it was.
    ProtocolReadResult result;
    SetSequence sequence;
    HardwareDescription hardware;
    {
        std::lock_guard lock(m_dataMutex);
        hardware = m_controller.hardware;
    }
    result = ReadProtocolText(in, sequence, &hardware);
    if (result.noTable) {
        if (m_view) {
            m_view->ClearMessageArea();
            m_view->AppendMessage(ProtocolReadWarning(result) + path + "\n");
        }
        return -1;
    }
    {
        std::lock_guard lock(m_dataMutex);
        m_sequence = std::move(sequence);
        if (result.hardwareBlock) {
            m_controller.hardware = hardware;
            PublishHardware();
        }
    }
    m_bModified = false;
    if (m_view) {
        m_view->RefreshFromDocument();
        m_view->ClearMessageArea();
        m_view->AppendMessage("Protocol File Successfully Opened\n");
        // Whatever was read is shown, but the user learns that the file was not whole.
        const std::string warning = ProtocolReadWarning(result);
        if (!warning.empty())
            m_view->AppendMessage(warning);
    }
    return result.Complete() ? 1 : -1;
}

// --- program and read ----------------------------------------------------------------------

bool CKelvastraDoc::SequenceToDeviceProgram(std::string* problem) {
    const ForceModel model(m_controller.hardware);
    ClearDeviceProgram(m_deviceProgram);
    std::string why;
    const std::size_t count = std::min(m_sequence.sets.size(), m_deviceProgram.size());
    for (std::size_t i = 0; i < count; ++i) {
        const SetRecord& set = m_sequence.sets[i];
        DeviceProgramEntry& entry = m_deviceProgram[i];
        const UnitScale scale = ScaleOf(set.TimeUnits);
        entry.flags = EntryFlags(set.XFunction, scale.flagUnits, set.XUnits);
        entry.repetitions = set.NumReps;
        if (set.XFunction == ControlFunction::Sinusoid || set.XFunction == ControlFunction::Ramp)
            entry.shapeCode = entry.shapeCode2 = ShapeLetter(set.XFunction);
        const auto magnitudeRaw = model.PressureSetpoint(set.XMagnitude, 0.0);
        const auto preloadRaw = model.PressureSetpoint(set.XPreloadMag, 0.0);
        if ((!magnitudeRaw || !preloadRaw) && why.empty())
            why = "Error:  The fitted hardware cannot turn magnitudes into pressure set points\n" +
                  model.MissingTablesMessage() + "\n";
        const auto magnitude = HundredthsSetpoint(magnitudeRaw);
        const auto preload = HundredthsSetpoint(preloadRaw);
        if ((!magnitude || !preload) && why.empty())
            why = "Error:  Set " + std::to_string(i + 1) +
                  " has a magnitude the device cannot take\n";
        entry.magnitudeSetpoint = magnitude.value_or(0);
        entry.preloadSetpoint = preload.value_or(0);
        // A duration of 0 or less is "Do Not Stretch" / "Do Not Recover", as the set editor
        // reads it: nothing below 0 goes to the controller.
        const auto stretch = ToMilliseconds(std::max(set.StretchDurationSec, 0.0), scale);
        const auto recovery = ToMilliseconds(std::max(set.RecoveryDurationSec, 0.0), scale);
        const auto hold = ToMilliseconds(set.HoldTimeSec, scale);
        const auto rest = ToMilliseconds(set.RestTimeSec, scale);
        if ((!stretch || !recovery || !hold || !rest) && why.empty())
            why = "Error:  Set " + std::to_string(i + 1) +
                  " has a duration longer than the device can time\n";
        entry.stretchMs = stretch.value_or(0);
        entry.recoveryMs = recovery.value_or(0);
        entry.holdMs = hold.value_or(0);
        entry.restMs = rest.value_or(0);
        entry.SetName(set.Name);
        entry.dataTypeCode = DataTypeLetter(set.DataType);
        entry.dataRateCode = DataRateLetter(set.DataFreqHz);
        entry.autoAdjust = set.AutoAdjust;
    }
    if (problem)
        *problem = why;
    return why.empty();
}

bool CKelvastraDoc::TableToSets(const DeviceProgramTable& table, std::vector<SetRecord>& sets,
                                std::string* problem) const {
    const ForceModel model(m_controller.hardware);
    sets.clear();
    for (const DeviceProgramEntry& entry : table) {
        if (!entry.IsUsed())
            continue;
        const auto magnitude = MagnitudeOf(model, entry.magnitudeSetpoint);
        const auto preload = MagnitudeOf(model, entry.preloadSetpoint);
        if (!magnitude || !preload) {
            // Zero magnitudes would read as a harmless program and be sent back as one.
            if (problem)
                *problem = "Error:  The fitted hardware cannot turn set points into magnitudes\n" +
                           model.MissingTablesMessage() + "\n";
            return false;
        }
        SetRecord set;
        set.XFunction = FunctionFromShapeLetter(entry.shapeCode);
        set.XUnits = MagnitudeUnits::N;
        set.XMagnitude = *magnitude;
        set.XPreloadMag = *preload;
        set.TimeUnits = TimeUnitsFromFlags(entry.flags);
        const int64_t divisor = TimeUnitsDivisorMs(entry.flags);
        set.NumReps = entry.repetitions;
        set.StretchDurationSec = FromMilliseconds(entry.stretchMs, divisor);
        set.RecoveryDurationSec = FromMilliseconds(entry.recoveryMs, divisor);
        set.HoldTimeSec = FromMilliseconds(entry.holdMs, divisor);
        set.RestTimeSec = FromMilliseconds(entry.restMs, divisor);
        set.Name = entry.name;
        set.DataType = DataTypeFromLetter(entry.dataTypeCode);
        set.DataFreqHz = DataFrequencyFromLetter(entry.dataRateCode);
        set.AutoAdjust = entry.autoAdjust;
        sets.push_back(set);
    }
    if (problem)
        problem->clear();
    return true;
}

bool CKelvastraDoc::DeviceProgramToSequence(std::string* problem) {
    std::vector<SetRecord> sets;
    if (!TableToSets(m_deviceProgram, sets, problem))
        return false;
    m_sequence.sets = std::move(sets);
    return true;
}

std::string CKelvastraDoc::ChangedValuesWarning() const {
    const ForceModel model(m_controller.hardware);
    const bool hydrostatic = m_controller.hardware.MembraneStyle == Membrane::Hydrostatic;
    // As the sequence view shows them: pressures with three decimals, forces and durations
    // with one.
    const int magnitudeDecimals = hydrostatic ? 3 : 1;
    const std::string magnitudeUnit = hydrostatic ? "MPa" : "N";
    std::string lines;
    const std::size_t count = std::min(m_sequence.sets.size(), m_deviceProgram.size());
    for (std::size_t i = 0; i < count; ++i) {
        const SetRecord& set = m_sequence.sets[i];
        const DeviceProgramEntry& entry = m_deviceProgram[i];
        auto note = [&](const char* field, double asked, double held, int decimals,
                        const std::string& unit) {
            if (!ShownDifferently(asked, held, decimals))
                return;
            lines += "Set " + std::to_string(i + 1) + " (" + set.Name + ") " + field + ": " +
                     FixedText(asked, decimals) + " " + unit + " entered, " +
                     FixedText(held, decimals) + " " + unit + " programmed\n";
        };
        // The same hardware turned the magnitudes into set points, so it turns them back.
        if (const auto magnitude = MagnitudeOf(model, entry.magnitudeSetpoint)) {
            note("Compress Magnitude", set.XMagnitude, *magnitude, magnitudeDecimals,
                 magnitudeUnit);
        }
        if (const auto preload = MagnitudeOf(model, entry.preloadSetpoint))
            note("Preload Magnitude", set.XPreloadMag, *preload, magnitudeDecimals, magnitudeUnit);
        // Durations in the set's own unit, from the milliseconds the controller times (sets in
        // milliseconds read back in seconds, which is no change of value).
        const double msPerUnit = ScaleOf(set.TimeUnits).seconds * 1000.0;
        const std::string unit = TimeUnitsAbbreviation(set.TimeUnits);
        auto timed = [&](int32_t ms) { return static_cast<uint32_t>(ms) / msPerUnit; };
        // 0 or less is "None" for stretch and recovery, and is sent as 0.
        note("Compress Duration", std::max(set.StretchDurationSec, 0.0), timed(entry.stretchMs), 1,
             unit);
        note("Hold Duration", set.HoldTimeSec, timed(entry.holdMs), 1, unit);
        note("Recovery Duration", std::max(set.RecoveryDurationSec, 0.0), timed(entry.recoveryMs),
             1, unit);
        note("Rest Duration", set.RestTimeSec, timed(entry.restMs), 1, unit);
    }
    return lines.empty() ? std::string() : kValuesChanged + lines;
}

bool CKelvastraDoc::MayProgramChangedValues() {
    const std::string warning = ChangedValuesWarning();
    if (warning.empty())
        return true;
    if (!m_askBeforeChangedValues || !m_prompt) {
        Show(warning, MessageIcon::Exclamation);
        return true;
    }
    return m_prompt->ShowMessage(warning + kProgramAnyway, MessageIcon::Exclamation,
                                 MessageButtons::YesNoDefaultNo) == MessageAnswer::Yes;
}

void CKelvastraDoc::ReportFailure(const std::string& text) {
    m_lastFailure = text;
    if (m_view)
        m_view->AppendMessage(text);
}

bool CKelvastraDoc::RefusedByRules() {
    const std::string problems = SequenceRuleProblems(m_sequence, m_controller.hardware);
    if (problems.empty())
        return false;
    Show(problems + kNotProgrammed, MessageIcon::Error);
    return true;
}

void CKelvastraDoc::ProgramDevice() {
    if (!m_view || !m_controller.serial.IsOpen())
        return;
    m_view->ClearMessageArea();
    if (!m_view->CheckSequence())
        return;
    if (!m_bDeviceConnected) {
        Show(kNotDetected, MessageIcon::Error);
        return;
    }
    if (m_controller.hardware.MembraneStyle == Membrane::Hydrostatic) {
        for (const SetRecord& set : m_sequence.sets) {
            if (set.AutoAdjust > 0) {
                Show(kHydrostaticAutoAdjust, MessageIcon::None);
                return;
            }
        }
    }
    // A protocol file or a script can hold what the set editor would never let through.
    if (RefusedByRules())
        return;
    std::string problem;
    if (!SequenceToDeviceProgram(&problem)) {
        // A table that would run something else than the protocol is not sent at all.
        ReportFailure("\nProgramming Device... Failed\n" + problem);
        return;
    }
    // A value the hardware turns into another one would run unnoticed until Read Device shows it.
    if (!MayProgramChangedValues()) {
        m_view->AppendMessage(kProgramCancelled);
        return;
    }
    // Rewriting TEMPLATE.INI under a running test would break that test's copy of its protocol.
    if (const auto state = RunState(); state && (*state == 3 || *state == 4)) {
        Show(kProgramDuringTest, MessageIcon::Error);
        return;
    }

    std::string failed;
    std::string writeProblem;
    bool cardChanged = false;
    // A card file that did not go through is named in the failure line below, which (unlike
    // the log) is shown again after a disconnect.
    auto writeFile = [&](const std::string& name, const std::string& content) {
        MessageLog::ScopedMute mute;
        const int result = m_controller.ReplaceCardFile(name, content);
        cardChanged = cardChanged || result != Controller::kCardKept;
        if (result == Controller::kCardReplaced)
            return true;
        failed = "writing " + name;
        writeProblem = m_controller.WriteProblem() + "\n";
        return false;
    };
    if (writeFile("NAME.INI", m_view->TestName()))
        writeFile("TEMPLATE.INI", DeviceTemplateText(m_sequence, m_controller.hardware));
    if (failed.empty() && m_controller.UploadProgram(m_deviceProgram) != 1)
        failed = "uploading the program table";
    if (failed.empty())
        m_view->AppendMessage(kProgramSuccess);
    else
        ReportFailure("\nProgramming Device... Failed while " + failed + "\n" + writeProblem +
                      (cardChanged ? kCardMayDiffer : kCardUnchanged));
}

void CKelvastraDoc::ReadDevice() {
    if (!m_view || !m_controller.serial.IsOpen())
        return;
    m_view->ClearMessageArea();
    if (!m_bDeviceConnected) {
        Show(kNotDetected, MessageIcon::Error);
        return;
    }
    DeviceProgramTable table{};
    if (m_controller.ReadProgram(table) != 1) {
        // The sequence the user has stays as it is.
        ReportFailure("\nReading Device... Failed\n");
        return;
    }
    std::vector<SetRecord> sets;
    std::string problem;
    if (!TableToSets(table, sets, &problem)) {
        ReportFailure("\nReading Device... Failed\n" + problem);
        return;
    }
    // The device's program replaces the sequence: unsaved edits are offered for saving first.
    if (!MaySaveChanges()) {
        m_view->AppendMessage(kReadCancelled);
        return;
    }
    m_deviceProgram = table;
    m_sequence.sets = std::move(sets);
    m_bModified = false;
    m_view->RefreshFromDocument();
    m_view->AppendMessage(kReadSuccess);
}

void CKelvastraDoc::ReadDeviceHardware(HardwareDescription& description) {
    std::vector<std::string> lines;
    m_controller.ReadFileLines("INFOW.INI", lines);
    ApplyCardHardwareLines(lines, description);
}

// --- worker --------------------------------------------------------------------------------

void CKelvastraDoc::SetConnected(bool connected) {
    m_bDeviceConnected = connected;
    if (m_connectionListener)
        m_connectionListener(connected);
}

bool CKelvastraDoc::SetUpLink() {
    int opened;
    if (m_connectFailed) {
        // The open failure has been said once already; retry without repeating it every
        // second. Only the opening is quiet: what the connect says once open is news.
        MessageLog::ScopedMute mute;
        opened = m_controller.OpenPort();
    } else {
        opened = m_controller.OpenPort();
    }
    if (opened != 1) {
        m_lastConnect = -1;
        if (!m_connectFailed)
            MessageLog::Instance().WriteMessage("\nThe controller was found on " +
                                                m_controller.portName +
                                                " but its port could not be opened\n");
        m_connectFailed = true;
        m_controller.serial.Close();
        return false;
    }
    // The identity exchange can take a while (time-outs on a controller that does not answer).
    SetActivity(kWaiting);
    // The old complaint no longer holds.
    if (m_connectFailed && m_view)
        m_view->ClearMessageArea();
    m_connectFailed = false;
    m_lastFailure.clear();
    // The port is open: identity, calibration tables, firmware check.
    // What the last attempt said is replaced by what this one says.
    if (m_connectUnanswered && m_view)
        m_view->ClearMessageArea();
    m_lastConnect = m_controller.Connect();
    if (m_lastConnect != 1) {
        // The connect has closed the port and said why; the watch tries again.
        m_connectUnanswered = true;
        SetActivity({});
        return false;
    }
    m_connectUnanswered = false;
    m_linkPort = m_controller.portName;
    std::string name, number;
    m_controller.ReadNameAndNumber(name, number);
    if (m_view) {
        m_view->SetTestName(name);
        m_view->SetTestNumber(number);
    }
    {
        std::lock_guard lock(m_dataMutex);
        ReadDeviceHardware(m_controller.hardware);
        m_fMaxStretchPosMm = 1000.0f;
        PublishHardware();
    }
    m_bDeviceInfoLoaded = true;
    SetActivity({});
    // Last, so the commands come alive only once everything above is in place.
    SetConnected(true);
    return true;
}

void CKelvastraDoc::PublishHardware() {
    std::lock_guard lock(m_publishedMutex);
    m_published.hardware = m_controller.hardware;
    m_published.maxStretchPosMm = m_fMaxStretchPosMm;
}

CKelvastraDoc::HardwareCopy CKelvastraDoc::PublishedHardware() const {
    std::lock_guard lock(m_publishedMutex);
    return m_published;
}

void CKelvastraDoc::TearDownLink() {
    m_controller.serial.Close();
    m_bDeviceInfoLoaded = false;
    SetConnected(false);
    if (m_view) {
        m_view->ClearMessageArea();
        // A Program or Read Device cut off by the unplug must not vanish with the rest.
        if (!m_lastFailure.empty())
            m_view->AppendMessage(m_lastFailure);
    }
}

void CKelvastraDoc::ConnectionWatch() {
    bool present = m_controller.FindController();
    if (m_bDeviceConnected && !m_linkPort.empty()) {
        // The link stays on its port while that port is listed: a second board that matches
        // (or one listed first) does not take it over.
        for (const PortInfo& port : m_controller.ports) {
            if (port.portName == m_linkPort) {
                m_controller.portName = m_linkPort;
                present = true;
                break;
            }
        }
    }
    if (present && m_bDeviceConnected && m_controller.portName != m_linkPort) {
        // Unplugged and plugged in again between two watches: the old port is gone for good,
        // so the link is set up afresh on the new one.
        TearDownLink();
    }
    if (present && !m_bDeviceConnected) {
        SetUpLink();
    } else if (!present && m_bDeviceConnected) {
        TearDownLink();
    } else if (!present) {
        m_connectFailed = false;
        m_connectUnanswered = false;
    }
}

bool CKelvastraDoc::RelinkForDialog() {
    // The line went down under an open dialog, whose serving keeps the watch from running: the
    // link is set up afresh here, as the watch would do once the dialog had closed.
    if (m_bDeviceConnected)
        TearDownLink();
    else
        m_controller.serial.Close();
    if (m_controller.FindController())
        SetUpLink();
    return m_bDeviceConnected;
}

std::optional<int> CKelvastraDoc::RunState() {
    int state = 0;
    if (m_controller.QueryInteger("0?S\r", state) != 0)
        return std::nullopt;
    return state;
}

bool CKelvastraDoc::ActionBlocked(int action) {
    if (action == DeviceAction::AccessTestData) {
        // Without a link the dialog could do nothing but fail.
        if (!m_controller.serial.IsOpen() || !m_bDeviceConnected) {
            Show(kNotDetected, MessageIcon::Error);
            return true;
        }
        const auto state = RunState();
        if (state && (*state == 3 || *state == 4)) {
            Show("Cannot Access Test Data\nWhile Test is Running or Paused\n", MessageIcon::Error);
            return true;
        }
        return false;
    }
    const auto state = RunState();
    if (!state || *state != 3)
        return false;
    switch (action) {
    case DeviceAction::CalibrationMode:
        Show("Cannot Access Calibration Mode\nWhile Test is Running\n", MessageIcon::Error);
        break;
    case DeviceAction::HardwareSettings:
        Show("Cannot Access Advanced Hardware Settings\nWhile Test is Running\n",
             MessageIcon::Error);
        break;
    default:
        Show("Cannot Access Displacement Calibration\nWhile Test is Running\n", MessageIcon::Error);
        break;
    }
    return true;
}

void CKelvastraDoc::RunDialogAction(int action) {
    if (!m_dialogHost)
        return;
    if (!m_dialogHost->HasDialog(action)) {
        // Finishing silently would look like a command that did something.
        Show(std::string(ActionTitle(action)) + " is not available yet.\n",
             MessageIcon::Information);
        return;
    }
    SetActivity(kWaiting);
    if (ActionBlocked(action))
        return;
    m_session.Reset();
    // The worker is being stopped: a dialog opened now would never be closed by anyone.
    if (m_stopRequested)
        return;
    m_dialogHost->OpenDialog(action, m_session);
    // The dialog speaks for itself while it is open.
    SetActivity({});
    const bool applied = m_session.Serve(m_controller);
    // The dialog may have changed the description (hardware settings, calibrations).
    PublishHardware();
    // The hardware settings' Program has put an empty program on the controller.
    if (action == DeviceAction::HardwareSettings && applied)
        ClearDeviceProgram(m_deviceProgram);
    if (action == DeviceAction::HardwareSettings && applied && m_view) {
        // The new hardware invalidates the sets; unsaved ones are offered for saving first.
        if (MaySaveChanges()) {
            m_view->ClearSequence();
            m_bModified = false;
        }
    }
}

bool CKelvastraDoc::RunPendingAction() {
    const int action = m_nPendingAction;
    switch (action) {
    case DeviceAction::StopWorker:
        return false;
    case DeviceAction::ReadDevice:
        m_lastFailure.clear();
        SetActivity(kReading);
        ReadDevice();
        break;
    case DeviceAction::ProgramDevice:
        m_lastFailure.clear();
        SetActivity(kProgramming);
        ProgramDevice();
        break;
    case DeviceAction::AccessTestData:
    case DeviceAction::CalibrationMode:
    case DeviceAction::HardwareSettings:
    case DeviceAction::DisplacementCalibration:
        m_lastFailure.clear();
        RunDialogAction(action);
        break;
    default:
        return true; // nothing to do; an unknown code stays where it is
    }
    SetActivity({});
    // A request made while the action ran is dropped here.
    m_nPendingAction = DeviceAction::None;
    return true;
}

unsigned DeviceWorkerProc(void* document) {
    auto& doc = *static_cast<CKelvastraDoc*>(document);
    long long lastWatch = 0;
    while (!doc.WorkerStopRequested()) {
        if (!doc.RunPendingAction())
            break;
        const long long now = ClockMs();
        if (now - lastWatch > 1000) {
            doc.ConnectionWatch();
            lastWatch = ClockMs();
        }
        // A short rest per pass: actions are still picked up at once for a person, and the
        // idle worker costs well under one percent of a core.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (doc.m_controller.serial.IsOpen())
        doc.m_controller.serial.Close();
    return 1;
}
