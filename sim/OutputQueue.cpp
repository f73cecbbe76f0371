#include "OutputQueue.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
// Paced bytes go out in pieces of this many (about 1.4 ms at 115200 baud) or the rest of a
// reply, whichever is smaller, so that a long transfer does not wake the loop for every byte.
constexpr size_t kPacedPiece = 16;
} // namespace

void OutputQueue::Push(const std::vector<Chunk>& chunks, double nowMs) {
    double ready = nowMs + m_latencyMs;
    if (!m_items.empty()) {
        ready = std::max(ready, m_items.back().readyMs);
    }
    for (const Chunk& chunk : chunks) {
        ready += chunk.delayMs;
        m_items.push_back({chunk.bytes, ready, chunk.transfer});
    }
}

void OutputQueue::PushNow(std::string bytes, double nowMs) {
    m_items.push_back({std::move(bytes), nowMs, false});
}

void OutputQueue::SetBaud(int baud) {
    m_baud = baud > 0 ? baud : 0;
    m_lineFreeMs = 0;
    m_inputFreeMs = 0;
}

double OutputQueue::ByteMs() const {
    return 10.0 * 1000.0 / m_baud; // 8N1: ten bit times
}

double OutputQueue::ReceivedMs(double nowMs, size_t bytes) {
    if (m_baud == 0) {
        return nowMs;
    }
    m_inputFreeMs = std::max(nowMs, m_inputFreeMs) + double(bytes) * ByteMs();
    return m_inputFreeMs;
}

double OutputQueue::PacedStartMs(const Item& item) const {
    return std::max(item.readyMs, m_lineFreeMs);
}

size_t OutputQueue::PendingBytes() const {
    size_t total = 0;
    for (const Item& item : m_items) {
        total += item.Left();
    }
    return total;
}

double OutputQueue::NextDueMs(double nowMs) const {
    if (m_items.empty()) {
        return -1;
    }
    const Item& item = m_items.front();
    double due = std::max(nowMs, item.readyMs);
    if (m_baud > 0 && !item.paced) {
        const size_t piece = std::min(item.Left(), kPacedPiece);
        due = std::max(due, PacedStartMs(item) + double(piece) * ByteMs());
    }
    return due;
}

OutputQueue::Slice OutputQueue::Take(double nowMs) {
    Slice slice;
    if (m_items.empty() || m_items.front().readyMs > nowMs) {
        return slice;
    }
    Item& item = m_items.front();
    size_t count = std::min(item.Left(), kMaxSlice);
    const bool paced = m_baud > 0 && !item.paced;
    double start = 0;
    if (paced) {
        // A byte reaches the other end one byte time after the line has finished the one
        // before; the line never banks idle time, so short replies pay their full line time.
        start = PacedStartMs(item);
        const double arrived = std::floor((nowMs - start) / ByteMs() + 1e-9);
        const size_t done = arrived <= 0 ? 0 : static_cast<size_t>(std::min(arrived, 1e12));
        if (done < std::min(count, kPacedPiece)) {
            return slice;
        }
        count = std::min(count, done);
    }
    if (item.transfer && m_dropAfter) {
        count = std::min(count, static_cast<size_t>(std::max(0LL, *m_dropAfter)));
    }
    slice.bytes = item.bytes.substr(item.sent, count);
    item.sent += count;
    if (paced) {
        m_lineFreeMs = start + double(count) * ByteMs();
    }
    if (item.transfer && m_dropAfter) {
        *m_dropAfter -= static_cast<long long>(count);
        if (*m_dropAfter <= 0) {
            slice.dropAfter = true;
            m_dropAfter.reset();
            m_items.clear();
            return slice;
        }
    }
    if (item.Left() == 0) {
        m_items.pop_front();
    }
    return slice;
}

void OutputQueue::PutBack(std::string bytes) {
    if (bytes.empty()) {
        return;
    }
    // These bytes have had their line time already.
    m_items.push_front({std::move(bytes), 0, false, true, 0});
}

} // namespace sim
