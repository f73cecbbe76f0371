// What the test data dialog shows of a card: the data files of the controller's listing (both
// listing formats), their display names from the ".NAM" companions, sizes in kilobytes, how full
// the card is, and the local files and folders a download of one of them makes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One listed data file.
struct TestDataFile {
    std::string cardName;    // as listed; files in folders carry the folders, joined by '\'
    std::string displayName; // the name shown (and used for the converted file)
    int32_t sizeBytes = 0;

    bool operator==(const TestDataFile&) const = default;
};

// Listings from this firmware version code on are "size name" lines; earlier ones are the
// bracketed lines with folders.
inline constexpr int32_t kPlainListingFirmware = 1540;

// False for the card's own files (system folders, settings, protocol copies, test names),
// whatever the case of the name.
bool IsDataFileName(std::string_view name);

// The data files of the controller's "0L" reply lines, in listing order; display names are the
// card names until LookUpDisplayName gives better ones.
std::vector<TestDataFile> ParseCardListing(const std::vector<std::string>& lines,
                                           int32_t firmwareVersion);
// The size the listing gives for a card file of any kind (the name in any case), or nullopt
// when the file is not listed.
std::optional<int32_t> ListedSize(const std::vector<std::string>& lines, int32_t firmwareVersion,
                                  std::string_view cardName);

// The name up to the last '.' of its last part (the whole name when it has none).
std::string NameStem(std::string_view name);
// The card's test-name file of a data file: its stem and ".NAM".
std::string NameFileOf(std::string_view cardName);
// The protocol copy of a data file: its stem and ".TMT".
std::string ProtocolFileOf(std::string_view cardName);
// The display name from the ".NAM" file's name and its first line: "MyTest_0001.csv" for
// DATA0001.NAM holding "MyTest". A trailing carriage return of the line is dropped.
std::string DisplayNameFrom(std::string_view nameFile, std::string_view firstLine);

// The list's size column: whole kilobytes of 1000 bytes.
std::string SizeKbText(int32_t sizeBytes);
// The used storage text: "< 0.1%" or "12.3%" of the card's capacity in kilobytes; a capacity
// that is unknown (the query failed, -1) or zero gives the used kilobytes and says so.
std::string UsedStorageText(const std::vector<TestDataFile>& files, int capacityKb);

// A name made safe to use as one local file or folder name: path separators and control
// characters become '_', and a name of dots only (or nothing) becomes underscores.
std::string SafeFileName(std::string_view name);

// The local files of one download into `folder`.
struct DownloadPaths {
    std::filesystem::path resultFolder; // folder / stem
    std::filesystem::path logFolder;    // resultFolder / "TestLogs"
    std::filesystem::path raw;          // logFolder / stem + "_Raw.csv"
    std::filesystem::path converted;    // resultFolder / display name
    std::filesystem::path full;         // logFolder / stem + "_Full.csv"
    std::filesystem::path protocol;     // resultFolder / stem + ".tmt"
};
// A file in a card folder downloads under its own file name; every name is made safe, so all
// paths stay inside `folder`.
DownloadPaths DownloadPathsFor(const TestDataFile& file, const std::filesystem::path& folder);
