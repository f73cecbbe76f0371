#include "document/KelvastraDoc.h"

#include "common/MessageLog.h"
#include "document/ProgramTranslation.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SetEditRules.h"

#include <cstdio>

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

// What the user sees of the failing action in the message area.
const char* ActionTitle(DeviceAction action) {
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

// A test running or paused: the card and the program table are the test's.
bool TestHoldsDevice(std::optional<int> state) {
    return state &&
           (*state == Controller::kRunStateRunning || *state == Controller::kRunStatePaused);
}

} // namespace

CKelvastraDoc::CKelvastraDoc(std::unique_ptr<ISerialChannel> channel)
    : m_controller(std::move(channel)) {
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
        // A click while the worker is busy would be stored and then dropped when the running
        // action ends; greyed, it is plainly not taken.
        return m_bDeviceConnected && !IsBusy();
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
        // Protocols are designed at the desk too, against the limits the status bar names.
        return !IsBusy();
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

// --- program and read ----------------------------------------------------------------------

bool CKelvastraDoc::MayProgramChangedValues() {
    const std::string warning =
        ChangedValuesWarning(m_sequence, m_deviceProgram, m_controller.hardware);
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
    if (!SequenceToDeviceProgram(m_sequence, m_controller.hardware, m_deviceProgram, &problem)) {
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
    if (TestHoldsDevice(RunState())) {
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
    if (!failed.empty()) {
        ReportFailure("\nProgramming Device... Failed while " + failed + "\n" + writeProblem +
                      (cardChanged ? kCardMayDiffer : kCardUnchanged));
        return;
    }
    m_testMonitor.SetProgram(m_deviceProgram);
    m_view->AppendMessage(kProgramSuccess);
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
    if (!DeviceProgramToSets(table, m_controller.hardware, sets, &problem)) {
        ReportFailure("\nReading Device... Failed\n" + problem);
        return;
    }
    // The device's program replaces the sequence: unsaved edits are offered for saving first.
    if (!MaySaveChanges()) {
        m_view->AppendMessage(kReadCancelled);
        return;
    }
    m_deviceProgram = table;
    m_testMonitor.SetProgram(table);
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
    HardwareDescription before;
    {
        std::lock_guard lock(m_dataMutex);
        before = m_controller.hardware;
    }
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
        PublishHardware();
    }
    // The test monitor counts the sets and the time left by the table the controller runs; a
    // table that cannot be read leaves them unknown, which is no reason to refuse the link.
    DeviceProgramTable program{};
    {
        MessageLog::ScopedMute mute;
        m_controller.ReadProgram(program);
    }
    m_testMonitor.Reset();
    m_testMonitor.SetProgram(program);
    TakeControllerLimits(before);
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
    m_published.limitsSource = m_limitsSource;
    m_published.limitsName = m_limitsName;
    m_published.linkSerial = m_linkSerial;
}

CKelvastraDoc::HardwareCopy CKelvastraDoc::PublishedHardware() const {
    std::lock_guard lock(m_publishedMutex);
    return m_published;
}

void CKelvastraDoc::TearDownLink() {
    m_controller.serial.Close();
    m_testMonitor.Reset();
    PublishTestStatus();
    KeepLastControllerLimits();
    m_bDeviceInfoLoaded = false;
    SetConnected(false);
    if (m_view) {
        m_view->ClearMessageArea();
        // A Program or Read Device cut off by the unplug must not vanish with the rest.
        if (!m_lastFailure.empty())
            m_view->AppendMessage(m_lastFailure);
    }
}

void CKelvastraDoc::SetControllerChoice(const std::string& serialNumber) {
    std::lock_guard lock(m_choiceMutex);
    m_choice = serialNumber;
}

std::string CKelvastraDoc::ControllerChoice() const {
    std::lock_guard lock(m_choiceMutex);
    return m_choice;
}

void CKelvastraDoc::ConnectionWatch() {
    m_controller.chosenSerial = ControllerChoice();
    bool present = m_controller.FindController();
    if (m_bDeviceConnected && !m_linkPort.empty() && m_controller.chosenSerial.empty()) {
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
    if (m_controller.QueryInteger(Controller::kRunStateQuery, state) != 0)
        return std::nullopt;
    return state;
}

bool CKelvastraDoc::ActionBlocked(DeviceAction action) {
    if (action == DeviceAction::AccessTestData) {
        // Without a link the dialog could do nothing but fail.
        if (!m_controller.serial.IsOpen() || !m_bDeviceConnected) {
            Show(kNotDetected, MessageIcon::Error);
            return true;
        }
        if (TestHoldsDevice(RunState())) {
            Show("Cannot Access Test Data\nWhile Test is Running or Paused\n", MessageIcon::Error);
            return true;
        }
        return false;
    }
    const auto state = RunState();
    if (!state || *state != Controller::kRunStateRunning)
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

void CKelvastraDoc::RunDialogAction(DeviceAction action) {
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
    if (action == DeviceAction::HardwareSettings && applied) {
        ClearDeviceProgram(m_deviceProgram);
        m_testMonitor.SetProgram(m_deviceProgram);
        RememberController();
    }
    if (action == DeviceAction::HardwareSettings && applied && m_view) {
        // The new hardware invalidates the sets; unsaved ones are offered for saving first.
        if (MaySaveChanges()) {
            m_view->ClearSequence();
            m_bModified = false;
        }
    }
}

bool CKelvastraDoc::RunPendingAction() {
    const DeviceAction action = m_nPendingAction;
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
