// An in-memory serial line for tests: the bytes the controller would send are queued as pieces
// (each piece arrives as one platform read at most), with time-outs and read failures in between;
// everything written is recorded. A responder can answer writes as they happen.
#pragma once

#include "devicelink/SerialChannel.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class ScriptedSerialChannel : public ISerialChannel {
public:
    // Called after every successful write with the bytes just written.
    using Responder =
        std::function<void(ScriptedSerialChannel& channel, const std::string& written)>;

    // Queues bytes that arrive as one piece (a read never returns bytes of two pieces).
    void Receive(const std::string& bytes);
    // Queues bytes that are already waiting when the next exchange begins (a late reply, a line
    // nobody asked for): reads take them in turn like any other, and ReadWaiting finds them.
    void ReceiveWaiting(const std::string& bytes);
    // Everything queued so far has arrived (a reply behind a line read first).
    void MarkArrived();
    // Queues a read that returns nothing (a time-out).
    void ReceiveTimeout();
    // Queues a read call that fails.
    void ReceiveFailure();
    void SetResponder(Responder responder) { m_responder = std::move(responder); }

    // Makes the given opening step of the next open fail with `errorNumber`.
    void FailOpenAt(OpenStep step, int errorNumber, std::string errorText = {});
    void FailClose(int errorNumber) { m_closeError = errorNumber; }
    // Makes the next write fail, or write only `accepted` bytes of it.
    void FailNextWrite(int errorNumber) { m_writeFailure = errorNumber; }
    void ShortenNextWrite(std::size_t accepted) { m_shortWrite = accepted; }

    const std::string& Written() const { return m_written; }
    const std::vector<std::string>& Writes() const { return m_writes; }
    void ClearWritten();
    std::size_t PendingPieces() const { return m_incoming.size(); }

    bool IsOpen() const { return m_open; }
    int OpenCount() const { return m_openCount; }
    int CloseCount() const { return m_closeCount; }
    const std::string& PortName() const { return m_portName; }
    const SerialSettings& Settings() const { return m_settings; }
    // Time-out of every read call, in order.
    const std::vector<int>& ReadTimeouts() const { return m_readTimeouts; }
    int ReadCalls() const { return static_cast<int>(m_readTimeouts.size()); }
    int WaitingReadCalls() const { return m_waitingReads; }

    bool Open(const std::string& portName, const SerialSettings& settings,
              OpenFailure& failure) override;
    int Close() override;
    long long Write(const char* data, std::size_t length) override;
    long long Read(char* buffer, std::size_t maxBytes, int timeoutMs) override;
    // Only pieces queued with ReceiveWaiting have arrived before they are read.
    long long ReadWaiting(char* buffer, std::size_t maxBytes) override;
    // Everything queued so far has arrived: it is all dropped, time-outs and failures included.
    std::size_t DiscardInput(int settleMs) override;
    int LastErrorNumber() const override { return m_lastError; }
    std::string LastErrorText() const override { return m_lastErrorText; }

private:
    enum class Kind { Bytes, Timeout, Failure };
    struct Piece {
        Kind kind;
        std::string bytes;
        bool waiting = false;
    };
    long long TakeBytes(Piece& piece, char* buffer, std::size_t maxBytes);

    std::deque<Piece> m_incoming;
    Responder m_responder;
    std::string m_written;
    std::vector<std::string> m_writes;
    std::optional<OpenFailure> m_openFailure;
    int m_closeError = 0;
    int m_writeFailure = 0;
    std::optional<std::size_t> m_shortWrite;
    bool m_open = false;
    int m_openCount = 0;
    int m_closeCount = 0;
    std::string m_portName;
    SerialSettings m_settings;
    std::vector<int> m_readTimeouts;
    int m_waitingReads = 0;
    int m_lastError = 0;
    std::string m_lastErrorText;
};
