// The file transfer to and from the controller's card, and the small fixed-name files.
#include "devicelink/Controller.h"

#include "common/AtomicFile.h"
#include "common/Interruption.h"
#include "common/MessageLog.h"
#include "common/NumberText.h"
#include "devicelink/LinkText.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <system_error>
#include <utility>

using linktext::Format;

namespace {

// A stream buffer that hands what it is given to a sink in large pieces.
class SinkBuffer : public std::streambuf {
public:
    explicit SinkBuffer(const Controller::ByteSink& sink) : m_sink(sink), m_buffer(1 << 16) {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }
    ~SinkBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (sync() != 0)
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        const auto used = static_cast<std::size_t>(pptr() - pbase());
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return used == 0 || m_sink(std::string_view(m_buffer.data(), used)) ? 0 : -1;
    }

private:
    const Controller::ByteSink& m_sink;
    std::vector<char> m_buffer;
};

} // namespace

std::string PositionOffsetsText(const std::array<int32_t, kWellCount>& offsets) {
    std::string text;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += Format("%d", offsets[i]);
    }
    return text;
}

std::string CoefficientFileText(const std::array<double, 3 * kWellCount>& values) {
    std::string text;
    for (double value : values)
        text += linktext::FixedSix(value) + "\n";
    return text;
}

bool Controller::IsValidCardName(const std::string& name) {
    if (name.empty() || name.size() > kMaxCardNameLength)
        return false;
    for (char c : name) {
        if (c == '\r' || c == '\n' || c == Serial::kTransferTerminator || c == '\0')
            return false;
    }
    return true;
}

bool Controller::RefuseName(const std::string& name) {
    if (IsValidCardName(name))
        return false;
    MessageLog::Instance().WriteMessage(
        Format("Card file name refused (empty, longer than %zu characters or holding a line "
               "end): %s\n",
               kMaxCardNameLength, name.c_str()));
    return true;
}

int Controller::ReadCardListing(std::vector<std::string>& lines) {
    int status = Serial::kSuccess;
    const int result = ReadTransfer("0L\r", true, lines, nullptr, status);
    if (result == 1)
        return -1;
    if (status != Serial::kSuccess)
        lastResult = status;
    return result == 0 && status == Serial::kSuccess ? 1 : -1;
}

int Controller::ReadFileLines(const std::string& name, std::vector<std::string>& lines) {
    return ReadFileLines(name, lines, nullptr);
}

int Controller::ReadFileLines(const std::string& name, std::vector<std::string>& lines,
                              std::string* shortTail) {
    lines.clear();
    if (shortTail)
        shortTail->clear();
    if (RefuseName(name))
        return -1;
    // Lines are read even after an error reply: they end at the controller's end byte or at
    // the read time-out, and whatever arrived is kept.
    int status = Serial::kSuccess;
    const int result =
        ReadTransfer(Format("0F %s\r", name.c_str()), true, lines, shortTail, status);
    if (result == 1 || result == kUnexpectedReply)
        return 1; // the line is down, or no transfer was the file's: reported already
    // After an error reply (no such file) a controller may send no end byte at all; a file it
    // has begun to send that stops is a broken link.
    if (status == Serial::kReadFailure || (status == Serial::kTimedOut && result == 0)) {
        lastResult = status;
        NoteLinkFailure();
    }
    return 1;
}

int Controller::ReadFirstLine(const std::string& name, std::string& line) {
    std::vector<std::string> lines;
    ReadFileLines(name, lines);
    if (lines.empty())
        return -1;
    line = lines.front();
    return 1;
}

int Controller::DownloadFile(const std::string& name, const std::string& localPath,
                             const Progress& progress) {
    if (RefuseName(name))
        return -1;
    // The bytes go to a temporary file beside the target, renamed only once the transfer has
    // ended properly: a broken transfer never leaves a file that looks complete.
    AtomicFile out{std::filesystem::path(localPath)};
    if (!out.Open())
        return -1;
    long long bytes = 0;
    if (DownloadInto(
            name, [&out](std::string_view piece) { return out.Write(piece); }, bytes, progress) !=
        1)
        return 0;
    return out.Commit() ? 1 : 0;
}

