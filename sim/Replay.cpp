#include "Replay.h"

namespace sim {

namespace {

constexpr std::size_t kShownBytes = 80;

std::string Shown(const std::string& bytes) {
    return "\"" + EscapeTrafficBytes(bytes.substr(0, kShownBytes)) +
           (bytes.size() > kShownBytes ? "...\"" : "\"");
}

} // namespace

Replay::Replay(const std::vector<TrafficExchange>& exchanges) {
    for (const TrafficExchange& exchange : exchanges) {
        if (!exchange.sent.empty())
            m_exchanges.push_back(exchange);
    }
}

std::string Replay::Feed(std::string_view bytes) {
    std::string reply;
    for (char c : bytes) {
        m_line += c;
        if (c != '\r')
            continue;
        if (m_next < m_exchanges.size() && m_exchanges[m_next].sent == m_line) {
            reply += m_exchanges[m_next++].received;
        } else {
            reply += "Error 1\r";
            m_reports.push_back("replay: " + Shown(m_line) + " answered Error 1: " +
                                (m_next < m_exchanges.size()
                                     ? "the record holds " + Shown(m_exchanges[m_next].sent) +
                                           " next (exchange " +
                                           std::to_string(m_exchanges[m_next].number) + ")"
                                     : "the record has ended"));
        }
        m_line.clear();
    }
    return reply;
}

std::vector<std::string> Replay::TakeReports() {
    std::vector<std::string> reports;
    reports.swap(m_reports);
    return reports;
}

} // namespace sim
