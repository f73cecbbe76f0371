// The byte pipe to the controller: one exclusively opened serial port, 8 data bits, no parity,
// one stop bit, and three reads that differ in how a reply ends (a carriage-return line, lines
// up to the transfer end byte, a raw byte stream up to the end byte). Every operation returns a
// status code; platform failures and read time-outs also go to the message log.
#pragma once

#include "devicelink/SerialChannel.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class Serial {
public:
    // Status codes, one space for every operation.
    static constexpr int kSuccess = 0;
    static constexpr int kNotOpen = 1;
    static constexpr int kSystemFailure = 2;
    static constexpr int kTimeoutSetupFailure = 3;
    static constexpr int kWriteFailure = 4;
    static constexpr int kReadFailure = 16;
    static constexpr int kTimedOut = 32;
    static constexpr int kOverflow = 64;

    static constexpr char kLineTerminator = 0x0D;
    static constexpr char kLineSeparator = 0x0A;
    static constexpr char kTransferTerminator = 0x17;
    static constexpr int kTextLineLength = 80;
    static constexpr int kStreamChunk = 128;
    static constexpr int kProgressStep = 1000;

    // Read waits of the three policies, in milliseconds.
    static constexpr int kLongTimeoutMs = 20000;
    static constexpr int kShortTimeoutMs = 500;
    // Bytes found waiting at open are dropped together with whatever follows them this soon.
    static constexpr int kDiscardSettleMs = 50;
    // DropWaiting stops after this many bytes: a line that never falls quiet is not drained.
    static constexpr std::size_t kMaxDropped = 1 << 16;

    // Without a channel the platform port is used, recorded while the shared traffic recorder
    // runs.
    explicit Serial(std::unique_ptr<ISerialChannel> channel = nullptr);
    // Destroying the object does not close the port through Close (the channel goes with it).
    virtual ~Serial();
    Serial(const Serial&) = delete;
    Serial& operator=(const Serial&) = delete;

    int Open(const std::string& portName, bool assertDtr, bool nonBlocking, bool fastDefault,
             bool longTimeout, int baudRate);
    int Close();
    int Write(const char* data, std::size_t length);
    int Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }

    // One reply ended by a carriage return (not stored). At most `capacity` characters fit: a
    // reply that fills them without a carriage return gives 64, and the rest of it, up to its
    // carriage return, is read and dropped so that the next reply is read whole.
    int ReadLine(std::string& text, int capacity, int& count);
    // Line-feed-separated lines up to the end byte 0x17; `count` counts the stored characters.
    // A final piece of one character is not a line; `shortTail` receives it if wanted.
    int ReadLines(std::vector<std::string>& lines, int& count, std::string* shortTail = nullptr);
    // Raw bytes up to the end byte 0x17 (not written); `progress` gets the running total each
    // time it reaches another 1000 bytes, at most once per chunk.
    int ReadToStream(std::ostream& out, long long& count,
                     const std::function<void(long long)>& progress = {});

    // Reads and drops what has arrived and not been read (bytes left behind an end byte
    // included), without waiting for more: a late reply or a line nobody asked for must not be
    // read as the reply to the next command. Returns the bytes dropped.
    std::string DropWaiting();

    bool IsOpen() const { return m_open; }
    // The read wait of the policy chosen at open; tests and tools may shorten it.
    int ReadTimeoutMs() const { return m_readTimeoutMs; }
    void SetReadTimeoutMs(int timeoutMs) { m_readTimeoutMs = timeoutMs; }
    // The wait of the long policy for later opens (20 s unless changed), for tests and tools that
    // must not wait that long for a silent controller; the default one sets it for every port
    // made afterwards.
    void SetLongTimeoutMs(int timeoutMs) { m_longTimeoutMs = timeoutMs; }
    static void SetDefaultLongTimeoutMs(int timeoutMs);
    // The baud rate of the last open.
    int BaudRate() const { return m_baudRate; }
    ISerialChannel& Channel() { return *m_channel; }

private:
    // Reads at most `maxBytes`, bytes kept from an earlier stream read first. Status 0, 16 or
    // 32 (logged).
    int ReadSome(char* buffer, std::size_t maxBytes, std::size_t& got, bool logTimeout = true);
    int ReadByte(char& byte);
    // After an overlong text line, reads on to the end byte so that the next exchange starts on
    // a clean line.
    void DrainTransfer();

    std::unique_ptr<ISerialChannel> m_channel;
    // Reads and drops bytes up to and including the next carriage return (or a silent line).
    void SkipToLineEnd();

    bool m_open = false;
    int m_readTimeoutMs = kShortTimeoutMs;
    int m_longTimeoutMs;
    int m_baudRate = 0;
    // Bytes that arrived after an end byte in the same chunk: the next exchange's.
    std::string m_pending;
};