int Controller::DownloadInto(const std::string& name, const ByteSink& sink, long long& bytes,
                             const Progress& progress) {
    bytes = 0;
    if (RefuseName(name))
        return -1;
    // Once the controller sends, it sends to the end byte: a stop request drops the rest of the
    // file but reads it, so that the next exchange does not read file bytes as its reply.
    if (interruption::Pending() != 0) {
        lastResult = kInterrupted;
        return 0;
    }
    interruption::Shield shield;
    const std::string command = Format("0F %s\r", name.c_str());
    for (int attempt = 1;; ++attempt) {
        std::string unfit;
        int length = 0;
        const int result =
            Exchange(command, ReplyForm::Acknowledgement, unfit, kReplyCapacity, length);
        if (result == 1)
            return 0;
        if (result != kUnexpectedReply)
            unfit.clear();
        bool first = true;
        bool stopped = false;
        // A stray acknowledgement taken for this one leaves the real one in front of the file:
        // such a transfer is read to its end, dropped and asked for again.
        const ByteSink taker = [&](std::string_view piece) {
            if (std::exchange(first, false) && unfit.empty() && BeginsWithReplyLine(piece))
                unfit = piece.substr(0, piece.find('\r') + 1);
            stopped = stopped || interruption::Pending() != 0;
            return stopped || !unfit.empty() || sink(piece);
        };
        SinkBuffer buffer(taker);
        std::ostream stream(&buffer);
        const int status = serial.ReadToStream(stream, bytes, [&](long long count) {
            if (progress)
                progress(count);
        });
        stream.flush();
        if (status != Serial::kSuccess) {
            lastResult = status;
            return 0;
        }
        if (stopped) {
            lastResult = kInterrupted;
            MessageLog::Instance().WriteMessage("The download of " + name +
                                                " was interrupted; the rest of it was read and "
                                                "dropped.\n");
            return 0;
        }
        if (!unfit.empty()) {
            if (attempt < kMaxAttempts)
                continue;
            FailUnfitReply(command, unfit);
            return 0;
        }
        // An error reply (the controller refused the file) still ends with the end byte.
        return result == 0 && !stream.fail() ? 1 : 0;
    }
}

namespace {

// A carriage return would end a command line early and the end byte would end the file.
bool CanTravel(const std::string& content) {
    return content.find_first_of(std::string{'\r', Serial::kTransferTerminator}) ==
           std::string::npos;
}

// The number of an "Error N" outcome line; kErrorWithoutNumber when it carries none.
int OutcomeError(const std::string& line) {
    const std::string_view rest =
        line.size() > 6 ? std::string_view(line).substr(6) : std::string_view{};
    if (!linktext::HasLeadingNumber(rest))
        return Controller::kErrorWithoutNumber;
    const int number = LeadingInt(rest);
    return number == 0 ? Controller::kErrorWithoutNumber : number;
}

std::string SerialCause(int status) {
    return status == Serial::kTimedOut ? "no answer" : "the link failed";
}

} // namespace

std::string Controller::CauseOf(int result) const {
    if (result == 1)
        return lastResult == kInterrupted ? "interrupted" : SerialCause(lastResult);
    if (result == kUnexpectedReply)
        return "the controller's reply did not fit";
    return result == kErrorWithoutNumber ? std::string("the controller answered Error")
                                         : Format("the controller answered Error %d", result);
}

int Controller::SendCardFile(const std::string& name, const std::string& content, bool stoppable,
                             std::size_t& sent, std::string& cause) {
    sent = 0;
    cause.clear();
    int result = Command(Format("0W %s\r", name.c_str()));
    if (result == 1) {
        cause = CauseOf(result);
        return -1; // nothing more can be said on this line
    }
    if (result != 0)
        cause = CauseOf(result);
    while (cause.empty() && sent < content.size()) {
        if (stoppable && interruption::Pending() != 0) {
            cause = "interrupted";
            break;
        }
        const std::string piece = content.substr(sent, kWritePiece);
        result = Command(piece + "\r");
        if (result == 1) {
            cause = CauseOf(result);
            return -1;
        }
        if (result != 0)
            cause = CauseOf(result);
        else
            sent += piece.size();
    }
    // The end line goes out after a failed piece too: the controller must leave its write mode.
    result = SendEndLine();
    if (result != 0 && cause.empty())
        cause = "its end was not confirmed: " + CauseOf(result);
    if (result == 1)
        return -1;
    return cause.empty() ? 1 : 0;
}

