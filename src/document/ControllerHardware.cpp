#include "document/ControllerHardware.h"

#include "common/MessageLog.h"
#include "devicelink/Controller.h"
#include "protocol/DeviceProgram.h"

HardwareProgramResult ProgramHardware(Controller& controller, const HardwareDescription& edited) {
    HardwareProgramResult result;
    // Only the fields the dialog edits: versions and calibration tables stay the controller's.
    HardwareDescription changed = controller.hardware;
    changed.WellDepth_mm = edited.WellDepth_mm;
    changed.MembraneStyle = edited.MembraneStyle;
    changed.SpringType = edited.SpringType;
    changed.MagnetStyle = edited.MagnetStyle;
    changed.RegulatorType = edited.RegulatorType;

    const int written = controller.ReplaceCardFile(kHardwareInfoFile, HardwareBlockText(changed));
    if (written != Controller::kCardReplaced) {
        // What the card holds now goes to the message area.
        MessageLog::Instance().WriteMessage("Error:  " + controller.WriteProblem() + "\n");
        if (written == Controller::kCardDamaged)
            result.cardDamage = controller.WriteProblem();
        return result; // the controller keeps its hardware, so its program still fits
    }
    result.infoWritten = true;
    controller.hardware = changed;

    result.reloaded = controller.Command("0H\r") == 0;
    // Cleared even when "0H" failed: the card already describes the new hardware.
    DeviceProgramTable empty{};
    ClearDeviceProgram(empty);
    result.programCleared = controller.UploadProgram(empty) == 1;
    return result;
}

std::string HardwareProgramFailureText(const HardwareProgramResult& result) {
    if (result.Succeeded())
        return {};
    if (!result.infoWritten) {
        const std::string text = "Error:  The hardware settings could not be written to the "
                                 "device's card (INFOW.INI).\n";
        if (result.cardDamage.empty())
            return text + "Nothing was changed.\n";
        return text + result.cardDamage + "\nProgram the hardware settings again.\n";
    }
    std::string text;
    if (!result.reloaded)
        text += "Error:  The device did not confirm that it has taken the new hardware "
                "settings.\n";
    if (!result.programCleared)
        text += "Error:  The device's test program could not be cleared.\n";
    text += "The hardware settings were written to the device's card.\n";
    return text;
}
