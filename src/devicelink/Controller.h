// The program's one link to the controller: the serial port, the chosen port, the identity
// records and the hardware description with its calibration tables. Every command is one
// carriage-return-ended ASCII line answered by at least one reply line; a reply that starts with
// "Error" carries an error number, and error 97 makes the command go out again.
#pragma once

#include "devicelink/PortInfo.h"
#include "devicelink/Serial.h"
#include "hardware/HardwareDescription.h"
#include "protocol/DeviceProgram.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class Controller {
public:
    // Result of Command and Query besides 0, 1 and the controller's error numbers: an error
    // reply that carries no usable number.
    static constexpr int kErrorWithoutNumber = -1;
    static constexpr int kRetryError = 97;
    static constexpr int kMaxAttempts = 3;
    // lastResult after an error reply (or a reply that is not what the command asks for).
    static constexpr int kErrorReply = 1024;
    // lastResult when nothing more was sent because a stop was requested.
    static constexpr int kInterrupted = 2048;
    // QueryInteger's result for a reply that is not a number.
    static constexpr int kNotANumber = -2;
    // Result of Command and Query for a reply whose form does not fit the command (an
    // acknowledgement where a value was asked for, a number where an acknowledgement was due, an
    // echo): another exchange's reply or a line nobody asked for, never used as this one's.
    static constexpr int kUnexpectedReply = -3;
    // The error number of a card file that does not exist ("0F" and "0X").
    static constexpr int kNoSuchFile = 3;
    // ReplaceCardFile's results: the card holds the new content; it holds what it held before;
    // the file is missing or incomplete.
    static constexpr int kCardReplaced = 1;
    static constexpr int kCardKept = 0;
    static constexpr int kCardDamaged = -1;
    // Connect's results besides 1 and -1: the port opened but the controller did not answer
    // the first identity query; or it answered every line "OK" even after the end line of an
    // earlier transfer.
    static constexpr int kConnectNoAnswer = -2;
    static constexpr int kConnectNotTakingCommands = -3;
    // An exchange of the connect after the first failed (no answer, or the line went down).
    static constexpr int kConnectBroken = -4;
    static constexpr int kReplyCapacity = 1024;
    static constexpr int kRecordCapacity = 512;
    static constexpr int kRecordCount = 5;
    // How long FindControllers waits for a board it asks for its serial number.
    static constexpr int kProbeTimeoutMs = 2000;
    // Card file names go out in 64-character command lines: "0F " + name + "\r" and a NUL.
    static constexpr std::size_t kMaxCardNameLength = 59;
    static constexpr std::size_t kWritePiece = 60;
    // The run state query and the states in which a test holds the card: nothing may program
    // the device or touch its files then.
    static constexpr const char* kRunStateQuery = "0?S\r";
    static constexpr int kRunStateRunning = 3;
    static constexpr int kRunStatePaused = 4;
    static constexpr const char* kSoftwareVersion = "Software Version " KELVASTRA_VERSION;
    static constexpr const char* kFirmwareNotice =
        "This Software requires firmware Rev 4.0 or higher\nPlease exit this software\nand "
        "update firmware before continuing.\n";

    // Shows the firmware notice: a message box in the desktop program, a line on standard error
    // in the command-line program.
    using NoticeHandler = std::function<void(const std::string& text, const std::string& caption)>;
    using PortEnumerator = std::function<std::vector<PortInfo>()>;
    // Receives the running byte count each time another 1000 bytes have arrived.
    using Progress = std::function<void(long long bytes)>;

    // Without a channel the platform serial port is used.
    explicit Controller(std::unique_ptr<ISerialChannel> channel = nullptr);
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    std::vector<std::string> infoLines; // the five identity records of the last connect
    std::string portName;               // chosen by discovery; empty until the first match
    Serial serial;
    HardwareDescription hardware;
    int32_t lastResult = 0; // serial status of the last step, or 1024 after an error reply
    std::vector<PortInfo> ports;
    // The serial number of the controller to use when several are present; empty: the first
    // that discovery's rule picks.
    std::string chosenSerial;

    void SetNoticeHandler(NoticeHandler handler) { m_notice = std::move(handler); }
    // Discovery's source of ports (tests replace it).
    void SetPortEnumerator(PortEnumerator enumerator) { m_enumerate = std::move(enumerator); }

    // --- discovery -----------------------------------------------------------------------
    // Rebuilds `ports`; on a match stores the port in `portName` and returns true. With a
    // chosen serial number only the port known to have it matches: no port is opened to ask.
    bool FindController();
    // Rebuilds `ports` and gives every matching port with its serial number. A board whose
    // number is not yet known is asked, when `askUnknown`, on a port opened just for that
    // (a port in use by this controller is not: its number is known since its connect).
    std::vector<PortInfo> FindControllers(bool askUnknown);
    // Identity record 1's serial number, empty before the first connect.
    std::string SerialNumber() const;

    // --- command exchange ----------------------------------------------------------------
    // Every exchange first drops what is already waiting on the line: it belongs to no command.
    // 0 success, 1 serial failure (lastResult holds the serial status), otherwise the
    // controller's error number (or kErrorWithoutNumber), or kUnexpectedReply when the reply is
    // not the acknowledgement "OK" (reported in the message log; not sent again, since the
    // controller may have acted on the line).
    int Command(const std::string& text);
    // As Command; the reply (at most capacity - 1 characters) goes to `reply`. Queries that have
    // no effect are asked again, within the attempts of error 97, while the reply does not fit:
    // "0?S", "0?V" and "0?D n" take a decimal integer, "0?R n" any text but an acknowledgement
    // or the command's echo; other lines take any reply.
    int Query(const std::string& text, std::string& reply, int capacity, int& length);
    // Identity record 0..4 ("0?R n"): 0, 1 on failure (text unchanged), 2 for a bad index.
    int QueryRecord(int index, std::string& text);
    // A query whose reply is a decimal integer ("0?S", "0?V", "0?D n"): 0 and the value, the
    // Query failure, or kNotANumber when no attempt got anything but a number (line noise read as
    // 0 would be a false reading).
    int QueryInteger(const std::string& text, int& value);

    // --- connect ------------------------------------------------------------------------
    // 1 when connected; -1 when the port cannot be opened; kConnectNoAnswer,
    // kConnectNotTakingCommands or kConnectBroken (the port is closed again, the reason is in
    // the message log).
    int Connect();
    // The first step of Connect alone: 1 when the port is open (or already was), else -1.
    int OpenPort();
    // What a tool says when Connect gave `result` (not 1) on `port`.
    static std::string ConnectFailureText(int result, const std::string& port);
    // False when the first identity query got no answer at all (the rest is then not asked),
    // or when the controller kept answering "OK" to everything.
    bool Identify();

    // --- device program table ------------------------------------------------------------
    // "0P": 1, or -1 when an exchange failed (serial failure or error reply).
    int UploadProgram(DeviceProgramTable& table);
    // "0I": reads entry lines up to the end line into `table` (cleared first; lines beyond
    // the tenth are read and ignored). 1, or -1 when the line failed before the end line or no
    // attempt brought entry lines only (the table is then left cleared).
    int ReadProgram(DeviceProgramTable& table);
    // -1 at the end line, 1 when an entry was filled, 0 when the index is past the table.
    static int ParseProgramLine(const std::string& line, std::size_t index,
                                DeviceProgramTable& table);

    // --- card files ----------------------------------------------------------------------
    // Card names that cannot go out in one command line (too long, or holding a line end or
    // the end byte) are refused without traffic.
    static bool IsValidCardName(const std::string& name);

    // "0L": the listing lines as the controller sends them. 1, or -1 on failure.
    int ReadCardListing(std::vector<std::string>& lines);
    // Whatever lines arrived. 1 (-1 only for a refused name).
    int ReadFileLines(const std::string& name, std::vector<std::string>& lines);
    // 1 and the first line, or -1 when the file gave no line.
    int ReadFirstLine(const std::string& name, std::string& line);
    // 1; -1 when the local file cannot be created (nothing sent); 0 when the transfer failed
    // (error reply, time-out, serial failure or a failed local write): the local file is then
    // left as it was, since the bytes go to a temporary file renamed only on success.
    int DownloadFile(const std::string& name, const std::string& localPath,
                     const Progress& progress = {});
    // Takes the bytes of a download as they arrive; false stops taking them (a failed write).
    using ByteSink = std::function<bool(std::string_view bytes)>;
    // The same into `sink`; `bytes` counts what arrived. 1, or 0 when the transfer or the sink
    // failed (-1 for a refused name).
    int DownloadInto(const std::string& name, const ByteSink& sink, long long& bytes,
                     const Progress& progress = {});
    // Appends to the card file (the card creates it when missing). 1, or -1 when the content
    // cannot travel (a carriage return or the end byte inside it) or the write failed. The write
    // stops at the first piece that fails (and at a stop request), ends the controller's write
    // mode with the end line all the same, and says in the message log that the card copy is
    // incomplete.
    int WriteCardFile(const std::string& name, const std::string& content);
    // What a stop request does to a rewrite: it is refused before anything changed and a write
    // under way is undone (Abandon), or the rewrite goes on to its end (Finish: a step that keeps
    // the card's files consistent with each other).
    enum class OnStop { Abandon, Finish };
    // Replaces a card file's content so that the card never keeps a mixed or half-written copy:
    // the old content is read first (a file that cannot be read is not replaced), the file is
    // deleted (a refused delete is a failure; only "no such file" lets the write go on), the new
    // content is written and read back, and when that fails the old content is written back (a
    // file that did not exist has its partial copy deleted). kCardReplaced, kCardKept (nothing
    // changed, or the old content is back) or kCardDamaged (even the restore failed: the file is
    // missing or incomplete). WriteProblem() then says what happened and what the card holds;
    // nothing goes to the message log, the caller reports it.
    int ReplaceCardFile(const std::string& name, const std::string& content,
                        OnStop onStop = OnStop::Abandon);
    // What the last failed WriteCardFile or ReplaceCardFile found (one line).
    const std::string& WriteProblem() const { return m_writeProblem; }
    // 1 when the controller confirmed, -1 otherwise.
    int DeleteCardFile(const std::string& name);
    // "0Z a b c": pairs of time (µs) and raw reading, as many as the arrays hold; `received`
    // (when given) gets how many were stored. 1, or -1 when the exchange failed or the lines did
    // not end with the end byte (whatever arrived is stored all the same).
    int ReadRawTrace(int a, int b, int c, std::vector<uint32_t>& times,
                     std::vector<uint16_t>& readings, std::size_t* received = nullptr);
    // NAME.INI and INFO1.INI, with the defaults "Test" and "0001". NAME.INI holds the name
    // without a line end, so a one-character name is read from the unterminated tail.
    void ReadNameAndNumber(std::string& name, std::string& number);
    // POSCAL.INI: nine lines give the offsets, anything else nine zeros. Returns 1.
    int ReadPositionOffsets();
    // POSCAL.INI replaced by nine zeros (ReplaceCardFile's result); the offsets in memory follow
    // the card only when it holds the zeros.
    int ResetPositionOffsets(OnStop onStop = OnStop::Abandon);
    // The 27 values as "%12f" lines, by ReplaceCardFile (its result).
    int WriteCoefficientFile(const std::array<double, 3 * kWellCount>& values,
                             const std::string& name, OnStop onStop = OnStop::Abandon);
    // MAGCAL.INI: replaces the coefficients only when exactly 27 lines arrived.
    void ReadDisplacementCoefficients();