int Controller::WriteCardFile(const std::string& name, const std::string& content) {
    m_writeProblem.clear();
    if (RefuseName(name)) {
        m_writeProblem = "Card file name refused: " + name;
        return -1;
    }
    if (!CanTravel(content)) {
        m_writeProblem = Format(
            "%s not written: its content holds a carriage return or the byte 0x17.", name.c_str());
        MessageLog::Instance().WriteMessage(m_writeProblem + "\n");
        return -1;
    }
    // A stop request while the controller is in its write mode ends the file properly.
    interruption::Shield shield;
    std::size_t sent = 0;
    std::string cause = "interrupted";
    if (interruption::Pending() == 0 && SendCardFile(name, content, true, sent, cause) == 1)
        return 1;
    m_writeProblem =
        Format("%s on the card is incomplete: writing it stopped after %zu of %zu bytes (%s).",
               name.c_str(), sent, content.size(), cause.c_str());
    MessageLog::Instance().WriteMessage("Error:  " + m_writeProblem + "\n");
    return -1;
}

Controller::CardCopy Controller::FetchCardFile(const std::string& name, std::string& content,
                                               std::string& cause) {
    const std::string command = Format("0F %s\r", name.c_str());
    for (int attempt = 1;; ++attempt) {
        content.clear();
        std::string unfit;
        int length = 0;
        const int result =
            Exchange(command, ReplyForm::Acknowledgement, unfit, kReplyCapacity, length);
        if (result == 1) {
            cause = CauseOf(result);
            return CardCopy::Unreadable;
        }
        if (result != kUnexpectedReply)
            unfit.clear();
        // Read to the end byte even after an error reply, so that no file byte is read as a
        // reply.
        std::ostringstream stream;
        long long bytes = 0;
        const int status = serial.ReadToStream(stream, bytes);
        content = stream.str();
        // A stray acknowledgement taken for this one leaves the real one (or the error reply)
        // in front of the content: such a read is asked for again.
        if (unfit.empty() && BeginsWithReplyLine(content))
            unfit = content.substr(0, content.find('\r') + 1);
        if (!unfit.empty()) {
            content.clear();
            if (status == Serial::kSuccess && attempt < kMaxAttempts &&
                interruption::Pending() == 0)
                continue;
            cause = CauseOf(FailUnfitReply(command, unfit));
            return CardCopy::Unreadable;
        }
        // After "no such file" a controller may send no end byte at all.
        if (result == kNoSuchFile && bytes == 0 &&
            (status == Serial::kSuccess || status == Serial::kTimedOut))
            return CardCopy::Missing;
        if (result != 0) {
            content.clear();
            cause = CauseOf(result);
            return CardCopy::Unreadable;
        }
        if (status != Serial::kSuccess) {
            content.clear();
            lastResult = status;
            cause = SerialCause(status);
            return CardCopy::Unreadable;
        }
        return CardCopy::Present;
    }
}

Controller::Removal Controller::RemoveCardFile(const std::string& name, std::string& cause) {
    const int result = Command(Format("0X %s\r", name.c_str()));
    if (result != 0) {
        // An error reply to the command itself: the controller did not take it, and no outcome
        // line follows. A reply that does not fit leaves it unknown whether it did.
        cause = CauseOf(result);
        return result == 1 || result == kUnexpectedReply ? Removal::NoAnswer : Removal::Refused;
    }
    std::string outcome;
    int count = 0;
    lastResult = serial.ReadLine(outcome, kReplyCapacity, count);
    if (lastResult != Serial::kSuccess) {
        cause = SerialCause(lastResult);
        return Removal::NoAnswer;
    }
    if (outcome == "Deleted")
        return Removal::Deleted;
    if (outcome.compare(0, 5, "Error") != 0) {
        // Anything else (an acknowledgement: the real one behind a stray line) leaves the
        // outcome unknown.
        cause = CauseOf(FailUnfitReply(Format("0X %s\r", name.c_str()), outcome));
        return Removal::NoAnswer;
    }
    const int number = OutcomeError(outcome);
    if (number == kNoSuchFile)
        return Removal::Missing;
    cause = CauseOf(number);
    return Removal::Refused;
}

