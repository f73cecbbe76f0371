#include "devicelink/Serial.h"

#include "common/MessageLog.h"
#include "devicelink/LinkText.h"
#include "devicelink/QtSerialChannel.h"
#include "devicelink/TrafficRecorder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ostream>

using linktext::Format;

namespace {

const char* const kTimeoutText = "\nReadFile Timed Out Waiting for Response\n";

const char* StepFormat(OpenStep step) {
    switch (step) {
    case OpenStep::OpenPath:
        return "CreateFile failed with error %d.\n";
    case OpenStep::QueueSizes:
        return "SetupComm failed with error %d.\n";
    case OpenStep::Properties:
        return "GetCommProperties failed with error %d.\n";
    case OpenStep::ReadSettings:
        return "GetCommState failed with error %d.\n";
    case OpenStep::WriteSettings:
        return "SetCommState failed with error %d.\n";
    case OpenStep::ReadTimeouts:
        return "GetCommTimeouts failed with error %d.\n";
    case OpenStep::WriteTimeouts:
        return "SetCommTimeouts failed with error %d.\n";
    }
    return "CreateFile failed with error %d.\n";
}

void Log(const std::string& text) {
    MessageLog::Instance().WriteMessage(text);
}

} // namespace

namespace {
std::atomic<int> g_defaultLongTimeoutMs{Serial::kLongTimeoutMs};
} // namespace

void Serial::SetDefaultLongTimeoutMs(int timeoutMs) {
    g_defaultLongTimeoutMs = timeoutMs;
}

Serial::Serial(std::unique_ptr<ISerialChannel> channel)
    : m_channel(channel ? std::move(channel)
                        : std::make_unique<RecordingChannel>(std::make_unique<QtSerialChannel>(),
                                                             TrafficRecorder::Shared())),
      m_longTimeoutMs(g_defaultLongTimeoutMs.load()) {}

Serial::~Serial() = default;

int Serial::Open(const std::string& portName, bool assertDtr, bool nonBlocking, bool fastDefault,
                 bool longTimeout, int baudRate) {
    if (m_open)
        return kSuccess;

    SerialSettings settings;
    settings.baudRate = baudRate > 0 ? baudRate : (fastDefault ? 115200 : 9600);
    settings.assertDtr = assertDtr;

    OpenFailure failure;
    if (!m_channel->Open(portName, settings, failure)) {
        Log(Format(StepFormat(failure.step), failure.errorNumber));
#ifdef __linux__
        if (failure.step == OpenStep::OpenPath &&
            (failure.errorNumber == EACCES || failure.errorNumber == EPERM)) {
            Log(Format("Permission denied opening %s: your user is not allowed to use serial "
                       "ports. Add it to the dialout group (sudo usermod -aG dialout $USER), "
                       "then log out and in again.\n",
                       portName.c_str()));
        }
#endif
        // Release the port at once so that the next attempt can open it.
        if (failure.step != OpenStep::OpenPath)
            m_channel->Close();
        return failure.step == OpenStep::WriteTimeouts ? kTimeoutSetupFailure : kSystemFailure;
    }

    // Whatever is already waiting belongs to no exchange of this session (the tail of one cut
    // off, line noise) and would be read as the first replies.
    m_channel->DiscardInput(kDiscardSettleMs);

    if (longTimeout)
        m_readTimeoutMs = m_longTimeoutMs;
    else if (nonBlocking)
        m_readTimeoutMs = 0;
    else
        m_readTimeoutMs = kShortTimeoutMs;
    m_baudRate = settings.baudRate;
    m_pending.clear();
    m_open = true;
    return kSuccess;
}

int Serial::Close() {
    if (!m_open)
        return kNotOpen;
    const int error = m_channel->Close();
    if (error != 0) {
        Log(Format("CloseSerialPort failed with error %d.\n", error));
        return kSystemFailure;
    }
    m_open = false;
    m_pending.clear();
    return kSuccess;
}

int Serial::Write(const char* data, std::size_t length) {
    if (!m_open) {
        Log(Format("WriteFile failed with error %d.\n", EBADF));
        return kWriteFailure;
    }
    const long long written = m_channel->Write(data, length);
    if (written < 0) {
        Log(Format("WriteFile failed with error %d.\n", m_channel->LastErrorNumber()));
        return kWriteFailure;
    }
    if (static_cast<std::size_t>(written) != length) {
        Log(Format("WriteFile wrote %lld of %zu bytes.\n", written, length));
        return kWriteFailure;
    }
    return kSuccess;
}

