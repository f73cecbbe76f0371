// The byte channel under Serial: the platform port (QSerialPort) in the program, a scripted
// in-memory line in the tests. Serial keeps the status codes and log texts; a channel only moves
// bytes and reports which opening step failed with which platform error.
#pragma once

#include <cstddef>
#include <string>

// The steps of opening a port, in order. A channel that has no such step never fails it.
enum class OpenStep {
    OpenPath,      // open the device exclusively
    QueueSizes,    // driver queues
    Properties,    // port properties
    ReadSettings,  // current line settings
    WriteSettings, // baud rate, 8 data bits, no parity, one stop bit
    ReadTimeouts,  // current time-outs
    WriteTimeouts, // the chosen time-out policy
};

struct SerialSettings {
    int baudRate = 115200;
    bool assertDtr = false;
};

struct OpenFailure {
    OpenStep step = OpenStep::OpenPath;
    int errorNumber = 0;   // the platform's error number (errno on Linux)
    std::string errorText; // the platform's error text, when it has one
};

class ISerialChannel {
public:
    virtual ~ISerialChannel() = default;

    // Opens and configures the port. On failure fills `failure` and returns false; a port opened
    // before a later step failed is left open for the caller to Close.
    virtual bool Open(const std::string& portName, const SerialSettings& settings,
                      OpenFailure& failure) = 0;
    // Returns 0, or the platform's error number when closing failed.
    virtual int Close() = 0;
    // Writes and drains the bytes; returns the number written, or -1 on failure.
    virtual long long Write(const char* data, std::size_t length) = 0;
    // Waits up to `timeoutMs` for data (0: return at once) and reads at most `maxBytes`.
    // Returns the number read, 0 when nothing arrived in time, -1 when the read failed.
    virtual long long Read(char* buffer, std::size_t maxBytes, int timeoutMs) = 0;
    // Reads at most `maxBytes` of what has already arrived, without waiting for more: the number
    // read, 0 when nothing is waiting, -1 when the read failed.
    virtual long long ReadWaiting(char* buffer, std::size_t maxBytes) {
        return Read(buffer, maxBytes, 0);
    }
    // Drops every byte that has arrived and not been read, and what follows within `settleMs` of
    // it (a controller still sending); returns how many bytes were dropped.
    virtual std::size_t DiscardInput(int settleMs) {
        char chunk[256];
        std::size_t dropped = 0;
        for (int wait = 0;; wait = settleMs) {
            const long long n = Read(chunk, sizeof chunk, wait);
            if (n <= 0)
                return dropped;
            dropped += static_cast<std::size_t>(n);
        }
    }
    // The platform error of the last failed call.
    virtual int LastErrorNumber() const = 0;
    virtual std::string LastErrorText() const = 0;
};
