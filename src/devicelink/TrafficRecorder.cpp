#include "devicelink/TrafficRecorder.h"

#include "common/MessageLog.h"
#include "common/TrafficRecord.h"

namespace {

constexpr std::size_t kReceivedLine = 64;

bool EndsReceivedLine(char c) {
    return c == '\r' || c == '\n' || c == 0x17;
}

} // namespace

TrafficRecorder::~TrafficRecorder() {
    Stop();
}

template <class Body> void TrafficRecorder::WithFile(Body body) {
    if (!m_active.load(std::memory_order_relaxed))
        return;
    std::string failure;
    std::function<void(const std::string&)> notice;
    {
        std::lock_guard lock(m_mutex);
        if (!m_file.IsOpen())
            return;
        body();
        failure.swap(m_failure);
        notice = m_stopNotice;
    }
    // Said outside the lock: the message log may wait for the window that shows it. Said even
    // on a muted thread: a record that ends early must not pass for a whole one.
    if (failure.empty())
        return;
    const std::string text = "Serial traffic record stopped: " + failure + "\n";
    if (notice)
        notice(text);
    else
        MessageLog::Instance().WriteNotice(text);
}

void TrafficRecorder::SetStopNotice(std::function<void(const std::string& text)> notice) {
    std::lock_guard lock(m_mutex);
    m_stopNotice = std::move(notice);
}

TrafficRecorder& TrafficRecorder::Shared() {
    static TrafficRecorder recorder;
    return recorder;
}

bool TrafficRecorder::Start(const std::string& path, std::string& error) {
    Stop();
    // The record is a log that grows as the traffic goes, so it is the one file not written
    // through AtomicFile: it is appended to in place. It is never opened through a link that
    // was planted where it should be, never anything but a plain file (a FIFO would block the
    // line), and readable by its owner only, since it carries the protocols sent to the card.
    // A record made before, or by another program, is closed to others before this session's
    // traffic goes in.
    std::lock_guard lock(m_mutex);
    if (!m_file.Open(platform::PathFromUtf8(path), error)) {
        error = "cannot write " + path + ": " + error;
        return false;
    }
    m_start = std::chrono::steady_clock::now();
    m_exchange = 0;
    m_received.clear();
    m_active = true;
    Append(TrafficSessionHeader());
    if (!m_file.IsOpen()) {
        error = "cannot write " + path + ": " + m_failure;
        m_failure.clear();
        return false;
    }
    return true;
}

void TrafficRecorder::Stop() {
    WithFile([&] {
        FlushReceived();
        CloseFile();
    });
}

bool TrafficRecorder::IsRecording() const {
    std::lock_guard lock(m_mutex);
    return m_file.IsOpen();
}

uint64_t TrafficRecorder::Now() const {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - m_start)
                                     .count());
}

void TrafficRecorder::Sent(const char* data, std::size_t length) {
    WithFile([&] {
        FlushReceived();
        ++m_exchange;
        Append(TrafficLine(Now(), '>', m_exchange, std::string_view(data, length)));
    });
}

void TrafficRecorder::Received(const char* data, std::size_t length) {
    WithFile([&] {
        for (std::size_t i = 0; i < length && m_file.IsOpen(); ++i) {
            if (m_received.empty())
                m_receivedAt = Now();
            m_received += data[i];
            if (EndsReceivedLine(data[i]) || m_received.size() >= kReceivedLine)
                FlushReceived();
        }
    });
}

void TrafficRecorder::Event(const char* what) {
    WithFile([&] {
        FlushReceived();
        Append(TrafficLine(Now(), '!', m_exchange, what));
    });
}

void TrafficRecorder::FlushReceived() {
    if (!m_file.IsOpen() || m_received.empty())
        return;
    Append(TrafficLine(m_receivedAt, '<', m_exchange, m_received));
    m_received.clear();
}

void TrafficRecorder::Append(const std::string& line) {
    // Each line goes out at once, so a crash loses at most the line being gathered; a line
    // that fails is taken back whole, so that the record ends with a whole line.
    if (!m_file.Append(line, m_failure))
        CloseFile();
}

void TrafficRecorder::CloseFile() {
    m_file.Close();
    m_active = false;
    m_received.clear();
}

RecordingChannel::RecordingChannel(std::unique_ptr<ISerialChannel> inner, TrafficRecorder& recorder)
    : m_inner(std::move(inner)), m_recorder(recorder) {}

bool RecordingChannel::Open(const std::string& portName, const SerialSettings& settings,
                            OpenFailure& failure) {
    const bool opened = m_inner->Open(portName, settings, failure);
    m_recorder.Event(opened ? "open" : "open failed");
    return opened;
}

int RecordingChannel::Close() {
    m_recorder.Event("close");
    return m_inner->Close();
}

long long RecordingChannel::Write(const char* data, std::size_t length) {
    const long long written = m_inner->Write(data, length);
    if (written < 0)
        m_recorder.Event("write failed");
    else
        m_recorder.Sent(data, static_cast<std::size_t>(written));
    return written;
}

long long RecordingChannel::Read(char* buffer, std::size_t maxBytes, int timeoutMs) {
    const long long got = m_inner->Read(buffer, maxBytes, timeoutMs);
    if (got > 0)
        m_recorder.Received(buffer, static_cast<std::size_t>(got));
    else
        m_recorder.Event(got == 0 ? "timeout" : "read failed");
    return got;
}

long long RecordingChannel::ReadWaiting(char* buffer, std::size_t maxBytes) {
    const long long got = m_inner->ReadWaiting(buffer, maxBytes);
    if (got > 0)
        m_recorder.Received(buffer, static_cast<std::size_t>(got));
    else if (got < 0)
        m_recorder.Event("read failed");
    return got;
}

std::size_t RecordingChannel::DiscardInput(int settleMs) {
    const std::size_t dropped = m_inner->DiscardInput(settleMs);
    if (dropped > 0)
        m_recorder.Event(("discarded " + std::to_string(dropped) + " waiting bytes").c_str());
    return dropped;
}
