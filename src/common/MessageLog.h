// The device link's one reporting channel: every message goes to the bound user-interface
// callback (the sequence view's message area) and to standard output.
#pragma once

#include <functional>
#include <mutex>
#include <string>

class CKelvastraDoc;

class MessageLog {
public:
    using Callback = std::function<void(const std::string& text, CKelvastraDoc* document)>;

    // The process-wide instance, created on first use (without callback) and never destroyed.
    static MessageLog& Instance();
    // True once Instance() has been called.
    static bool Exists();

    void WriteMessage(const std::string& text);
    // The same, even on a muted thread: news that must not be lost while a quiet stretch runs.
    void WriteNotice(const std::string& text);

    // Binds the callback and its document; an empty callback unbinds.
    void Bind(Callback callback, CKelvastraDoc* document);
    // Unbinds only when `document` is the one bound, so a closing document cannot be reached.
    void Unbind(CKelvastraDoc* document);
    bool IsBound() const;
    CKelvastraDoc* BoundDocument() const;

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
    Callback m_callback;
    CKelvastraDoc* m_document = nullptr;
    bool m_echo = true;
};
