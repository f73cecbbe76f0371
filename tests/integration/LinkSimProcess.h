// The simulator process helper, where the widget tests look for it, and a card with three tests.
#pragma once

#include "TestSupport.h"

// The seeded test (DATA0001, named "Sample") twice more: DATA0002 named "Other", DATA0003
// without name or protocol copy.
inline void AddTwoTests(const std::filesystem::path& card) {
    std::filesystem::copy_file(card / "DATA0001.CSV", card / "DATA0002.CSV");
    std::filesystem::copy_file(card / "DATA0001.TMT", card / "DATA0002.TMT");
    WriteFile(card / "DATA0002.NAM", "Other\n");
    std::filesystem::copy_file(card / "DATA0001.CSV", card / "DATA0003.CSV");
}
