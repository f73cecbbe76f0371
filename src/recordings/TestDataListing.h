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
    // The listed size of its protocol copy (".TMT"); none when the listing has no copy.
    std::optional<int32_t> protocolBytes = std::nullopt;

    bool operator==(const TestDataFile&) const = default;
};

// Listings from this firmware version code on are "size name" lines; earlier ones are the
// bracketed lines with folders.
inline constexpr int32_t kPlainListingFirmware = 1540;

// False for the card's own files (system folders, settings, protocol copies, test names),
// whatever the case of the name.
bool IsDataFileName(std::string_view name);

// The data files of the controller's "0L" reply lines, in listing order, with the sizes of their
// protocol copies; display names are the card names until the scan gives better ones.
std::vector<TestDataFile> ParseCardListing(const std::vector<std::string>& lines,
                                           int32_t firmwareVersion);
// The data files among every file of a card (in order), with the sizes of their protocol copies.
std::vector<TestDataFile> DataFilesOf(const std::vector<TestDataFile>& every);
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
// DATA0001.NAM holding "MyTest" (the number comes from the file's own name, never from the folders
// above it). A trailing carriage return of the line is dropped, and control characters become
// '_', as in result folder names, so the name can be shown in a list or on a terminal.
std::string DisplayNameFrom(std::string_view nameFile, std::string_view firstLine);
// A name with its control characters made '_'.
std::string PrintableName(std::string_view name);
// The display name without its extension ("MyTest_0001"): how messages name a test.
std::string TestLabel(const TestDataFile& file);

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
    std::filesystem::path resultFolder; // folder / card folders / stem
    std::filesystem::path logFolder;    // resultFolder / "TestLogs"
    std::filesystem::path raw;          // logFolder / stem + "_Raw.csv"
    std::filesystem::path converted;    // resultFolder / display name
    std::filesystem::path full;         // logFolder / stem + "_Full.csv"
    std::filesystem::path summary;      // resultFolder / stem + "_Summary.csv"
    std::filesystem::path protocol;     // resultFolder / stem + ".tmt"
};
// The first choice of result folder: a file in card folders downloads under its own file name,
// inside those folders; every name is made safe, so all paths stay inside `folder`.
DownloadPaths DownloadPathsFor(const TestDataFile& file, const std::filesystem::path& folder);
// The same files in the result folder `resultFolder`.
DownloadPaths DownloadPathsIn(const TestDataFile& file, const std::filesystem::path& resultFolder);
// The result folder names to try in turn when the first is taken by another card file: the
// stem with the card file's stem added ("Sample_0001 (WXYZ0001)"), then with its whole name,
// then numbered. `index` 0 is the first choice; an index past the last gives an empty name.
std::string ResultFolderName(const TestDataFile& file, int index);
