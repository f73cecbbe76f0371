// The platform serial port: QSerialPort, created when the port opens (on the opening thread,
// which then owns it) and deleted when it closes.
#pragma once

#include "devicelink/SerialChannel.h"

#include <memory>

class QSerialPort;

class QtSerialChannel : public ISerialChannel {
public:
    QtSerialChannel();
    ~QtSerialChannel() override;
    QtSerialChannel(const QtSerialChannel&) = delete;
    QtSerialChannel& operator=(const QtSerialChannel&) = delete;

    bool Open(const std::string& portName, const SerialSettings& settings,
              OpenFailure& failure) override;
    int Close() override;
    long long Write(const char* data, std::size_t length) override;
    long long Read(char* buffer, std::size_t maxBytes, int timeoutMs) override;
    int LastErrorNumber() const override { return m_lastError; }
    std::string LastErrorText() const override { return m_lastErrorText; }

private:
    void Fail(int errorNumber);

    std::unique_ptr<QSerialPort> m_port;
    int m_lastError = 0;
    std::string m_lastErrorText;
};
