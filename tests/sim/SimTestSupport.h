// Shared helpers of the simulator tests: a private card folder per test and a firmware over it.
#pragma once

#include "Firmware.h"
#include "SimCard.h"

#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace simtest {

// All reply bytes of the chunks, in order.
inline std::string Joined(const std::vector<sim::Chunk>& chunks) {
    std::string all;
    for (const auto& c : chunks) {
        all += c.bytes;
    }
    return all;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace simtest
