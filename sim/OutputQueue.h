// What the simulated controller has still to send, and when: reply latency, the pacing of an
// emulated line rate, the end byte held apart from its content, and a link that drops after a
// number of file-transfer bytes. Pure bookkeeping over a caller-supplied clock.
#pragma once

#include "Firmware.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace sim {

class OutputQueue {
public:
    // A terminal takes far less than this at once; larger slices would only be copied to be
    // put back.
    static constexpr size_t kMaxSlice = size_t{1} << 16;

    struct Slice {
        std::string bytes;
        bool dropAfter = false; // the link goes down once these bytes are out
    };

    // Queues one reply; its first chunk is held back by the latency.
    void Push(const std::vector<Chunk>& chunks, double nowMs);
    // Bytes written at once, outside the reply order's latency (garbage injection).
    void PushNow(std::string bytes, double nowMs);

    // The bytes that may be written now: at most one chunk, and no more than the line rate
    // allows since the last call.
    Slice Take(double nowMs);
    // Bytes that could not be written go back to the front.
    void PutBack(std::string bytes);

    bool Empty() const { return m_items.empty(); }
    size_t PendingBytes() const;
    // Emulated line: when `bytes` read from the program at `nowMs` have all come in, one byte
    // time each after the line was free (now when no line rate is set). Replies are queued from
    // then.
    double ReceivedMs(double nowMs, size_t bytes);
    // Time at which Take will next have something (now when it has; -1 when empty).
    double NextDueMs(double nowMs) const;
    void Clear() { m_items.clear(); }

    void SetLatencyMs(double ms) { m_latencyMs = ms < 0 ? 0 : ms; }
    double LatencyMs() const { return m_latencyMs; }
    // 0 sends as fast as the terminal takes it; otherwise 10 bit times per byte (8N1) in each
    // direction: a byte is handed over only once its line time has passed.
    void SetBaud(int baud);
    int Baud() const { return m_baud; }
    // Drop the link after `bytes` more bytes of file transfers; empty disarms.
    void ArmDrop(std::optional<long long> bytes) { m_dropAfter = bytes; }
    std::optional<long long> DropArmed() const { return m_dropAfter; }

private:
    struct Item {
        std::string bytes;
        double readyMs = 0;
        bool transfer = false;
        bool paced = false; // line time already spent (bytes the terminal did not take)
        size_t sent = 0;    // bytes already taken from the front
        size_t Left() const { return bytes.size() - sent; }
    };
    double ByteMs() const;
    double PacedStartMs(const Item& item) const;

    std::deque<Item> m_items;
    double m_latencyMs = 0;
    int m_baud = 0;
    double m_lineFreeMs = 0;  // the outgoing line has sent everything handed over by then
    double m_inputFreeMs = 0; // the incoming line has delivered everything read by then
    std::optional<long long> m_dropAfter;
};

} // namespace sim