private:
    // What a command's reply must look like.
    enum class ReplyForm { Acknowledgement, Integer, Record, Any };
    static ReplyForm FormOfQuery(const std::string& text);
    int Exchange(const std::string& text, ReplyForm form, std::string& reply, int capacity,
                 int& length);
    // Reports a reply that did not fit `text` and counts it as a failed exchange; returns
    // kUnexpectedReply.
    int FailUnfitReply(const std::string& text, std::string_view reply);
    // A command whose acknowledgement is followed by lines up to the end byte ("0F", "0L",
    // "0Z"). A transfer whose acknowledgement does not fit, or whose content begins with a reply
    // line (a stray acknowledgement was taken for its own), is read to its end and dropped, and
    // asked for again when `mayAskAgain`. Returns the command's result (kUnexpectedReply when no
    // attempt fitted, `lines` then empty) and the read's status in `status`.
    int ReadTransfer(const std::string& command, bool mayAskAgain, std::vector<std::string>& lines,
                     std::string* shortTail, int& status);
    // True when `content` begins with a line the controller sends as a reply ("OK" or "Error N"
    // and a carriage return): no card file does.
    static bool BeginsWithReplyLine(std::string_view content);
    // Counts a write or read that failed or timed out; returns 1, Command's serial failure.
    int NoteLinkFailure();
    // The end line of a write or upload, as a command of its own.
    int SendEndLine();
    // The first identity query: 1, kConnectNoAnswer, or kConnectNotTakingCommands. A controller
    // that acknowledges it with "OK" is taken out of a transfer mode with the end line first.
    int Greet(std::string& record0);
    int ReadFileLines(const std::string& name, std::vector<std::string>& lines,
                      std::string* shortTail);
    bool RefuseName(const std::string& name);
    // The steps of a card rewrite. They go on after a stop request (a rewrite runs shielded).
    enum class CardCopy { Present, Missing, Unreadable };
    // "0F": the file's bytes exactly; `cause` says why it is unreadable.
    CardCopy FetchCardFile(const std::string& name, std::string& content, std::string& cause);
    enum class Removal { Deleted, Missing, Refused, NoAnswer };
    // "0X" and its outcome line; `cause` says why it was refused or unanswered.
    Removal RemoveCardFile(const std::string& name, std::string& cause);
    // "0W", the pieces and the end line: 1 when every exchange was confirmed, 0 when the
    // controller refused one (or a stop request ended the write, when `stoppable`), -1 when the
    // line failed. `sent` counts the confirmed content bytes, `cause` says what went wrong.
    int SendCardFile(const std::string& name, const std::string& content, bool stoppable,
                     std::size_t& sent, std::string& cause);
    // Why Command gave `result` (not 0), for a message.
    std::string CauseOf(int result) const;
    // The old content (or no file, when `existed` is false) back after a failed rewrite: true
    // when the card holds it again; `cause` says why not.
    bool RestoreCardFile(const std::string& name, bool existed, const std::string& old,
                         std::string& cause);

    NoticeHandler m_notice;
    PortEnumerator m_enumerate;
    int m_greeting = 1;
    int m_linkFailures = 0; // dead lines and unfit replies since the connect began
    std::string m_writeProblem;
};

// "%d\n" times nine without the last line feed, as POSCAL.INI holds the offsets.
std::string PositionOffsetsText(const std::array<int32_t, kWellCount>& offsets);
// Each value as "%12f" and a line feed, as MAGCAL.INI holds the coefficients.
std::string CoefficientFileText(const std::array<double, 3 * kWellCount>& values);
