// The card listing ("0L") of firmware before 1540: bracketed file and folder lines, files
// joining the folders above them.
#include "FuzzInput.h"

#include "recordings/TestDataListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr int32_t kFirmware = kPlainListingFirmware - 1;
    const FuzzInput input(data, size);
    const std::vector<std::string> lines = input.RestLinesEndedBy('\n');
    const std::vector<TestDataFile> files = ParseCardListing(lines, kFirmware);
    for (const TestDataFile& file : files) {
        ListedSize(lines, kFirmware, file.cardName);
        SizeKbText(file.sizeBytes);
        DownloadPathsFor(file, "card");
        ProtocolFileOf(file.cardName);
    }
    UsedStorageText(files, 0);
    return 0;
}
