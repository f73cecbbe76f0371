// Shared helpers of the simulator tests: a private card folder per test and a firmware over it.
#pragma once

#include "Firmware.h"

#include "TestSupport.h"
#include "recordings/ForceModel.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace simtest {

// The force model the program builds at connect, from the card's offsets and coefficients. It
// refers to `hardware`, which must outlive it.
inline ForceModel CardForceModel(const std::filesystem::path& card,
                                 const HardwareDescription& hardware) {
    std::istringstream poscal(ReadFile(card / "POSCAL.INI"));
    std::istringstream magcal(ReadFile(card / "MAGCAL.INI"));
    std::array<int32_t, 9> offsets{};
    for (auto& o : offsets)
        poscal >> o;
    std::array<double, 27> coefficients{};
    for (auto& c : coefficients)
        magcal >> c;
    return ForceModel(offsets, coefficients, hardware);
}

// All reply bytes of the chunks, in order.
inline std::string Joined(const std::vector<sim::Chunk>& chunks) {
    std::string all;
    for (const auto& c : chunks)
        all += c.bytes;
    return all;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace simtest
