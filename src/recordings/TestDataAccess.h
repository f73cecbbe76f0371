// The test data operations without a window: scan a card (or its copy in a folder), download a
// data file with its protocol copy and convert it into the test's result folder, and delete data
// files with their companions. The desktop dialog runs them on the device worker; the
// command-line program runs them directly.
#pragma once

#include "common/Progress.h"
#include "hardware/HardwareDescription.h"
#include "recordings/TestDataCard.h"
#include "recordings/TestDataListing.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Scan for Data: the data files of `files` with their display names, looked up in the ".NAM"
// files of `names` (the controller's card, even when the files come from a folder). One progress
// step per file. False when the listing could not be read completely (what was read is kept).
bool ScanTestData(ITestDataCard& files, ITestDataCard& names, std::vector<TestDataFile>& found,
                  const ProgressFn& progress = {});

// Creates the download folder when missing and checks that files can be made in it. False, with
// a message for the user that names the folder and the reason, when it cannot be used.
bool PrepareDownloadFolder(const std::filesystem::path& folder, std::string& message);

// The file in a result folder's "TestLogs" that names the card file the folder was made for.
inline constexpr const char* kResultOwnerFile = "CardFile.txt";

// The file in "TestLogs" that keeps what is known of where the test was recorded: one
// "label: value" line each for the data file's date, the controller's serial number and its
// firmware, those known only.
inline constexpr const char* kResultSourceFile = "Source.txt";
std::string ResultSourceText(const ResultSource& source);
// What a result folder's source file says (empty texts without one).
ResultSource ReadResultSource(const std::filesystem::path& resultFolder);

// The result folder of `file` in the download folder `folder`: the one an earlier download of the
// same card file made, else the first of the candidate names (ResultFolderName) that no other
// card file has taken. Empty paths when every candidate is taken.
DownloadPaths ResultPathsFor(const TestDataFile& file, const std::filesystem::path& folder);
// An earlier download of this card file in `folder` whose raw copy is whole (its listed size).
bool HasDownloadedCopy(const TestDataFile& file, const std::filesystem::path& folder);

enum class DownloadStage { Downloading, Processing, Complete };

struct DownloadResult {
    enum Status {
        Converted,     // both conversions and the per-cycle summary written
        CannotWrite,   // a local file or folder cannot be made
        Failed,        // the transfer broke off or was refused: nothing kept
        Disconnected,  // the line to the controller went down during the transfer
        Incomplete,    // fewer or more bytes than listed: nothing kept, nothing converted
        NoTemplate,    // the protocol copy cannot be read: the raw copy stays, not converted
        ConvertFailed, // a converted file could not be written
        NotSaved,      // the file arrived whole but its local copy could not be completed
        Stopped,       // the user stopped the transfer (progress said so): nothing kept
    };
    Status status = Converted;
    DownloadPaths paths;
    std::string cardFile;   // the card file that failed (the data file or its protocol copy)
    long long bytes = 0;    // bytes of that file that arrived
    long long expected = 0; // its listed size
    std::filesystem::path failedPath; // the local file or folder that could not be written
    std::string error;                // the file system's reason
    int errorNumber = 0;              // its number (ENOSPC: the disk is full)
    bool defaultSpring = false;       // converted without a protocol copy on the card
};

// Download Selected for one file: the protocol copy (whose hardware block gives the spring type;
// without one on the card the default spring is used), then the data file into its raw copy while
// the short and the full conversion run with the force model of `device` (the controller's
// description with its offsets and coefficients), the full one making the per-cycle summary. Both
// copies are checked against their listed sizes. Every file is written through a temporary file, so
// a failed step never leaves a complete-looking file, and a failed download leaves no folder it
// made. Progress: kilobytes while the data file arrives, then percent of the conversions; a
// progress report answered false while the data file arrives stops it (the card still sends the
// rest, which is read and dropped).
DownloadResult DownloadAndConvert(ITestDataCard& card, const TestDataFile& file,
                                  const std::filesystem::path& folder,
                                  const HardwareDescription& device,
                                  const ProgressFn& progress = {},
                                  const std::function<void(DownloadStage)>& stage = {});
// The likely cause of a transfer that ended early, for the user.
inline constexpr const char* kEndByteCause =
    "A byte 0x17 inside the file ends a transfer early and is the likely cause.";
inline constexpr const char* kDefaultSpringNote =
    "No protocol copy on the card; converted with the default spring";

// What to tell the user about a result: an error, the note on a conversion with the default
// spring, or empty when it was converted from its protocol copy.
std::string DownloadMessage(const DownloadResult& result, const TestDataFile& file);

inline constexpr const char* kFileNotDeleted = "Error:  File Not Deleted";

// What deleting data files did beyond the rows that went.
struct DeletionReport {
    std::vector<TestDataFile> notDeleted; // data files that stay on the card, in the order tried
    // Tests whose data file went but whose companions could not be deleted, with those names.
    std::vector<std::pair<TestDataFile, std::vector<std::string>>> leftovers;
    std::optional<TestDataFile> disconnectedAt; // the line went down while deleting this one
    bool Clean() const { return notDeleted.empty() && leftovers.empty() && !disconnectedAt; }
};

// Deletes a data file, then its ".TMT" and ".NAM" companions, whose absence is no failure. 1 when
// the data file is off the card, -1 when not (the companions are then left alone),
// ITestDataCard::kLineDown when the card could no longer be reached. `leftovers` gets the
// companions that stay on the card.
int DeleteTestDataFile(ITestDataCard& card, const std::string& cardName,
                       std::vector<std::string>& leftovers);
// Delete Selected: the rows at `indices`, from the highest index down; deleted rows leave
// `files`. Stops when the card can no longer be reached.
DeletionReport DeleteSelectedFiles(ITestDataCard& card, std::vector<TestDataFile>& files,
                                   std::vector<int> indices);
// Delete All: the first listed file until none is left. A file that cannot be deleted ends it
// (it stays first), as does the line going down.
DeletionReport DeleteAllFiles(ITestDataCard& card, std::vector<TestDataFile>& files);
// Delete Selected's question when `notDownloaded` of the `count` tests have no downloaded copy:
// "Delete 2 tests from the card? Sample_0003 has not been downloaded." (the folder copy instead of
// the card in local mode).
std::string DeleteQuestion(size_t count, const std::vector<TestDataFile>& notDownloaded,
                           bool local);
// The messages of a report, one per problem, naming the tests by their display names.
std::vector<std::string> DeletionMessages(const DeletionReport& report);
