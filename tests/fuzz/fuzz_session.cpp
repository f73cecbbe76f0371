// A calibration file as the program imports it; the first byte chooses the reader. An exported
// file is imported as the calibration dialog imports it, then analysed, applied and saved again.
// A command-line session file is read whole or refused; what is read, and what analysing it
// gives, is written as the next step writes it and must be read whole again: a session the
// program wrote never stops the next step.
#include "FuzzInput.h"

#include "calibration/CalibrationFiles.h"
#include "calibration/DisplacementCalibration.h"

#include <cstdlib>
#include <fstream>

namespace {

void Write(const std::filesystem::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
}

// The session as written, read back whole with the same rows.
void ReadsBack(const DisplacementCalibration& calibration) {
    const std::filesystem::path again = ScratchFolder() / "again.csv";
    Write(again, calibration.SessionText());
    DisplacementCalibration next;
    if (!next.ImportSession(again).ok || next.Rows().size() != calibration.Rows().size())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const bool exported = input.TakeByte() & 1;
    const std::filesystem::path path = ScratchFolder() / "session.csv";
    Write(path, input.Rest());

    DisplacementCalibration calibration;
    std::string message;
    if (exported) {
        calibration.Import(path);
        calibration.FactorRows();
        calibration.SessionText();
        if (const auto values = calibration.ApplyValues(message))
            CardRoundedValues(*values);
        calibration.Analyze();
        calibration.ApplyValues(message);
        calibration.SessionText();
        return 0;
    }
    const CalibrationOutcome read = calibration.ImportSession(path);
    if (!read.ok) {
        if (read.message.empty() || !calibration.Rows().empty())
            std::abort(); // a refusal says why and takes nothing in
        return 0;
    }
    ReadsBack(calibration);
    calibration.ApplyValues(message);
    if (calibration.Analyze().ok)
        calibration.ApplyValues(message);
    ReadsBack(calibration);
    return 0;
}
