// Raw test data in, converted CSV out, as a download converts it while it arrives: the first
// bytes choose the fitted hardware, the pass and how many bytes each read hands over.
#include "FuzzInput.h"

#include "hardware/HardwareDescription.h"
#include "recordings/ConvertFile.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <algorithm>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t parts = input.TakeByte();
    const uint8_t tables = input.TakeByte();
    const size_t piece = 1 + input.TakeByte() * 37;

    HardwareDescription hardware;
    hardware.MembraneStyle = parts % 5;
    hardware.SpringType = (parts / 5) % 6;
    hardware.RegulatorType = tables % 9;
    if (tables & 0x10)
        hardware.positionOffsets = std::array<int32_t, kWellCount>{12, -8, 5, 0, -15, 7, 3, -4, 10};
    if (tables & 0x20) {
        std::array<double, 3 * kWellCount> coefficients{};
        for (size_t i = 0; i < coefficients.size(); i += 3) {
            coefficients[i] = 0.004837;
            coefficients[i + 1] = -5.421381;
            coefficients[i + 2] = 502.276378;
        }
        hardware.displacementCoefficients = coefficients;
    }
    const SpringModel spring(hardware.SpringType);
    ForceModel model(hardware, &spring);

    std::string_view rest = input.Rest();
    const auto source = [&rest, piece](char* buffer, size_t capacity) -> long long {
        const size_t n = std::min({rest.size(), capacity, piece});
        std::memcpy(buffer, rest.data(), n);
        rest.remove_prefix(n);
        return static_cast<long long>(n);
    };
    ConvertStream(model, source, ScratchFolder() / "out.csv", spring.valid && (parts & 0x80),
                  parts & 0x40);
    return 0;
}
