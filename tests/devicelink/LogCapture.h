// Collects what the device link writes to the message log during one test, and keeps it off
// standard output.
#pragma once

#include "common/MessageLog.h"

#include <mutex>
#include <string>
#include <vector>

class LogCapture : private IMessageSink {
public:
    LogCapture() {
        MessageLog::Instance().SetEchoToStdout(false);
        MessageLog::Instance().Bind(this);
    }
    ~LogCapture() {
        MessageLog::Instance().Unbind(this);
        MessageLog::Instance().SetEchoToStdout(true);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    std::string Text() const {
        std::string all;
        for (const auto& message : Messages())
            all += message;
        return all;
    }
    void Clear() {
        std::lock_guard lock(m_mutex);
        m_messages.clear();
    }

private:
    void AppendLogMessage(const std::string& text) override {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(text);
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_messages;
};
