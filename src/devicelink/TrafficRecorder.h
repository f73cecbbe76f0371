// The serial traffic record (format in common/TrafficRecord.h): every byte sent and received on
// the controller's line, with a monotonic time stamp, its direction and the exchange it belongs
// to. RecordingChannel sits between Serial and the platform channel, so nothing above the byte
// pipe needs to know whether a record is being made. The record holds the traffic only: no port
// name, no settings, no paths.
#pragma once

#include "common/platform/Files.h"
#include "devicelink/SerialChannel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class TrafficRecorder {
public:
    TrafficRecorder() = default;
    ~TrafficRecorder();
    TrafficRecorder(const TrafficRecorder&) = delete;
    TrafficRecorder& operator=(const TrafficRecorder&) = delete;

    // The one the platform serial ports record into (the desktop setting and --trace).
    static TrafficRecorder& Shared();

    // Appends a new session to `path` (created when missing, made readable by its owner only
    // when it exists). False with `error` set when the file cannot be opened for appending; a
    // running recording is stopped first either way.
    bool Start(const std::string& path, std::string& error);
    // Where "Serial traffic record stopped: <reason>" goes when a write fails (a full disk):
    // the message log by default, even while it is muted; the command-line program's standard
    // error. The record then ends with its last complete line.
    void SetStopNotice(std::function<void(const std::string& text)> notice);
    void Stop();
    bool IsRecording() const;

    // What the channel saw. Received bytes are gathered into lines that end after a carriage
    // return, a line feed, the end byte 0x17, 64 bytes, or when the next write begins.
    void Sent(const char* data, std::size_t length);
    void Received(const char* data, std::size_t length);
    void Event(const char* what);

private:
    // Runs `body` under the lock while a file is open; reports a write failure afterwards.
    template <class Body> void WithFile(Body body);
    uint64_t Now() const;
    void FlushReceived();
    void Append(const std::string& line);
    void CloseFile();

    mutable std::mutex m_mutex;
    std::atomic<bool> m_active{false}; // spares the lock on every byte while not recording
    platform::AppendFile m_file;
    std::string m_failure;
    std::function<void(const std::string&)> m_stopNotice;
    std::chrono::steady_clock::time_point m_start;
    uint64_t m_exchange = 0;
    std::string m_received;
    uint64_t m_receivedAt = 0;
};

// Passes everything to the inner channel and tells the recorder what went over the line.
class RecordingChannel : public ISerialChannel {
public:
    RecordingChannel(std::unique_ptr<ISerialChannel> inner, TrafficRecorder& recorder);

    bool Open(const std::string& portName, const SerialSettings& settings,
              OpenFailure& failure) override;
    int Close() override;
    long long Write(const char* data, std::size_t length) override;
    long long Read(char* buffer, std::size_t maxBytes, int timeoutMs) override;
    // Bytes found waiting are recorded as received; finding none is no time-out.
    long long ReadWaiting(char* buffer, std::size_t maxBytes) override;
    std::size_t DiscardInput(int settleMs) override;
    int LastErrorNumber() const override { return m_inner->LastErrorNumber(); }
    std::string LastErrorText() const override { return m_inner->LastErrorText(); }

    ISerialChannel& Inner() { return *m_inner; }

private:
    std::unique_ptr<ISerialChannel> m_inner;
    TrafficRecorder& m_recorder;
};
