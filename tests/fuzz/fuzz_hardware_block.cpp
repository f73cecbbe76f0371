// The fitted hardware as the program reads it: the card's INFOW.INI lines at connect, and the
// "##HARDWARE" block that starts protocol texts and card copies; the description read is
// written out again as a block.
#include "FuzzInput.h"

#include "hardware/HardwareDescription.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzInput input(data, size);

    HardwareDescription fromCard;
    ApplyCardHardwareLines(input.RestLinesEndedBy('\n'), fromCard);
    HardwareBlockText(fromCard);

    HardwareDescription fromBlock;
    std::istringstream in{std::string(input.Rest())};
    ReadLeadingHardwareBlock(in, fromBlock);
    HardwareBlockText(fromBlock);
    return 0;
}
