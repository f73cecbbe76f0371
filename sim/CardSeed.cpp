#include "CardSeed.h"

#include "TestRun.h"

#include "protocol/ProtocolTable.h"

#include <cstdio>

namespace sim {

std::string CoefficientFileText(const std::array<WellLaw, kWells>& laws) {
    std::string text;
    char line[64];
    for (const WellLaw& law : laws) {
        for (double value : FitQuadratic(law)) {
            std::snprintf(line, sizeof line, "%12f\n", value);
            text += line;
        }
    }
    return text;
}

std::string OffsetFileText(const std::array<WellLaw, kWells>& laws) {
    std::string text;
    for (size_t w = 0; w < laws.size(); ++w) {
        if (w > 0) {
            text += "\n";
        }
        text += std::to_string(laws[w].mountOffsetUm);
    }
    return text;
}

std::string SampleTemplateText(const HardwareDescription& hardware) {
    SetSequence sequence;
    SetRecord warmUp;
    warmUp.Name = "Warm up";
    warmUp.XFunction = ControlFunction::Ramp;
    warmUp.XUnits = MagnitudeUnits::N;
    warmUp.XMagnitude = 5;
    warmUp.StretchDurationSec = 1;
    warmUp.RecoveryDurationSec = 1;
    warmUp.NumReps = 2;
    warmUp.DataType = DataType::Peaks;
    SetRecord stretch;
    stretch.Name = "Stretch";
    stretch.XFunction = ControlFunction::Sinusoid;
    stretch.XUnits = MagnitudeUnits::N;
    stretch.XMagnitude = 10;
    stretch.StretchDurationSec = 2;
    stretch.HoldTimeSec = 0.5;
    stretch.RecoveryDurationSec = 2;
    stretch.RestTimeSec = 0.5;
    stretch.NumReps = 3;
    stretch.DataType = DataType::All64;
    sequence.sets = {warmUp, stretch};
    return HardwareBlockText(hardware) + ProtocolTableText(sequence);
}

bool SeedCard(SimCard& card, int firmwareVersion, int hardwareVersion, bool withSampleTest) {
    HardwareDescription hardware;
    hardware.FirmwareVersion = firmwareVersion;
    Plant plant;
    plant.SetHardware(hardware, hardwareVersion);
    bool ok = card.Replace("INFOW.INI", HardwareBlockText(hardware));
    ok = card.Replace("NAME.INI", "Sample") && ok;
    ok = card.Replace("POSCAL.INI", OffsetFileText(plant.Laws())) && ok;
    ok = card.Replace("MAGCAL.INI", CoefficientFileText(plant.Laws())) && ok;
    ok = card.Replace("MAGCAL0.INI", CoefficientFileText(plant.Laws())) && ok;
    std::string templateText = SampleTemplateText(hardware);
    ok = card.Replace("TEMPLATE.INI", templateText) && ok;
    if (ok && withSampleTest) {
        TestRun run(card, ProgramFromTemplate(templateText, plant), plant);
        ok = run.Start();
        run.RunToEnd();
    }
    return ok;
}

} // namespace sim
