// The one document: the protocol being designed, the link to the controller with the fitted
// hardware, and the controller's program table. Menu commands only store a device action; the
// device worker runs it, and watches the USB link once a second (SetWatchPeriod).
//
// Threads: the GUI thread runs the command handlers and File Open/Save; the device worker
// (DeviceWorkerProc) runs every exchange with the controller. The three shared words are
// atomics; the sequence and the hardware description are handed over: the GUI thread changes
// them only while no action is pending (and the worker touches them only inside an action or,
// under m_dataMutex, in the connection watch), and the worker reaches the view only through
// IStageView, whose implementation does the work on the GUI thread. The windows read the
// hardware description only through the copy the worker publishes (PublishedHardware).
#pragma once

#include "common/MessageLog.h"
#include "devicelink/Controller.h"
#include "document/DeviceAction.h"
#include "document/DialogSession.h"
#include "document/TestMonitor.h"
#include "document/ViewInterfaces.h"
#include "hardware/HardwareDescription.h"
#include "protocol/DeviceProgram.h"
#include "protocol/SequenceRules.h"
#include "protocol/SetRecord.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CKelvastraDoc : private IMessageSink {
public:
    // Without a channel the controller uses the platform's serial port.
    explicit CKelvastraDoc(std::unique_ptr<ISerialChannel> channel = nullptr);
    ~CKelvastraDoc();
    CKelvastraDoc(const CKelvastraDoc&) = delete;
    CKelvastraDoc& operator=(const CKelvastraDoc&) = delete;

    SetSequence m_sequence;
    Controller m_controller;
    DeviceProgramTable m_deviceProgram{};
    float m_fMaxStretchPosMm = kDefaultMaxStretchPosMm; // the same with or without a controller
    std::atomic<bool> m_bDeviceInfoLoaded{false};
    std::atomic<bool> m_bDeviceConnected{false};
    std::atomic<DeviceAction> m_nPendingAction{DeviceAction::None};
    // The protocol has edits that no Save, Open or Read Device has caught up with.
    std::atomic<bool> m_bModified{false};

    // --- seams -------------------------------------------------------------------------
    void SetView(IStageView* view) { m_view = view; }
    IStageView* View() const { return m_view; }
    void SetPrompt(IUserPrompt* prompt) { m_prompt = prompt; }
    void SetDialogHost(IDialogHost* host) { m_dialogHost = host; }
    // Sends the message log to this document's view. The first document of a process does so
    // itself; a later one (a tool's) takes the log over when it asks.
    void BindMessageLog();
    // Called on the worker whenever the connected flag changes.
    void SetConnectionListener(std::function<void(bool connected)> listener);
    // Called on the worker whenever the activity text changes.
    void SetActivityListener(std::function<void()> listener);

    // --- limits without a controller ---------------------------------------------------
    // Where the set editor's limits (the fitted hardware) come from.
    enum class LimitsSource { Defaults, LastController, File, Controller };
    // The desktop program keeps the hardware of every controller that connects in the settings
    // and, until one connects, takes the limits from the one connected last. Call before the
    // worker starts.
    void UseRememberedController();
    // The link and the limits for the status bar: "Controller SN" while connected, else "No
    // controller: limits of SN (regulator, membrane)" (SN the last controller's serial number,
    // or the protocol file whose "##HARDWARE" block gave them), or "No controller found" with
    // the default limits. Any thread.
    std::string LinkStatusText() const;

    // --- commands (GUI thread) ---------------------------------------------------------
    void OnReadDevice() { m_nPendingAction = DeviceAction::ReadDevice; }
    void OnProgramDevice() { m_nPendingAction = DeviceAction::ProgramDevice; }
    void OnAccessTestData() { m_nPendingAction = DeviceAction::AccessTestData; }
    void OnCalibrationMode() { m_nPendingAction = DeviceAction::CalibrationMode; }
    void OnHardwareSettings() { m_nPendingAction = DeviceAction::HardwareSettings; }
    void OnDisplacementCalibration() { m_nPendingAction = DeviceAction::DisplacementCalibration; }
    // Runs the handler of a command id; false for an id the document does not handle.
    bool OnCommand(int commandId);
    // The one enable rule of the Hardware commands, File Open, File Save and the connection
    // indicator: the Hardware commands and the indicator while the device is connected, and
    // (the indicator excepted) while no device action is waiting or running; File Open and Save
    // with or without a controller. Other ids: true.
    bool IsCommandEnabled(int commandId) const;
    // A device action is waiting for the worker or running.
    bool IsBusy() const;
    // What the worker is doing, for the status bar ("Programming device..."); empty when idle
    // or while an action's dialog is open. Any thread.
    std::string ActivityText() const;

    // Asks for a file path, starting in the given folder; nullopt when the user cancels.
    using FileChooser = std::function<std::optional<std::string>(const std::string& startFolder)>;
    // File Save: check, ask for the path, remember its folder as the template folder, write.
    void OnFileSave(const FileChooser& chooseFile);
    // File Open: offer to save unsaved edits, ask for the path, remember its folder, read,
    // refresh the view.
    void OnFileOpen(const FileChooser& chooseFile);
    // The Save dialog that MaySaveChanges uses; it may be called from the worker.
    void SetSaveFileChooser(FileChooser chooser) { m_saveChooser = std::move(chooser); }
    // Before unsaved edits are discarded: asks "Save changes to the protocol?" (Yes/No/Cancel)
    // when the protocol is modified and saves on Yes. True when the caller may go on (nothing to
    // save, No, or saved); false on Cancel or when the save did not happen.
    bool MaySaveChanges();
    // Exit: as MaySaveChanges, but unsaved edits cannot be saved while a device action holds
    // the sequence; the user is told so and the program stays. GUI thread.
    bool MayExit();
    // The file steps alone (the path already chosen). 1 on success, -1 on failure; both say
    // what happened in the view's message area. A file that holds no protocol is refused and
    // changes nothing; a sequence that breaks the set editor's rules is saved with a warning.
    int SaveProtocolFile(const std::string& path);
    int OpenProtocolFile(const std::string& path);

    // --- device operations (device worker) ---------------------------------------------
    void ProgramDevice();
    void ReadDevice();
    // Program Device asks before it sends changed values (the default); without asking it shows
    // the warning and goes on (the command-line program).
    void SetAskBeforeChangedValues(bool ask) { m_askBeforeChangedValues = ask; }
    // Fills the description from the card's INFOW.INI; fewer than eight lines change nothing.
    void ReadDeviceHardware(HardwareDescription& description);
    // Sets the link up when the controller has appeared, tears it down when it has gone.
    void ConnectionWatch();
    // The controller the watch uses (its serial number; empty: the one discovery's rule picks).
    // Only that one is opened; a link on another is taken down at the next watch. Any thread.
    void SetControllerChoice(const std::string& serialNumber);
    std::string ControllerChoice() const;
    // The set-up half of the watch on the port in m_controller.portName: connect, test name and
    // number into the view, INFOW.INI, then the flags. False (said once in the message log) when
    // the port cannot be opened or the controller does not answer on it; the document then stays
    // disconnected.
    bool SetUpLink();
    // How the last SetUpLink ended: 1, or what Controller::Connect gave (-1 when the port did
    // not open).
    int LastConnectResult() const { return m_lastConnect; }
    // Port closed, flags down, message area cleared.
    void TearDownLink();
    // The fitted hardware and the stretch limit as the windows read them: a copy the worker
    // publishes whenever it has changed them, so the GUI thread never reads the description
    // while the worker writes it. Any thread.
    struct HardwareCopy {
        HardwareDescription hardware;
        float maxStretchPosMm = kDefaultMaxStretchPosMm;
        LimitsSource limitsSource = LimitsSource::Defaults;
        std::string limitsName; // the controller's serial number or the file's name
        std::string linkSerial; // the connected controller's serial number
    };
    HardwareCopy PublishedHardware() const;
    // For a dialog that found the line down: the link torn down and set up again on the port
    // discovery finds now. True when connected.
    bool RelinkForDialog();
    // Runs the pending action, if any, and clears its code. False when the worker must stop.
    bool RunPendingAction();
    // How long the worker's connection watch rests between two looks for the controller (a
    // second; tests shorten it). Set before the worker starts.
    void SetWatchPeriod(std::chrono::milliseconds period) { m_watchPeriod = period; }
    std::chrono::milliseconds WatchPeriod() const { return m_watchPeriod; }
    // While connected and idle the worker asks the run state this often for the test monitor
    // (2 s; tests shorten it; zero: never). Any thread.
    void SetRunStatePeriod(std::chrono::milliseconds period) { m_runStatePeriod = period; }
    std::chrono::milliseconds RunStatePeriod() const { return m_runStatePeriod; }
    // One look at the run state for the test monitor; when a test has ended, the controller's
    // test name and number are read into the view again. Worker.
    void PollRunState();
    // The test monitor's status-bar text ("Test running: set 2 of 4 (Main), ..."); empty while
    // no test runs. Any thread.
    std::string TestStatusText() const;
    // Asks the worker to leave its loop at its next pass (the process is ending).
    void RequestWorkerStop() { m_stopRequested = true; }
    bool WorkerStopRequested() const { return m_stopRequested; }

    // The dialog of the action being served (tests and dialog hosts look at it).
    DialogSession& Session() { return m_session; }

    static constexpr const char* kNotDetected =
        "Kelvastra Device Not Detected.\nPlease ensure that the device is powered on and all "
        "cables are properly connected\n";
    static constexpr const char* kProgramDuringTest =
        "Cannot Program Device\nWhile Test is Running or Paused\n";
    static constexpr const char* kOpenWhileBusy =
        "Cannot Open Protocol File\nWhile Device is Busy\n";
    static constexpr const char* kSaveWhileBusy =
        "Cannot Save Protocol File\nWhile Device is Busy\n";
    static constexpr const char* kSaveChanges = "Save changes to the protocol?";
    static constexpr const char* kProgramming = "Programming device...";
    static constexpr const char* kReading = "Reading device...";
    static constexpr const char* kWaiting = "Waiting for the controller...";
    // Follows the warning when Program Device asks (Yes programs, No stops).
    static constexpr const char* kProgramAnyway = "\nProgram the device with these values?";
    static constexpr const char* kProgramCancelled = "\nDevice not Programmed\n";
    static constexpr const char* kReadCancelled = "\nReading Device... Cancelled\n";

