// The simulated controller firmware: command lines in, reply bytes out, over a card folder.
//
// Nothing here touches a terminal or a clock: the caller feeds the bytes that arrived and the
// current time, and writes the chunks it gets back. That keeps every reply testable in-process.
//
// Wire rules it follows:
// - every command line ends with a carriage return and is answered by at least one line ended
//   by a carriage return: "OK" for a plain acknowledgement, the value for a query, or
//   "Error N" (1 unknown command, 2 bad argument, 3 no such file, 4 card write failed,
//   97 busy, the latter only when injected);
// - "0F", "0L" and "0Z" follow their acknowledgement with the content and the end byte 0x17;
//   "0I" follows it with one line per table entry and a line starting with 0x17;
//   "0X" follows it with one outcome line ("Deleted" or "Error 3");
// - after "0W name" every line up to a line made of 0x17 is file content, appended to the
//   file and acknowledged one by one; after "0P" the lines up to 0x17 are the table fields.
#pragma once

#include "Plant.h"
#include "SimCard.h"
#include "TestRun.h"

#include "protocol/DeviceProgram.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

inline constexpr char kEndByte = 0x17;

namespace FirmwareError {
inline constexpr int UnknownCommand = 1;
inline constexpr int BadArgument = 2;
inline constexpr int NoSuchFile = 3;
inline constexpr int CardWrite = 4;
inline constexpr int Busy = 97;
} // namespace FirmwareError

namespace RunState {
inline constexpr int Idle = 0;
inline constexpr int Running = 3;
inline constexpr int Paused = 4;
} // namespace RunState

// One piece of output. `delayMs` holds it back after the previous piece (the end byte sent
// apart from the content); `transfer` marks file content and its end byte, which the link can
// be told to drop in the middle of.
struct Chunk {
    std::string bytes;
    int delayMs = 0;
    bool transfer = false;
};

struct FirmwareOptions {
    int firmwareVersion = 4050;   // version times 1000; below 1540 the old listing format
    int hardwareVersion = 1100;   // reported in identity record 3
    int64_t capacityKb = 3866624; // card capacity reported by "0?V"
    // Identity record 1, and the registration's serial.
    std::string serialNumber = "SIM-0001";
};

class Firmware {
public:
    Firmware(SimCard& card, FirmwareOptions options = {});

    // Bytes from the program; returns the reply chunks in order.
    std::vector<Chunk> Feed(std::string_view bytes, double nowMs);
    // Lets time pass: pressure lag and a running test.
    void Tick(double nowMs);

    // --- state reached by the control channel -----------------------------------------------
    void SetFirmwareVersion(int version);
    int FirmwareVersion() const { return m_options.firmwareVersion; }
    void SetHardwareVersion(int version);
    // Replaces identity record 0..4; an empty optional restores the generated text.
    void SetIdentity(int index, std::optional<std::string> text);
    std::string Identity(int index) const;
    void SetCapacityKb(int64_t kb) { m_options.capacityKb = kb; }
    // "0?D channel" is answered "Error <error>" (a broken sensor); 0 makes it read again.
    void SetSensorError(int channel, int error) { m_sensorErrors.at(channel) = error; }

    // The run state "0?S" reports while no test run drives it; cleared by the next start/stop.
    void ForceRunState(std::optional<int> state) { m_forcedState = state; }
    int ReportedRunState() const;
    int RunStateOfTest() const { return m_runState; }

    // Test runs. Start returns false when one is already running or the card cannot be written.
    bool StartTest(double nowMs, double speed, std::string* message = nullptr);
    bool PauseTest(double nowMs);
    bool ResumeTest(double nowMs);
    bool StopTest(double nowMs);
    void SetSpeed(double speed) { m_speed = speed > 0 ? speed : 1.0; }
    double Speed() const { return m_speed; }
    const TestRun* CurrentRun() const { return m_run.get(); }

    // The next `count` command lines are answered with `text` (a carriage return is added)
    // and otherwise ignored, as a busy controller does with "Error 97".
    void InjectReplies(const std::string& text, int count);
    void ClearInjectedReplies() { m_injected.clear(); }
    // The reply to the next command line comes with one more line, `text` and a carriage return,
    // in front of it (`after`: behind all of it), as a reply that came late or an echo would;
    // nullopt cancels.
    void StrikeStrayLine(std::optional<std::string> text, bool after = false) {
        m_stray = std::move(text);
        m_strayAfter = after;
    }
    bool StrayLineArmed() const { return m_stray.has_value(); }
    int PendingInjectedReplies() const { return static_cast<int>(m_injected.size()); }
    // Send the end byte of transfers in a chunk of its own, `delayMs` after the content,
    // instead of right behind the last content byte.
    void SetEndByteApart(bool apart, int delayMs = 30) {
        m_endApart = apart;
        m_endDelayMs = delayMs;
    }

