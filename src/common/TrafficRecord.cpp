#include "common/TrafficRecord.h"

#include "common/TextLines.h"

#include <charconv>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ReadUnsigned(std::string_view text, uint64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// "S.UUUUUU" with at least one digit before the point.
bool IsTimeStamp(std::string_view text) {
    const std::size_t point = text.find('.');
    uint64_t part = 0;
    return point != std::string_view::npos && ReadUnsigned(text.substr(0, point), part) &&
           ReadUnsigned(text.substr(point + 1), part);
}

} // namespace

std::string EscapeTrafficBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const bool lastBlank = c == ' ' && i + 1 == bytes.size();
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\t') {
            text += "\\t";
        } else if (c < 0x20 || c > 0x7E || lastBlank) {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 0x0F];
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

bool UnescapeTrafficBytes(std::string_view text, std::string& bytes) {
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i >= text.size())
            return false;
        switch (text[i]) {
        case '\\':
            bytes += '\\';
            break;
        case 'r':
            bytes += '\r';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 't':
            bytes += '\t';
            break;
        case 'x': {
            if (i + 2 >= text.size())
                return false;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return false;
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

std::string TrafficLine(uint64_t microseconds, char direction, uint64_t exchange,
                        std::string_view payload) {
    // Integer arithmetic keeps the stamp independent of the process locale.
    const std::string fraction = std::to_string(1000000 + microseconds % 1000000).substr(1);
    std::string line = std::to_string(microseconds / 1000000) + "." + fraction + " " + direction +
                       " " + std::to_string(exchange) + " ";
    line += direction == '!' ? std::string(payload) : EscapeTrafficBytes(payload);
    line += '\n';
    return line;
}

std::string TrafficSessionHeader() {
    return std::string(kTrafficRecordHeader) +
           "\n# seconds, > sent / < received / ! event, exchange, bytes (\\r \\n \\t \\\\ "
           "\\xHH escaped)\n";
}

bool ParseTrafficRecord(std::string_view text, std::vector<TrafficExchange>& exchanges,
                        std::string& error) {
    exchanges.clear();
    bool open = false; // whether exchanges.back() may take more lines
    std::size_t lineNumber = 0;
    for (const std::string_view line : SplitTextLines(text)) {
        ++lineNumber;
        if (line.empty())
            continue;
        if (line.front() == '#') {
            // A new session numbers its exchanges from the start again.
            if (line.rfind(kTrafficRecordHeader, 0) == 0)
                open = false;
            continue;
        }
        const auto fail = [&](const char* what) {
            error = "line " + std::to_string(lineNumber) + ": " + what;
            return false;
        };
        const std::size_t first = line.find(' ');
        if (first == std::string_view::npos || !IsTimeStamp(line.substr(0, first)))
            return fail("no time stamp");
        if (first + 2 >= line.size() || line[first + 2] != ' ')
            return fail("no direction");
        const char direction = line[first + 1];
        if (direction != '>' && direction != '<' && direction != '!')
            return fail("direction is not >, < or !");
        const std::size_t numberStart = first + 3;
        std::size_t numberEnd = line.find(' ', numberStart);
        if (numberEnd == std::string_view::npos)
            numberEnd = line.size();
        uint64_t number = 0;
        if (!ReadUnsigned(line.substr(numberStart, numberEnd - numberStart), number))
            return fail("no exchange number");
        if (direction == '!')
            continue;
        std::string bytes;
        const std::string_view payload =
            numberEnd < line.size() ? line.substr(numberEnd + 1) : std::string_view{};
        if (!UnescapeTrafficBytes(payload, bytes))
            return fail("bad escape in the bytes");
        if (!open || exchanges.back().number != number) {
            exchanges.push_back(TrafficExchange{number, {}, {}});
            open = true;
        }
        (direction == '>' ? exchanges.back().sent : exchanges.back().received) += bytes;
    }
    return true;
}
