// What the fuzz targets share: a few bytes of the input taken as choices (a flag, a piece size),
// then the rest as text or as lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : m_text(reinterpret_cast<const char*>(data), size) {}

    // The next byte as a choice (0 when the input is used up), taken off the front.
    uint8_t TakeByte() {
        if (m_text.empty())
            return 0;
        const auto byte = static_cast<uint8_t>(m_text.front());
        m_text.remove_prefix(1);
        return byte;
    }
    std::string_view Rest() const { return m_text; }
    // The rest cut into lines at each `end` byte, as the controller's lines arrive (file lines
    // end with a line feed, reply lines with a carriage return); a last piece is a line too.
    std::vector<std::string> RestLinesEndedBy(char end) const {
        std::vector<std::string> lines;
        std::string_view rest = m_text;
        for (size_t at; (at = rest.find(end)) != std::string_view::npos;) {
            lines.emplace_back(rest.substr(0, at));
            rest.remove_prefix(at + 1);
        }
        if (!rest.empty())
            lines.emplace_back(rest);
        return lines;
    }

private:
    std::string_view m_text;
};

// A folder of the process's own for the targets that go through files, made once under $TMPDIR
// (scripts/fuzz.sh points it into the build folder) or /tmp.
inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz.XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return std::filesystem::path(pattern);
    }();
    return folder;
}