    // "0X" of a protected name is refused ("Error 4" as the outcome), as a card file the
    // firmware cannot remove; "*" protects every file, an empty name lifts every protection.
    void ProtectFile(const std::string& name);
    // The `piece`-th content line (from 1) of the next "0W name" fails as a card write that
    // failed: it is answered "Error 4" and not written, nor is the rest of that write. With
    // `cutLink` it is not answered and TakeLinkCut() asks for the link to be cut instead (a link
    // lost in the middle of a write). nullopt cancels.
    void FailWriteAt(const std::string& name, std::optional<int> piece, bool cutLink = false);
    // True once after a struck write piece asked for the link to be cut.
    bool TakeLinkCut();
    // The next "0F" of `name` sends only the first `bytes` bytes of the file before its end
    // byte, as a transfer that lost bytes on the way; nullopt cancels.
    void CutNextTransfer(const std::string& name, std::optional<size_t> bytes);

    Plant& LivePlant() { return m_plant; }
    const DeviceProgramTable& Program() const { return m_program; }
    void SetProgram(const DeviceProgramTable& table) { m_program = table; }
    // Rereads INFOW.INI into the plant's hardware (as the firmware does after "0H").
    void ReloadHardware();
    // Puts the simulated firmware version into the "FirmwareVersion" line of INFOW.INI.
    void SyncFirmwareLine();

    // One-line notices for the operator (test started/finished ...), drained by the caller.
    std::vector<std::string> TakeEvents();

    // True while inside "0W" or "0P" (lines are content, not commands).
    bool InTransfer() const { return m_mode != Mode::Command; }
    // "command", "write" or "upload".
    const char* ModeName() const;
    // As if a session had sent "0W name" (or "0P", for an empty name) and gone away before the
    // end line: every following line is content, answered "OK".
    void EnterTransferMode(const std::string& writeName);
    // Drops a half-received line and leaves any "0W"/"0P" (a link that went away).
    void ResetLine();

private:
    enum class Mode { Command, Write, Upload };

    void HandleLine(std::string line, std::vector<Chunk>& out);
    void HandleLineReply(std::string line, std::vector<Chunk>& out);
    void HandleCommand(const std::string& line, std::vector<Chunk>& out);
    void HandleWriteLine(const std::string& line, std::vector<Chunk>& out);
    void HandleUploadLine(const std::string& line, std::vector<Chunk>& out);
    void AppendTransfer(std::vector<Chunk>& out, std::string content, std::string end);
    void AdvanceClock(double nowMs);

    SimCard& m_card;
    FirmwareOptions m_options;
    Plant m_plant;
    std::array<std::optional<std::string>, 5> m_identity;
    DeviceProgramTable m_program{};
    bool m_programUploaded = false;

    Mode m_mode = Mode::Command;
    std::string m_line;
    std::string m_writeName;
    bool m_writeOk = true;
    std::vector<std::string> m_uploadLines;

    std::array<int, kWells + 1> m_sensorErrors{}; // per "0?D" channel; 0: reads
    std::deque<std::string> m_injected;
    std::optional<std::string> m_stray;
    bool m_strayAfter = false;
    std::vector<std::string> m_protected; // upper case
    bool m_protectAll = false;
    std::optional<size_t> m_cutNext;
    std::string m_cutName; // upper case
    std::optional<int> m_failPiece;
    std::string m_failName; // upper case
    bool m_failCutsLink = false;
    int m_piecesToFailure = 0; // in the write under way; 0: none fails
    bool m_linkCut = false;
    bool m_endApart = false;
    int m_endDelayMs = 30;

    std::optional<int> m_forcedState;
    int m_runState = RunState::Idle;
    std::unique_ptr<TestRun> m_run;
    double m_speed = 1.0;
    double m_runSimMs = 0;
    double m_lastMs = -1;
    std::vector<std::string> m_events;
};

} // namespace sim
