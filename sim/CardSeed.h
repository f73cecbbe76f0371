// A fresh card as a controller leaves the factory and after one short test: INFOW.INI,
// NAME.INI, POSCAL.INI, MAGCAL.INI, MAGCAL0.INI, TEMPLATE.INI and a recorded sample test
// (DATA0001.CSV with DATA0001.TMT, DATA0001.NAM and INFO1.INI).
#pragma once

#include "Plant.h"
#include "SimCard.h"

#include <string>

namespace sim {

// The calibration file text of the well laws' quadratic fits: 27 lines of "%12f", three per
// well (a, b, c).
std::string CoefficientFileText(const std::array<WellLaw, kWells>& laws);
// The POSCAL.INI text of the mounting offsets: nine lines, no line feed after the last.
std::string OffsetFileText(const std::array<WellLaw, kWells>& laws);
// The sample protocol in the device template form (hardware block, then the table).
std::string SampleTemplateText(const HardwareDescription& hardware);

// Writes the files above into the card; with `withSampleTest` also records the sample test.
bool SeedCard(SimCard& card, int firmwareVersion, int hardwareVersion, bool withSampleTest = true);

} // namespace sim
