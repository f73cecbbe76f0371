// The controller's INFOW.INI, read by position: each value after its key's width; lines too short
// to hold a value and files of fewer than eight lines leave the description as it was.
#include "hardware/HardwareDescription.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CardHardwareLines, ValuesByPositionShortLinesAndShortFiles) {
    HardwareDescription partial; // short value lines are absent
    partial.WellDepth_mm = 20.0;
    partial.MembraneStyle = Membrane::Hydrostatic;
    partial.SpringType = Spring::NoSpring;
    HardwareDescription byPosition; // keys are not compared, unknown codes are invalid
    byPosition.FirmwareVersion = 1234;
    byPosition.WellDepth_mm = 9.5;
    byPosition.MagnetStyle = Magnet::Invalid;
    byPosition.MembraneStyle = Membrane::Invalid;
    byPosition.RegulatorType = Regulator::QPV1;
    byPosition.SpringType = Spring::Invalid;
    const std::pair<std::string, HardwareDescription> cases[] = {
        {"##HARDWARE\nKelvastra TR\nFirmwareVersion\nWellDepth_mm 20\nMagnetStyle \n"
         "MembraneStyle Hydrostatic\nRegulatorType\nSpringType NoSpring\n",
         partial},
        {"##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 20\nMagnetStyle A25_10\n"
         "MembraneStyle Hydrostatic\nRegulatorType QB3_20\n",
         HardwareDescription{}},
        {"", HardwareDescription{}},
        {"x\ny\nXXXXXXXXXXXXXXX 1234\nXXXXXXXXXXXX 9.5\nXXXXXXXXXXX Foo\nXXXXXXXXXXXXX Bar\n"
         "XXXXXXXXXXXXX QPV1\nXXXXXXXXXX Baz\n",
         byPosition},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file);
        std::vector<std::string> lines;
        std::istringstream in(file);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        HardwareDescription hw;
        ApplyCardHardwareLines(lines, hw);
        EXPECT_EQ(hw, expected);
    }
}

} // namespace
