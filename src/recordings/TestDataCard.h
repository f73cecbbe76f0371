// Where test data files are read and deleted: the controller's card (implemented over the
// controller by the document layer) or a copy of the card in a folder of this computer.
#pragma once

#include "hardware/HardwareDescription.h"
#include "recordings/TestDataListing.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What is known of where a data file was recorded, kept with its result for the report; empty
// texts when not known.
struct ResultSource {
    std::string dataDate; // the data file's local date and time, "2026-12-07 14:03"
    std::string serial;   // the serial number of the controller that recorded it
    std::string firmware; // that controller's firmware version code

    bool operator==(const ResultSource&) const = default;
};

class ITestDataCard {
public:
    // Receives the running byte count of a copy.
    using ByteProgress = std::function<void(long long bytes)>;
    // Takes the bytes of a copy as they come; false stops taking them (a failed write).
    using ByteSink = std::function<bool(std::string_view bytes)>;

    // The result of Fetch and Delete when the line to the card went down (unplugged) rather
    // than the file failing.
    static constexpr int kLineDown = -2;

    virtual ~ITestDataCard() = default;
    // The data files (card names, sizes and the sizes of their protocol copies) in listing order.
    // False when the listing could not be read completely; the files read so far are kept.
    virtual bool ListDataFiles(std::vector<TestDataFile>& files) = 0;
    // 1 and the first line of the file, or -1 when it gave no line.
    virtual int ReadFirstLine(const std::string& name, std::string& line) = 0;
    // Hands the file's bytes to `sink`; `bytes` counts them. 1 when the copy ended properly,
    // 0 when it failed, kLineDown when the card could no longer be reached (the caller then drops
    // what it was given).
    virtual int Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
                      const ByteProgress& progress) = 0;
    // 1 when the file was deleted, 0 when it is not on the card (nothing to delete), -1 when it
    // could not be deleted, kLineDown.
    virtual int Delete(const std::string& name) = 0;
    // What the card knows of where a data file was recorded.
    virtual ResultSource SourceOf(const std::string& name) {
        (void)name;
        return {};
    }
};

// A copy of the card in a folder: the files of the folder itself (not of folders inside it), in
// name order. Names that are not plain file names of the folder are refused.
class FolderCard : public ITestDataCard {
public:
    explicit FolderCard(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    const std::filesystem::path& Folder() const { return m_folder; }

    bool ListDataFiles(std::vector<TestDataFile>& files) override;
    int ReadFirstLine(const std::string& name, std::string& line) override;
    int Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
              const ByteProgress& progress) override;
    int Delete(const std::string& name) override;
    // The copy's date; the controller that recorded it is not known here.
    ResultSource SourceOf(const std::string& name) override;

private:
    // The file of a plain name in the folder; empty for a name that is not one.
    std::filesystem::path PathOf(const std::string& name) const;

    std::filesystem::path m_folder;
};

// The device description a card copy carries: INFOW.INI's hardware block, POSCAL.INI's nine
// offsets and MAGCAL.INI's 27 coefficients, each used when the file is there and complete
// (defaults otherwise). The hardware version is not on the card and is given.
HardwareDescription DescriptionFromFolder(const std::filesystem::path& folder,
                                          int32_t hardwareVersion);
