// The one document: the protocol being designed, the link to the controller with the fitted
// hardware, and the controller's program table. Menu commands only store a device action; the
// device worker runs it, and watches the USB link once a second.
//
// Threads: the GUI thread runs the command handlers and File Open/Save; the device worker
// (DeviceWorkerProc) runs every exchange with the controller. The three shared words are
// atomics; the sequence and the hardware description are handed over: the GUI thread changes
// them only while no action is pending (and the worker touches them only inside an action or,
// under m_dataMutex, in the connection watch), and the worker reaches the view only through
// IStageView, whose implementation does the work on the GUI thread.
#pragma once

#include "devicelink/Controller.h"
#include "document/DeviceAction.h"
#include "document/DialogSession.h"
#include "document/ViewInterfaces.h"
#include "hardware/HardwareDescription.h"
#include "protocol/DeviceProgram.h"
#include "protocol/SetRecord.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

class CKelvastraDoc {
public:
    // Without a channel the controller uses the platform's serial port.
    explicit CKelvastraDoc(std::unique_ptr<ISerialChannel> channel = nullptr);
    ~CKelvastraDoc();
    CKelvastraDoc(const CKelvastraDoc&) = delete;
    CKelvastraDoc& operator=(const CKelvastraDoc&) = delete;

    SetSequence m_sequence;
    Controller m_controller;
    DeviceProgramTable m_deviceProgram{};
    float m_fMaxStretchPosMm = 0.0f; // 1000 once the link has been set up
    std::atomic<bool> m_bDeviceInfoLoaded{false};
    std::atomic<bool> m_bDeviceConnected{false};
    std::atomic<int> m_nPendingAction{DeviceAction::None};

    // --- seams -------------------------------------------------------------------------
    void SetView(IStageView* view) { m_view = view; }
    IStageView* View() const { return m_view; }
    void SetPrompt(IUserPrompt* prompt) { m_prompt = prompt; }
    void SetDialogHost(IDialogHost* host) { m_dialogHost = host; }
    // Called on the worker whenever the connected flag changes.
    void SetConnectionListener(std::function<void(bool connected)> listener);

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
    // indicator: enabled exactly while the device is connected. Other ids: true.
    bool IsCommandEnabled(int commandId) const;

    // Asks for a file path, starting in the given folder; nullopt when the user cancels.
    using FileChooser = std::function<std::optional<std::string>(const std::string& startFolder)>;
    // File Save: check, ask for the path, remember its folder as the template folder, write.
    void OnFileSave(const FileChooser& chooseFile);
    // File Open: ask for the path, remember its folder, read, refresh the view.
    void OnFileOpen(const FileChooser& chooseFile);
    // The file steps alone (the path already chosen). 1 on success, -1 on failure; both say
    // what happened in the view's message area.
    int SaveProtocolFile(const std::string& path);
    int OpenProtocolFile(const std::string& path);

    // --- device operations (device worker) ---------------------------------------------
    void ProgramDevice();
    void ReadDevice();
    // Clears m_deviceProgram and fills it from m_sequence. False, with the reason in `problem`,
    // when a magnitude cannot be turned into a set point for the fitted hardware or a duration
    // does not fit the controller's 32-bit millisecond words.
    bool SequenceToDeviceProgram(std::string* problem = nullptr);
    void DeviceProgramToSequence();
    // Fills the description from the card's INFOW.INI; fewer than eight lines change nothing.
    void ReadDeviceHardware(HardwareDescription& description);
    // Sets the link up when the controller has appeared, tears it down when it has gone.
    void ConnectionWatch();
    // The set-up half of the watch on the port in m_controller.portName: connect, test name and
    // number into the view, INFOW.INI, then the flags. False (said once in the message log) when
    // the port cannot be opened; the document then stays disconnected.
    bool SetUpLink();
    // Port closed, flags down, message area cleared.
    void TearDownLink();
    // Runs the pending action, if any, and clears its code. False when the worker must stop.
    bool RunPendingAction();
    // Asks the worker to leave its loop at its next pass (the process is ending).
    void RequestWorkerStop() { m_stopRequested = true; }
    bool WorkerStopRequested() const { return m_stopRequested; }

    // The dialog of the action being served (tests and dialog hosts look at it).
    DialogSession& Session() { return m_session; }

    static constexpr const char* kNotDetected =
        "Kelvastra Device Not Detected.\nPlease ensure that the device is powered on and all "
        "cables are properly connected\n";

private:
    MessageAnswer Show(const std::string& text, MessageIcon icon);
    void SetConnected(bool connected);
    // "0?S": the run state, or nullopt when the query failed.
    std::optional<int> RunState();
    void RunDialogAction(int action);
    bool ActionBlocked(int action);

    IStageView* m_view = nullptr;
    IUserPrompt* m_prompt = nullptr;
    IDialogHost* m_dialogHost = nullptr;
    DialogSession m_session;
    std::function<void(bool)> m_connectionListener;
    std::atomic<bool> m_stopRequested{false};
    // Guards the hardware description and the sequence between File Open and the watch.
    std::mutex m_dataMutex;
    // The port could not be opened at the last watch: say so once, then retry quietly.
    bool m_connectFailed = false;
    // The port the link was set up on.
    std::string m_linkPort;
};

// The device worker's procedure: runs actions and the connection watch until stopped. The
// argument is the CKelvastraDoc. Returns 1.
unsigned DeviceWorkerProc(void* document);
