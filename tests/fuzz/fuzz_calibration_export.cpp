// An exported calibration file (or a command-line calibration session file) imported as the
// calibration dialog and the command line import it, then analysed, applied and saved again.
#include "FuzzInput.h"

#include "calibration/CalibrationFiles.h"
#include "calibration/DisplacementCalibration.h"

#include <fstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzInput input(data, size);
    const std::filesystem::path path = ScratchFolder() / "calibration.csv";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(input.Rest().data(), static_cast<std::streamsize>(input.Rest().size()));

    DisplacementCalibration calibration;
    calibration.Import(path);
    calibration.FactorRows();
    calibration.SessionText();
    std::string message;
    if (const auto values = calibration.ApplyValues(message))
        CardRoundedValues(*values);
    calibration.Analyze();
    calibration.ApplyValues(message);
    calibration.SessionText();
    return 0;
}
