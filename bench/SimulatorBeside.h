// The benchmarks that talk to a simulator start the one built beside them (build/bench/X ->
// build/sim/kelvastra-sim), so a benchmark copied or run from another build tree uses its own.
#pragma once

#include "../tests/integration/LinkSimProcess.h"

#include <filesystem>
#include <string>

inline std::string SimulatorBesideUs() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return LinkSimProcess::DefaultSimulator();
    return (self.parent_path().parent_path() / "sim" / "kelvastra-sim").string();
}