int Controller::DeleteCardFile(const std::string& name) {
    if (RefuseName(name))
        return -1;
    std::string cause;
    return RemoveCardFile(name, cause) == Removal::Deleted ? 1 : -1;
}

bool Controller::RestoreCardFile(const std::string& name, bool existed, const std::string& old,
                                 std::string& cause) {
    // Whatever the failed write left goes first, or the old content would be appended to it.
    switch (RemoveCardFile(name, cause)) {
    case Removal::Refused:
        cause = "the controller did not delete the incomplete copy: " + cause;
        return false;
    case Removal::NoAnswer:
        return false;
    case Removal::Deleted:
    case Removal::Missing:
        break;
    }
    if (!existed)
        return true;
    std::size_t sent = 0;
    if (SendCardFile(name, old, false, sent, cause) != 1)
        return false;
    std::string back;
    const CardCopy copy = FetchCardFile(name, back, cause);
    if (copy == CardCopy::Present && back == old)
        return true;
    if (copy != CardCopy::Unreadable)
        cause = "the card did not hold it when it was read back";
    return false;
}

int Controller::ReplaceCardFile(const std::string& name, const std::string& content,
                                OnStop onStop) {
    m_writeProblem.clear();
    const bool stoppable = onStop == OnStop::Abandon;
    auto kept = [this](std::string problem) {
        m_writeProblem = std::move(problem);
        return kCardKept;
    };
    if (RefuseName(name))
        return kept("Card file name refused: " + name);
    if (!CanTravel(content))
        return kept(name + " was not replaced: the new content holds a carriage return or the "
                           "byte 0x17, which the link cannot carry.");
    auto stopped = [&] {
        if (!stoppable || interruption::Pending() == 0)
            return false;
        lastResult = kInterrupted;
        return true;
    };
    if (stopped())
        return kept(name + " was not replaced: interrupted.");
    // From here on a stop request is only noted: the card gets back a whole file first.
    interruption::Shield shield;

    std::string old, cause;
    const CardCopy before = FetchCardFile(name, old, cause);
    if (before == CardCopy::Unreadable)
        return kept(name + " was not replaced: its old content could not be read (" + cause +
                    "), and without it a failed write could not be undone.");
    if (before == CardCopy::Present && !CanTravel(old))
        return kept(name + " was not replaced: its old content holds a carriage return, which "
                           "could not be written back if the write failed.");
    if (stopped())
        return kept(name + " was not replaced: interrupted.");

    // The card appends to a file that exists: only a file that is gone may be written.
    bool existed = before == CardCopy::Present;
    std::string what;
    switch (RemoveCardFile(name, cause)) {
    case Removal::Refused:
        return kept(name + " was not replaced: the controller did not delete it (" + cause +
                    "); it keeps its old content.");
    case Removal::NoAnswer:
        what = "deleting it was not confirmed (" + cause + ")";
        break;
    case Removal::Missing:
        // An empty read of a file that is not there is no old content.
        existed = existed && !old.empty();
        break;
    case Removal::Deleted:
        break;
    }

    if (what.empty()) {
        std::size_t sent = 0;
        int written = 0;
        if (stopped())
            cause = "interrupted";
        else
            written = SendCardFile(name, content, stoppable, sent, cause);
        if (written != 1) {
            what = Format("writing it stopped after %zu of %zu bytes (%s)", sent, content.size(),
                          cause.c_str());
        } else {
            std::string back;
            const CardCopy after = FetchCardFile(name, back, cause);
            if (after == CardCopy::Present && back == content)
                return kCardReplaced;
            what = after == CardCopy::Unreadable
                       ? "it was written but could not be read back (" + cause + ")"
                       : Format("it was written but its copy on the card (%zu bytes) differs "
                                "from the %zu bytes sent",
                                back.size(), content.size());
        }
    }

    std::string restoreCause;
    if (RestoreCardFile(name, existed, old, restoreCause))
        return kept(name + " was not replaced: " + what +
                    (existed ? "; its old content was written back."
                             : "; the incomplete copy was deleted (there was none before)."));
    m_writeProblem = name + " on the card may now be missing or incomplete: " + what + ", and " +
                     (existed ? "its old content could not be written back"
                              : "the incomplete copy could not be deleted") +
                     " (" + restoreCause + ").";
    return kCardDamaged;
}

