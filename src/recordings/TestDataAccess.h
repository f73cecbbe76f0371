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
#include <string>
#include <vector>

// Scan for Data: the data files of `files` with their display names, looked up in the ".NAM"
// files of `names` (the controller's card, even when the files come from a folder). One progress
// step per file. False when the listing could not be read completely (what was read is kept).
bool ScanTestData(ITestDataCard& files, ITestDataCard& names, std::vector<TestDataFile>& found,
                  const ProgressFn& progress = {});

// Creates the download folder when missing and checks that files can be made in it. False, with
// a message for the user, when it cannot be used.
bool PrepareDownloadFolder(const std::filesystem::path& folder, std::string& message);

enum class DownloadStage { Downloading, Processing, Complete };

struct DownloadResult {
    enum Status {
        Converted,     // both conversions written
        CannotWrite,   // a local file or folder cannot be made
        Failed,        // the transfer broke off or was refused: no raw copy
        Incomplete,    // fewer or more bytes than listed: no raw copy, nothing converted
        NoTemplate,    // the protocol copy did not come: the raw copy stays, not converted
        ConvertFailed, // a converted file could not be written
        NotSaved,      // the data file arrived whole but its raw copy could not be completed
    };
    Status status = Converted;
    DownloadPaths paths;
    long long bytes = 0; // bytes of the data file that arrived
    std::string error;   // the file system's reason, for NotSaved
};

// Download Selected for one file: the raw copy, the protocol copy (whose hardware block gives
// the spring type), then the short and the full conversion with the force model of `device`
// (the controller's description with its offsets and coefficients). Every file is written
// through a temporary file, so a failed step never leaves a complete-looking file. Progress:
// kilobytes while the data file arrives, then percent of the conversions.
DownloadResult DownloadAndConvert(ITestDataCard& card, const TestDataFile& file,
                                  const std::filesystem::path& folder,
                                  const HardwareDescription& device,
                                  const ProgressFn& progress = {},
                                  const std::function<void(DownloadStage)>& stage = {});
// The likely cause of a transfer that ended early, for the user.
inline constexpr const char* kEndByteCause =
    "A byte 0x17 inside the file ends a transfer early and is the likely cause.";

// What to tell the user about a result; empty when it was converted.
std::string DownloadMessage(const DownloadResult& result, const TestDataFile& file);

inline constexpr const char* kFileNotDeleted = "Error:  File Not Deleted";

// Deletes a data file, then its ".TMT" and ".NAM" companions, whose absence is no failure.
// 1 when the data file was deleted, -1 when not (the companions are then left alone).
int DeleteTestDataFile(ITestDataCard& card, const std::string& cardName);
// Delete Selected: the rows at `indices`, from the highest index down; deleted rows leave
// `files`. Returns the card names that could not be deleted, in the order tried.
std::vector<std::string> DeleteSelectedFiles(ITestDataCard& card, std::vector<TestDataFile>& files,
                                             std::vector<int> indices);
// Delete All: the first listed file until none is left. A file that cannot be deleted ends it
// (it stays first); its card name is returned, empty when everything was deleted.
std::string DeleteAllFiles(ITestDataCard& card, std::vector<TestDataFile>& files);