std::string Serial::DropWaiting() {
    std::string dropped;
    dropped.swap(m_pending);
    if (!m_open)
        return dropped;
    char chunk[kStreamChunk];
    while (dropped.size() < kMaxDropped) {
        const long long n = m_channel->ReadWaiting(chunk, sizeof chunk);
        if (n <= 0)
            break;
        dropped.append(chunk, static_cast<std::size_t>(n));
    }
    return dropped;
}

int Serial::ReadSome(char* buffer, std::size_t maxBytes, std::size_t& got, bool logTimeout) {
    got = 0;
    if (!m_pending.empty()) {
        got = std::min(maxBytes, m_pending.size());
        std::memcpy(buffer, m_pending.data(), got);
        m_pending.erase(0, got);
        return kSuccess;
    }
    if (!m_open)
        return kReadFailure;
    const long long n = m_channel->Read(buffer, maxBytes, m_readTimeoutMs);
    if (n < 0)
        return kReadFailure;
    if (n == 0) {
        if (logTimeout)
            Log(kTimeoutText);
        return kTimedOut;
    }
    got = static_cast<std::size_t>(n);
    return kSuccess;
}

int Serial::ReadByte(char& byte) {
    std::size_t got = 0;
    return ReadSome(&byte, 1, got);
}

int Serial::ReadLine(std::string& text, int capacity, int& count) {
    text.clear();
    count = 0;
    if (capacity <= 0)
        return kOverflow;
    for (;;) {
        char byte = 0;
        const int status = ReadByte(byte);
        if (status != kSuccess)
            return status;
        if (byte == kLineTerminator)
            return kSuccess;
        text.push_back(byte);
        if (++count >= capacity) {
            SkipToLineEnd();
            return kOverflow;
        }
    }
}

void Serial::SkipToLineEnd() {
    // Quietly: the overflow is the caller's news, and a rest that never comes is none.
    char byte = 0;
    std::size_t got = 0;
    while (ReadSome(&byte, 1, got, false) == kSuccess && byte != kLineTerminator) {
    }
}

int Serial::ReadLines(std::vector<std::string>& lines, int& count, std::string* shortTail) {
    if (shortTail)
        shortTail->clear();
    lines.clear();
    count = 0;
    std::string line;
    for (;;) {
        char byte = 0;
        const int status = ReadByte(byte);
        if (status != kSuccess)
            return status;
        if (byte == kLineSeparator) {
            lines.push_back(line);
            line.clear();
        } else if (byte == kTransferTerminator) {
            // A final piece without its line feed counts only from two characters on.
            if (line.size() >= 2)
                lines.push_back(line);
            else if (shortTail)
                *shortTail = line;
            return kSuccess;
        } else {
            line.push_back(byte);
            ++count;
            if (static_cast<int>(line.size()) >= kTextLineLength) {
                DrainTransfer();
                return kOverflow;
            }
        }
    }
}

void Serial::DrainTransfer() {
    char chunk[kStreamChunk];
    for (;;) {
        std::size_t got = 0;
        if (ReadSome(chunk, sizeof chunk, got) != kSuccess)
            return;
        const void* end = std::memchr(chunk, kTransferTerminator, got);
        if (end) {
            const auto* stop = static_cast<const char*>(end) + 1;
            m_pending.assign(stop, static_cast<std::size_t>(chunk + got - stop));
            return;
        }
    }
}

int Serial::ReadToStream(std::ostream& out, long long& count,
                         const std::function<void(long long)>& progress) {
    count = 0;
    long long threshold = kProgressStep;
    char chunk[kStreamChunk];
    for (;;) {
        std::size_t got = 0;
        const int status = ReadSome(chunk, sizeof chunk, got);
        if (status != kSuccess)
            return status;
        // Every byte before the end byte belongs to the file, whatever chunk it came in.
        const void* end = std::memchr(chunk, kTransferTerminator, got);
        const std::size_t keep =
            end ? static_cast<std::size_t>(static_cast<const char*>(end) - chunk) : got;
        if (keep > 0) {
            out.write(chunk, static_cast<std::streamsize>(keep));
            count += static_cast<long long>(keep);
            if (count >= threshold) {
                threshold += kProgressStep;
                if (progress)
                    progress(count);
            }
        }
        if (end) {
            m_pending.assign(chunk + keep + 1, got - keep - 1);
            return kSuccess;
        }
    }
}