int Controller::ReadRawTrace(int a, int b, int c, std::vector<uint32_t>& times,
                             std::vector<uint16_t>& readings, std::size_t* received) {
    if (received)
        *received = 0;
    // Not asked again: the regulator would start from where the first trace left it.
    std::vector<std::string> lines;
    int status = Serial::kSuccess;
    const int result =
        ReadTransfer(Format("0Z %d %d %d\r", a, b, c), false, lines, nullptr, status);
    if (result == 1 || result == kUnexpectedReply)
        return -1;
    const std::size_t capacity = std::min(times.size(), readings.size());
    if (received)
        *received = std::min(lines.size(), capacity);
    for (std::size_t i = 0; i < lines.size() && i < capacity; ++i) {
        const std::string& line = lines[i];
        std::size_t split = line.find_first_not_of(" \t\r\n\f\v");
        split = line.find_first_of(" \t\r\n\f\v", split == std::string::npos ? 0 : split);
        times[i] =
            static_cast<uint32_t>(std::min<uint64_t>(linktext::LeadingUnsigned(line), UINT32_MAX));
        const std::string_view second =
            split == std::string::npos ? std::string_view{} : std::string_view(line).substr(split);
        readings[i] = static_cast<uint16_t>(
            std::min<uint64_t>(linktext::LeadingUnsigned(second), UINT16_MAX));
    }
    return result == 0 && status == Serial::kSuccess ? 1 : -1;
}

void Controller::ReadNameAndNumber(std::string& name, std::string& number) {
    name = "Test";
    number = "0001";
    std::vector<std::string> lines;
    std::string tail;
    ReadFileLines("NAME.INI", lines, &tail);
    if (!lines.empty())
        name = lines.front();
    else if (!tail.empty())
        name = tail;
    ReadFileLines("INFO1.INI", lines);
    if (!lines.empty() && lines.front().size() > 8)
        number = lines.front().substr(4, 4);
}

int Controller::ReadPositionOffsets() {
    std::array<int32_t, kWellCount> offsets{};
    std::vector<std::string> lines;
    std::string tail;
    ReadFileLines("POSCAL.INI", lines, &tail);
    // The file has no line feed after the ninth value, and a one-digit value there would
    // otherwise be no line: every offset would be lost.
    if (lines.size() == kWellCount - 1 && tail.size() == 1 && tail[0] >= '0' && tail[0] <= '9')
        lines.push_back(tail);
    if (lines.size() == kWellCount) {
        for (std::size_t i = 0; i < kWellCount; ++i)
            offsets[i] = LeadingInt(lines[i]);
    }
    hardware.positionOffsets = offsets;
    return 1;
}

int Controller::ResetPositionOffsets(OnStop onStop) {
    const std::array<int32_t, kWellCount> zeros{};
    const int result = ReplaceCardFile("POSCAL.INI", PositionOffsetsText(zeros), onStop);
    if (result == kCardReplaced)
        hardware.positionOffsets = zeros;
    return result;
}

int Controller::WriteCoefficientFile(const std::array<double, 3 * kWellCount>& values,
                                     const std::string& name, OnStop onStop) {
    return ReplaceCardFile(name, CoefficientFileText(values), onStop);
}

void Controller::ReadDisplacementCoefficients() {
    std::vector<std::string> lines;
    ReadFileLines("MAGCAL.INI", lines);
    if (lines.size() != 3 * kWellCount)
        return;
    std::array<double, 3 * kWellCount> values{};
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = LeadingDouble(lines[i]);
    hardware.displacementCoefficients = values;
}
