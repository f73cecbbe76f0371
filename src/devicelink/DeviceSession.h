// The controller opened for one command of a tool (the command-line program): the given port or
// the one discovery finds, connected as the desktop program connects, the fitted hardware
// included. What the link writes to the message log is kept, not echoed, so the tool can show
// it when something fails.
#pragma once

#include "common/MessageLog.h"
#include "devicelink/Controller.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class DeviceSession : private IMessageSink {
public:
    explicit DeviceSession(std::unique_ptr<ISerialChannel> channel = nullptr);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Uses `port` when it is not empty, else discovery (virtual ports included), then connects.
    // False with a one-line reason in `error` when no controller can be reached.
    bool Open(const std::string& port, std::string& error);
    // The port half of Open, for a tool that connects `controller` its own way (the document's
    // link set-up): `port` when it is not empty, else the controller discovery finds with the
    // chosen serial number, else the only one present. False with the reason in `error` when
    // there is none, the chosen one is absent, or several are present and none was chosen.
    static bool ChoosePort(Controller& controller, const std::string& port, std::string& error);
    // The serial number ChoosePort looks for (the command line's --serial); empty: none chosen.
    static void SetChosenSerial(const std::string& serialNumber);
    Controller& GetController() { return m_controller; }
    // A port was given or discovery found one (whether or not the connect then succeeded).
    bool Found() const { return m_found; }

    // The message log text written since the session began, or since the last MarkLog.
    std::string LogText() const;
    std::string LogSinceMark() const;
    void MarkLog();

private:
    void AppendLogMessage(const std::string& text) override;

    Controller m_controller;
    mutable std::mutex m_mutex;
    std::string m_log;
    std::size_t m_mark = 0;
    bool m_found = false;
};
