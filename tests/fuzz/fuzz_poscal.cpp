// POSCAL.INI, the nine position offsets, as a connect reads it from the controller and as a
// card copy gives it; each set of offsets read is used by a force model.
#include "FuzzCard.h"

#include "recordings/ForceModel.h"
#include "recordings/TestDataCard.h"

namespace {

void UseOffsets(const HardwareDescription& hardware) {
    const ForceModel model(hardware);
    for (int well = 1; well <= kWellCount; ++well) {
        model.Position(well, 0.0);
        model.Position(well, 1200.0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const std::string content(input.Rest());
    const std::unique_ptr<Controller> controller = ControllerSending(input);
    controller->ReadPositionOffsets();
    UseOffsets(controller->hardware);

    // A card copy holds the file as it is, without the reply line and the end byte.
    const size_t start = content.find('\r');
    const std::string file = content.substr(start == std::string::npos ? 0 : start + 1);
    UseOffsets(DescriptionFromFolder(CardFolderWith("POSCAL.INI", file), 1100));
    return 0;
}
