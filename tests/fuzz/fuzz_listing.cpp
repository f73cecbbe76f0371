// The card listing ("0L"); the first byte chooses the firmware: "size name" lines from 1540 on,
// bracketed file and folder lines before (files joining the folders above them).
#include "FuzzInput.h"

#include "recordings/TestDataListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t choice = input.TakeByte();
    const int32_t firmware = kPlainListingFirmware - (choice & 1);
    const std::vector<std::string> lines = input.RestLinesEndedBy('\n');
    const std::vector<TestDataFile> files = ParseCardListing(lines, firmware);
    for (const TestDataFile& file : files) {
        ListedSize(lines, firmware, file.cardName);
        SizeKbText(file.sizeBytes);
        DownloadPathsFor(file, "card");
        NameFileOf(file.cardName);
        ProtocolFileOf(file.cardName);
    }
    UsedStorageText(files, (choice & 2) ? 1000 : 0);
    return 0;
}
