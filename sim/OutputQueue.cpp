#include "OutputQueue.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
// Burst allowance of the line rate: a few milliseconds' worth, so that pacing stays smooth
// whatever the event loop's period.
constexpr double kBurstMs = 4.0;
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
    m_credit = 0;
    m_creditMs = -1;
}

size_t OutputQueue::PendingBytes() const {
    size_t total = 0;
    for (const Item& item : m_items) {
        total += item.bytes.size();
    }
    return total;
}

double OutputQueue::NextDueMs(double nowMs) const {
    if (m_items.empty()) {
        return -1;
    }
    double due = std::max(nowMs, m_items.front().readyMs);
    if (m_baud > 0 && m_credit < 1.0) {
        double rate = m_baud / 10.0 / 1000.0; // bytes per ms
        due = std::max(due, nowMs + (1.0 - m_credit) / rate);
    }
    return due;
}

OutputQueue::Slice OutputQueue::Take(double nowMs) {
    Slice slice;
    if (m_baud > 0) {
        double rate = m_baud / 10.0 / 1000.0;
        double cap = std::max(1.0, rate * kBurstMs);
        if (m_creditMs < 0) {
            m_credit = cap;
        } else {
            m_credit = std::min(cap, m_credit + (nowMs - m_creditMs) * rate);
        }
        m_creditMs = nowMs;
    }
    if (m_items.empty() || m_items.front().readyMs > nowMs) {
        return slice;
    }
    Item& item = m_items.front();
    size_t count = item.bytes.size();
    if (m_baud > 0) {
        count = std::min(count, static_cast<size_t>(std::floor(m_credit)));
    }
    if (item.transfer && m_dropAfter) {
        count = std::min(count, static_cast<size_t>(std::max(0LL, *m_dropAfter)));
    }
    slice.bytes = item.bytes.substr(0, count);
    item.bytes.erase(0, count);
    if (m_baud > 0) {
        m_credit -= double(count);
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
    if (item.bytes.empty()) {
        m_items.pop_front();
    }
    return slice;
}

void OutputQueue::PutBack(std::string bytes) {
    if (bytes.empty()) {
        return;
    }
    if (m_baud > 0) {
        m_credit += double(bytes.size());
    }
    m_items.push_front({std::move(bytes), 0, false});
}

} // namespace sim
