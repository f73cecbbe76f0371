#include "common/MessageLog.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<bool> g_created{false};
thread_local int t_muted = 0;
}  // namespace

MessageLog::ScopedMute::ScopedMute() { ++t_muted; }
MessageLog::ScopedMute::~ScopedMute() { --t_muted; }

MessageLog& MessageLog::Instance()
{
    static MessageLog* instance = [] {
        g_created = true;
        return new MessageLog();  // never destroyed: messages may come during shutdown
    }();
    return *instance;
}

bool MessageLog::Exists() { return g_created; }

void MessageLog::WriteMessage(const std::string& text)
{
    if (t_muted == 0)
        WriteNotice(text);
}

void MessageLog::WriteNotice(const std::string& text)
{
    Callback callback;
    CKelvastraDoc* document = nullptr;
    bool echo = true;
    {
        std::lock_guard lock(m_mutex);
        callback = m_callback;
        document = m_document;
        echo = m_echo;
    }
    if (callback)
        callback(text, document);
    if (echo) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

void MessageLog::Bind(Callback callback, CKelvastraDoc* document)
{
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
    m_document = m_callback ? document : nullptr;
}

void MessageLog::Unbind(CKelvastraDoc* document)
{
    std::lock_guard lock(m_mutex);
    if (m_document == document) {
        m_callback = nullptr;
        m_document = nullptr;
    }
}

bool MessageLog::IsBound() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<bool>(m_callback);
}

CKelvastraDoc* MessageLog::BoundDocument() const
{
    std::lock_guard lock(m_mutex);
    return m_document;
}

void MessageLog::SetEchoToStdout(bool echo)
{
    std::lock_guard lock(m_mutex);
    m_echo = echo;
}
