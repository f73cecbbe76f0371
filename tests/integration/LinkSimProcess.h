// The simulator process helper, where the widget tests look for it, a card with three tests, and
// a calibration session to apply.
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

// A calibration session with the same factors in every well (a 0.0001, b -0.5, c 1500), and
// what MAGCAL.INI holds for one well once it is applied.
inline const std::string kFlatWellCoefficients = "    0.000100\n   -0.500000\n 1500.000000\n";
inline std::string FlatCalibrationSession() {
    std::string session = "Factor,Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,Well 9";
    for (const char* row : {"\na,0.0001", "\nb,-0.5", "\nc,1500"})
        for (int well = 1; well <= 9; ++well)
            session += std::string(row).substr(well == 1 ? 0 : 2);
    return session;
}
