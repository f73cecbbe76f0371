// Replaying a serial traffic record (common/TrafficRecord.h): each command line the program
// sends is answered with the bytes recorded for it, as long as it is the command the record
// holds next. Anything else is answered "Error 1" and reported, and the record waits where it
// is, so a problem seen in a lab can be replayed at a desk.
#pragma once

#include "common/TrafficRecord.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Replay {
public:
    // Exchanges without sent bytes (what arrived before the first command) are left out.
    explicit Replay(const std::vector<TrafficExchange>& exchanges);

    // Bytes from the program; returns the reply bytes for the command lines completed.
    std::string Feed(std::string_view bytes);
    // One line per command answered "Error 1", drained by the caller.
    std::vector<std::string> TakeReports();
    // Drops a half-received line (the link went away).
    void ResetLine() { m_line.clear(); }

    std::size_t Answered() const { return m_next; }
    std::size_t Total() const { return m_exchanges.size(); }

private:
    std::vector<TrafficExchange> m_exchanges;
    std::size_t m_next = 0;
    std::string m_line;
    std::vector<std::string> m_reports;
};

} // namespace sim
