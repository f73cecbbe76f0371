#include "common/MessageLog.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> g_created{false};
thread_local int t_muted = 0;
} // namespace

MessageLog::ScopedMute::ScopedMute() {
    ++t_muted;
}
MessageLog::ScopedMute::~ScopedMute() {
    --t_muted;
}

MessageLog& MessageLog::Instance() {
    static MessageLog* instance = [] {
        g_created = true;
        return new MessageLog(); // never destroyed: messages may come during shutdown
    }();
    return *instance;
}

bool MessageLog::Exists() {
    return g_created;
}

void MessageLog::WriteMessage(const std::string& text) {
    if (t_muted == 0)
        WriteNotice(text);
}

void MessageLog::WriteNotice(const std::string& text) {
    IMessageSink* sink = nullptr;
    bool echo = true;
    {
        std::lock_guard lock(m_mutex);
        sink = m_sink;
        echo = m_echo;
    }
    if (sink)
        sink->AppendLogMessage(text);
    if (echo) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

void MessageLog::Bind(IMessageSink* sink) {
    std::lock_guard lock(m_mutex);
    m_sink = sink;
}

void MessageLog::Unbind(IMessageSink* sink) {
    std::lock_guard lock(m_mutex);
    if (m_sink == sink)
        m_sink = nullptr;
}

bool MessageLog::IsBound() const {
    std::lock_guard lock(m_mutex);
    return m_sink != nullptr;
}

void MessageLog::SetEchoToStdout(bool echo) {
    std::lock_guard lock(m_mutex);
    m_echo = echo;
}
