// The hardware settings' Program on the controller: the card's INFOW.INI, the controller taking
// it, and the test program that no longer fits. Used on the thread that owns the controller (the
// device worker in the desktop program).
#pragma once

#include "hardware/HardwareDescription.h"

#include <string>

class Controller;

inline constexpr const char* kHardwareInfoFile = "INFOW.INI";

// What Program managed. The steps after a failed INFOW.INI write are not tried: the controller
// keeps the hardware (and the program) it had.
struct HardwareProgramResult {
    bool infoWritten = false;    // INFOW.INI holds the new block; the description was changed
    bool reloaded = false;       // "0H" was answered OK
    bool programCleared = false; // the empty program table went through
    // When the write failed and not even the old INFOW.INI could be put back: what the card may
    // now hold. Empty otherwise.
    std::string cardDamage;

    bool Succeeded() const { return infoWritten && reloaded && programCleared; }
};

// The five edited fields go into a copy of the controller's description, whose "##HARDWARE" block
// replaces INFOW.INI on the card (a failed delete is no failure: the file may not be there); only
// when the write went through does the controller's description take the new values, "0H" is
// sent and an empty program table is uploaded (the one it had was made for the old hardware).
HardwareProgramResult ProgramHardware(Controller& controller, const HardwareDescription& edited);
// The message for a result that did not succeed (empty when it did): one line per failed step.
std::string HardwareProgramFailureText(const HardwareProgramResult& result);
