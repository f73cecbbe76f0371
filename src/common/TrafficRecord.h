// The serial traffic record: a line-based text that a person can read and the simulator can
// replay. After a header, every line is
//
//     SECONDS DIRECTION EXCHANGE BYTES
//
// SECONDS since recording began (monotonic clock, six decimals); DIRECTION ">" for bytes sent to
// the controller, "<" for bytes received from it, "!" for a link event (open, close, timeout,
// read failed, write failed, open failed); EXCHANGE the number of the command the bytes belong
// to (every write starts the next exchange; 0 before the first one). BYTES are printable ASCII as
// they are, with "\\" for a backslash, "\r", "\n", "\t", and "\xHH" for any other byte (and for
// a blank at the end of a line). Lines starting with "#" are comments; each recording session
// starts with the header line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* kTrafficRecordHeader = "# kelvastra serial traffic record 1";

std::string EscapeTrafficBytes(std::string_view bytes);
// False when `text` holds an unknown or cut-off escape.
bool UnescapeTrafficBytes(std::string_view text, std::string& bytes);

// One record line, line feed included. `payload` is escaped for ">" and "<", written as it is
// for "!".
std::string TrafficLine(uint64_t microseconds, char direction, uint64_t exchange,
                        std::string_view payload);
// The header and the legend that start every recording session.
std::string TrafficSessionHeader();

// One exchange of a record: what was sent and what came back until the next write.
struct TrafficExchange {
    uint64_t number = 0;
    std::string sent;
    std::string received;

    bool operator==(const TrafficExchange&) const = default;
};

// The exchanges of a record in order, sessions one after the other. False with `error` ("line
// N: ...") for a line that is not a record line.
bool ParseTrafficRecord(std::string_view text, std::vector<TrafficExchange>& exchanges,
                        std::string& error);