private:
    void AppendLogMessage(const std::string& text) override;
    MessageAnswer Show(const std::string& text, MessageIcon icon);
    void SetConnected(bool connected);
    void SetActivity(const std::string& text);
    // Program Device and Read Device end with this line when they fail; it is written again
    // after a disconnect has cleared the message area.
    void ReportFailure(const std::string& text);
    // Program Device's check of every set with the set editor's rules: true, having shown the
    // problems, when the sequence must not be programmed.
    bool RefusedByRules();
    // The warning of ChangedValuesWarning (ProgramTranslation.h), asked or shown: false when
    // the user said No.
    bool MayProgramChangedValues();
    // The limits now come from `source` (named `name`); the caller holds m_dataMutex and
    // publishes.
    void SetLimitsSource(LimitsSource source, std::string name);
    // After the connected controller's description has been read: it becomes the source of
    // the limits (and the remembered controller), and when its hardware differs from
    // `before`, the one the limits came from, the view's sets are checked again with its rules
    // and every set it refuses is named in the message area.
    void TakeControllerLimits(const HardwareDescription& before);
    // The controller has gone: its limits stay, as the last controller's.
    void KeepLastControllerLimits();
    // Keeps the connected controller's serial number and description in the settings (when
    // UseRememberedController asked for it). Worker.
    void RememberController();
    // Copies the description and the stretch limit for the windows. Called by the thread that
    // changed them, while no other thread may write them.
    void PublishHardware();
    void PublishTestStatus();
    // "0?S": the run state, or nullopt when the query failed.
    std::optional<int> RunState();
    void RunDialogAction(DeviceAction action);
    bool ActionBlocked(DeviceAction action);

    IStageView* m_view = nullptr;
    IUserPrompt* m_prompt = nullptr;
    IDialogHost* m_dialogHost = nullptr;
    DialogSession m_session;
    std::function<void(bool)> m_connectionListener;
    std::function<void()> m_activityListener;
    FileChooser m_saveChooser;
    mutable std::mutex m_activityMutex;
    std::string m_activity;
    // The failure line of the last Program or Read Device, until the next action (worker only).
    std::string m_lastFailure;
    std::atomic<bool> m_stopRequested{false};
    std::chrono::milliseconds m_watchPeriod{1000};
    std::atomic<std::chrono::milliseconds> m_runStatePeriod{std::chrono::milliseconds(2000)};
    // Worker only; what it shows is copied to m_testStatus.
    TestMonitor m_testMonitor;
    mutable std::mutex m_testStatusMutex;
    std::string m_testStatus;
    // Guards the hardware description and the sequence between File Open and the watch.
    std::mutex m_dataMutex;
    mutable std::mutex m_publishedMutex;
    HardwareCopy m_published;
    bool m_askBeforeChangedValues = true;
    // The port could not be opened at the last watch: say so once, then retry quietly.
    bool m_connectFailed = false;
    // The controller did not answer at the last watch: the next attempt replaces that message.
    bool m_connectUnanswered = false;
    int m_lastConnect = 1;
    // The port the link was set up on.
    std::string m_linkPort;
    mutable std::mutex m_choiceMutex;
    std::string m_choice;
    // Under m_dataMutex.
    LimitsSource m_limitsSource = LimitsSource::Defaults;
    std::string m_limitsName;
    std::string m_linkSerial;
    bool m_rememberController = false;
};

// The device worker's procedure (DeviceWorker.cpp): runs actions and the connection watch
// until stopped. The argument is the CKelvastraDoc. Returns 1.
unsigned DeviceWorkerProc(void* document);
