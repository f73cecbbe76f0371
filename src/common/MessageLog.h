// The device link's one reporting channel: every message goes to the bound sink (the sequence
// view's message area, or a tool's record of the session) and to standard output.
#pragma once

#include <mutex>
#include <string>

// Whoever shows or keeps the log's messages. Called on the thread that writes the message.
class IMessageSink {
public:
    virtual void AppendLogMessage(const std::string& text) = 0;

protected:
    ~IMessageSink() = default;
};

class MessageLog {
public:
    // The process-wide instance, created on first use (without callback) and never destroyed.
    static MessageLog& Instance();
    // True once Instance() has been called.
    static bool Exists();

    void WriteMessage(const std::string& text);
    // The same, even on a muted thread: news that must not be lost while a quiet stretch runs.
    void WriteNotice(const std::string& text);

    // Binds the sink, replacing any other; null unbinds.
    void Bind(IMessageSink* sink);
    // Unbinds only when `sink` is the one bound, so a sink that goes away cannot be reached and
    // leaves a later one bound.
    void Unbind(IMessageSink* sink);
    bool IsBound() const;

    // Standard output can be silenced (tests, or a CLI that prints its own way).
    void SetEchoToStdout(bool echo);

    // While one lives, messages written on its thread go nowhere: a retry that would repeat
    // the same complaint every second stays quiet.
    class ScopedMute {
    public:
        ScopedMute();
        ~ScopedMute();
        ScopedMute(const ScopedMute&) = delete;
        ScopedMute& operator=(const ScopedMute&) = delete;
    };

private:
    MessageLog() = default;

    mutable std::mutex m_mutex;
    IMessageSink* m_sink = nullptr;
    bool m_echo = true;
};
