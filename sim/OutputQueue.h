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
    // Time at which Take will next have something (now when it has; -1 when empty).
    double NextDueMs(double nowMs) const;
    void Clear() { m_items.clear(); }

    void SetLatencyMs(double ms) { m_latencyMs = ms < 0 ? 0 : ms; }
    double LatencyMs() const { return m_latencyMs; }
    // 0 sends as fast as the terminal takes it; otherwise 10 bit times per byte (8N1).
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
    };
    std::deque<Item> m_items;
    double m_latencyMs = 0;
    int m_baud = 0;
    double m_credit = 0;
    double m_creditMs = -1;
    std::optional<long long> m_dropAfter;
};

} // namespace sim
