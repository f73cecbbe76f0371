// MAGCAL.INI, the 27 displacement coefficients, as a connect reads it from the controller, as
// the calibration dialog reads it (factory copy included) and as a card copy gives it; each
// set of coefficients read is shown and used by a force model.
#include "FuzzCard.h"

#include "calibration/CalibrationFiles.h"
#include "recordings/ForceModel.h"
#include "recordings/TestDataCard.h"

namespace {

void UseCoefficients(const std::optional<std::array<double, 3 * kWellCount>>& values) {
    if (!values)
        return;
    HardwareDescription hardware;
    hardware.displacementCoefficients = CardRoundedValues(*values);
    const ForceModel model(hardware);
    for (int well = 1; well <= kWellCount; ++well) {
        model.Position(well, 0.0);
        model.Position(well, 1200.0);
    }
    const CalibrationFactors factors = CalibrationFactors::FromCardValues(*values);
    FactorListRows(factors);
    CalibrationFileText(factors, {});
    factors.FirstEmptyWell();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::string content(input.Rest());
    const std::unique_ptr<Controller> controller = ControllerSending(input);
    controller->ReadDisplacementCoefficients();
    UseCoefficients(controller->hardware.displacementCoefficients);

    // The calibration's own reader takes the lines as they arrived.
    std::vector<std::string> lines;
    const size_t start = content.find('\r');
    const std::string file = content.substr(start == std::string::npos ? 0 : start + 1);
    FuzzInput fileInput(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    UseCoefficients(ParseCardCalibration(fileInput.RestLinesEndedBy('\n')));

    UseCoefficients(
        DescriptionFromFolder(CardFolderWith("MAGCAL.INI", file), 1100).displacementCoefficients);
    return 0;
}
