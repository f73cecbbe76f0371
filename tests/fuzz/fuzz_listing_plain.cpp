// The card listing ("0L") of firmware 1540 and later: "size name" lines.
#include "FuzzInput.h"

#include "recordings/TestDataListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const FuzzInput input(data, size);
    const std::vector<std::string> lines = input.RestLinesEndedBy('\n');
    const std::vector<TestDataFile> files = ParseCardListing(lines, kPlainListingFirmware);
    for (const TestDataFile& file : files) {
        ListedSize(lines, kPlainListingFirmware, file.cardName);
        SizeKbText(file.sizeBytes);
        DownloadPathsFor(file, "card");
        NameFileOf(file.cardName);
    }
    UsedStorageText(files, 1000);
    return 0;
}
