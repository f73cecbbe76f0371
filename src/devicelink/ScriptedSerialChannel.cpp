#include "devicelink/ScriptedSerialChannel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

void ScriptedSerialChannel::Receive(const std::string& bytes) {
    if (!bytes.empty())
        m_incoming.push_back({Kind::Bytes, bytes});
}

void ScriptedSerialChannel::ReceiveWaiting(const std::string& bytes) {
    if (!bytes.empty())
        m_incoming.push_back({Kind::Bytes, bytes, true});
}

void ScriptedSerialChannel::MarkArrived() {
    for (Piece& piece : m_incoming)
        piece.waiting = piece.kind == Kind::Bytes;
}

void ScriptedSerialChannel::ReceiveTimeout() {
    m_incoming.push_back({Kind::Timeout, {}});
}

void ScriptedSerialChannel::ReceiveFailure() {
    m_incoming.push_back({Kind::Failure, {}});
}

void ScriptedSerialChannel::FailOpenAt(OpenStep step, int errorNumber, std::string errorText) {
    m_openFailure = OpenFailure{step, errorNumber, std::move(errorText)};
}

void ScriptedSerialChannel::ClearWritten() {
    m_written.clear();
    m_writes.clear();
}

bool ScriptedSerialChannel::Open(const std::string& portName, const SerialSettings& settings,
                                 OpenFailure& failure) {
    m_portName = portName;
    m_settings = settings;
    if (m_openFailure) {
        failure = *m_openFailure;
        m_openFailure.reset(); // one attempt fails; the next may succeed
        m_lastError = failure.errorNumber;
        m_lastErrorText = failure.errorText;
        // The path itself opened when a later step is the one that fails.
        if (failure.step != OpenStep::OpenPath) {
            m_open = true;
            ++m_openCount;
        }
        return false;
    }
    if (m_open) {
        // A second open of an exclusively held port.
        failure = OpenFailure{OpenStep::OpenPath, EBUSY, std::strerror(EBUSY)};
        m_lastError = EBUSY;
        return false;
    }
    m_open = true;
    ++m_openCount;
    return true;
}

int ScriptedSerialChannel::Close() {
    if (m_closeError != 0) {
        m_lastError = m_closeError;
        return m_closeError;
    }
    if (m_open)
        ++m_closeCount;
    m_open = false;
    return 0;
}

long long ScriptedSerialChannel::Write(const char* data, std::size_t length) {
    if (m_writeFailure != 0) {
        m_lastError = m_writeFailure;
        m_lastErrorText = std::strerror(m_writeFailure);
        m_writeFailure = 0;
        return -1;
    }
    std::size_t accepted = length;
    if (m_shortWrite) {
        accepted = std::min(length, *m_shortWrite);
        m_shortWrite.reset();
    }
    std::string bytes(data, accepted);
    m_written += bytes;
    m_writes.push_back(bytes);
    if (m_responder)
        m_responder(*this, bytes);
    return static_cast<long long>(accepted);
}

long long ScriptedSerialChannel::Read(char* buffer, std::size_t maxBytes, int timeoutMs) {
    m_readTimeouts.push_back(timeoutMs);
    if (m_incoming.empty())
        return 0; // the line is silent: the wait runs out
    Piece& piece = m_incoming.front();
    if (piece.kind == Kind::Timeout) {
        m_incoming.pop_front();
        return 0;
    }
    if (piece.kind == Kind::Failure) {
        m_incoming.pop_front();
        m_lastError = EIO;
        m_lastErrorText = std::strerror(EIO);
        return -1;
    }
    return TakeBytes(piece, buffer, maxBytes);
}

long long ScriptedSerialChannel::ReadWaiting(char* buffer, std::size_t maxBytes) {
    ++m_waitingReads;
    if (m_incoming.empty() || !m_incoming.front().waiting)
        return 0;
    return TakeBytes(m_incoming.front(), buffer, maxBytes);
}

long long ScriptedSerialChannel::TakeBytes(Piece& piece, char* buffer, std::size_t maxBytes) {
    std::size_t n = std::min(maxBytes, piece.bytes.size());
    std::memcpy(buffer, piece.bytes.data(), n);
    piece.bytes.erase(0, n);
    if (piece.bytes.empty())
        m_incoming.pop_front();
    return static_cast<long long>(n);
}

std::size_t ScriptedSerialChannel::DiscardInput(int settleMs) {
    (void)settleMs;
    std::size_t dropped = 0;
    for (const Piece& piece : m_incoming)
        dropped += piece.bytes.size();
    m_incoming.clear();
    return dropped;
}
