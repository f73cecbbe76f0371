// Test data on a card without a window: the listings, names, storage texts, result folders,
// download and convert, and deletion, over a card copy in a folder and a card that fails.
#include "common/AtomicFile.h"
#include "recordings/ConvertFile.h"
#include "recordings/CycleSummary.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"
#include "recordings/TestDataAccess.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <regex>

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(KELVASTRA_SOURCE_DIR) / "tests";
// A test's protocol copy: the hardware block (a gold spring in well 1), then the sets.
const std::string kProtocolCopy =
    "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 18.5\nMagnetStyle A100_25\n"
    "MembraneStyle 70A_794um\nRegulatorType SMC1050\nSpringType GoldSpring_13mm_Diam\n"
    "Name\tXFunction\tXUnits\tXMagnitude\nWarm[_]up\tSinusoid\tN\t2\n";

// "card=display:size", and "+size" of the protocol copy when one is listed.
std::vector<std::string> Names(const std::vector<TestDataFile>& files) {
    std::vector<std::string> names;
    for (const TestDataFile& file : files)
        names.push_back(
            file.cardName + "=" + file.displayName + ":" + std::to_string(file.sizeBytes) +
            (file.protocolBytes ? "+" + std::to_string(*file.protocolBytes) : std::string()));
    return names;
}

// A card copy whose fetches and deletions can be made to fail, and that notes its deletions.
struct FaultyCard : FolderCard {
    using FolderCard::FolderCard;
    int Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
              const ByteProgress& progress) override {
        if (name == failFetch)
            return 0;
        if (name == unplugAt)
            return kLineDown;
        const int result = FolderCard::Fetch(name, sink, bytes, progress);
        if (name == shortFetch)
            bytes -= 10; // as if the end byte came early
        return result;
    }
    int Delete(const std::string& name) override {
        deleted.push_back(name);
        if (name == unplugAt)
            return kLineDown;
        return name == undeletable ? -1 : FolderCard::Delete(name);
    }
    std::string failFetch, shortFetch, undeletable, unplugAt;
    std::vector<std::string> deleted;
};

// Files whose name ends with `suffix` are written to /dev/full while it lives.
struct FullDisk {
    explicit FullDisk(const std::string& suffix) {
        AtomicFile::RedirectWritesForTests(suffix, "/dev/full");
    }
    ~FullDisk() { AtomicFile::RedirectWritesForTests({}, {}); }
};

// The folders directly in `folder`, by name.
std::vector<std::string> Folders(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class TestDataTest : public ::testing::Test {
protected:
    // A card copy with one recorded test (the sample raw file), its protocol copy and name.
    void SetUp() override {
        fs::create_directories(card);
        fs::copy_file(kData / "recordings/data/sample_raw.csv", card / "DATA0001.CSV");
        WriteFile(card / "DATA0001.TMT", kProtocolCopy);
        WriteFile(card / "DATA0001.NAM", "MyTest\r\nsecond line\n");
        WriteFile(card / "INFO1.INI", "DATA0001.CSV\n");
    }
    TempFolder temp;
    fs::path card = temp.Path() / "card";
    fs::path out = temp.Path() / "out";
};

TEST(TestDataListing, BothListingFormatsWithFoldersAndTheFilter) {
    const std::vector<std::string> plain = {
        "17962 DATA0001.CSV\r", "414 DATA0001.TMT", "7 DATA0001.NAM",
        "13 INFO1.INI",         "0 SYSTEM~1",       "  55   LONG NAME.CSV ",
        "12 data0002.tmt",      "lonely",           "9 DATA0002.CSV"};
    // Each data file carries the listed size of its protocol copy, found in any case.
    EXPECT_EQ(Names(ParseCardListing(plain, 1540)),
              (std::vector<std::string>{"DATA0001.CSV=DATA0001.CSV:17962+414",
                                        "LONG NAME.CSV=LONG NAME.CSV:55",
                                        "DATA0002.CSV=DATA0002.CSV:9+12"}));

    // Folders set the current folder of their depth; a file joins the folders above it.
    const std::vector<std::string> bracketed = {"[F0_500]DATA0001.CSV",
                                                "[F0_7]DATA0001.NAM",
                                                "[D1]SUB",
                                                "[F1_1234]DATA0003.CSV",
                                                "[D2]DEEP",
                                                "[F2_10]X.CSV",
                                                "[F1_30]DATA0003.TMT",
                                                "[D1]OTHER\r",
                                                "[F1_7]Y.CSV",
                                                "[F0_40]DATA0003.TMT",
                                                "[F2_8]Z.CSV",
                                                "[D11]TOODEEP",
                                                "no bracket",
                                                "[Fx]BROKEN.CSV"};
    EXPECT_EQ(Names(ParseCardListing(bracketed, 1539)),
              (std::vector<std::string>{
                  "DATA0001.CSV=DATA0001.CSV:500", "SUB\\DATA0003.CSV=SUB\\DATA0003.CSV:1234+30",
                  "SUB\\DEEP\\X.CSV=SUB\\DEEP\\X.CSV:10", "OTHER\\Y.CSV=OTHER\\Y.CSV:7",
                  "OTHER\\DEEP\\Z.CSV=OTHER\\DEEP\\Z.CSV:8"}));
    // Ten folders deep is the deepest.
    std::vector<std::string> deep;
    std::string expected;
    for (int d = 1; d <= 10; ++d) {
        deep.push_back("[D" + std::to_string(d) + "]L" + std::to_string(d));
        expected += "L" + std::to_string(d) + "\\";
    }
    deep.push_back("[F10_5]T.CSV");
    EXPECT_EQ(Names(ParseCardListing(deep, 1539)),
              (std::vector<std::string>{expected + "T.CSV=" + expected + "T.CSV:5"}));
}

TEST(TestDataListing, NamesStorageAndResultFolders) {
    EXPECT_EQ(DisplayNameFrom("DATA0001.NAM", "MyTest\r"), "MyTest_0001.csv");
    // The number comes from the file's name, not from its folder's; control characters of the
    // name would break a list's columns and reach a terminal.
    EXPECT_EQ(DisplayNameFrom("SUB\\DATA0003.NAM", "Run"), "Run_0003.csv");
    EXPECT_EQ(DisplayNameFrom("DATA0002.NAM", "Tab\there\x1b[31m\x7f"), "Tab_here_[31m__0002.csv");
    EXPECT_EQ(NameFileOf("SUB.X\\DATA0003"), "SUB.X\\DATA0003.NAM");
    EXPECT_EQ(ProtocolFileOf("DATA0003.CSV"), "DATA0003.TMT");

    const std::vector<TestDataFile> small = {{"A", "A", 50000}, {"B", "B", 10000}};
    const std::vector<TestDataFile> large = {{"A", "A", 12000000}};
    EXPECT_EQ(UsedStorageText(small, 1000000), "< 0.1%");
    EXPECT_EQ(UsedStorageText(large, 1000000), "1.2%");
    EXPECT_EQ(UsedStorageText(small, -1), "60 kB used, capacity unknown");
    EXPECT_EQ(SizeKbText(17962), "17");

    // A file in a card folder lands in a folder of its own name inside its card folders, so the
    // same name in two card folders makes two results.
    const fs::path dir = "/data";
    DownloadPaths paths = DownloadPathsFor({"SUB\\IN\\DATA0003.CSV", "Named_0003.csv", 1}, dir);
    const fs::path result = dir / "SUB" / "IN" / "DATA0003";
    EXPECT_EQ(paths.converted, result / "DATA0003.CSV");
    EXPECT_EQ(paths.protocol, result / "DATA0003.tmt");
    EXPECT_EQ(paths.raw, result / "TestLogs" / "DATA0003_Raw.csv");
    EXPECT_EQ(paths.full, result / "TestLogs" / "DATA0003_Full.csv");
    EXPECT_EQ(DownloadPathsFor({"A\\..\\X.CSV", "X.csv", 1}, dir).resultFolder,
              dir / "A" / "__" / "X");
    // Names to fall back on when another card file has the result folder.
    const TestDataFile other{"WXYZ0001.CSV", "Sample_0001.csv", 1};
    EXPECT_EQ(ResultFolderName(other, 1), "Sample_0001 (WXYZ0001)");
    EXPECT_EQ(ResultFolderName(other, 2), "Sample_0001 (WXYZ0001.CSV)");
    EXPECT_EQ(ResultFolderName(other, 3), "Sample_0001 (WXYZ0001) 2");
    EXPECT_EQ(ResultFolderName(other, 1000), "");
    // Names from the card never leave the folder.
    for (const char* display : {"../../x_0001.csv", "/etc/passwd", "..", "a\\..\\b\x01.csv"}) {
        paths = DownloadPathsFor({"DATA0001.CSV", display, 1}, dir);
        for (const fs::path& path :
             {paths.converted, paths.raw, paths.full, paths.protocol, paths.summary}) {
            EXPECT_EQ(path.lexically_normal(), path);
            EXPECT_EQ(path.string().rfind((dir / "").string(), 0), 0u) << path;
        }
    }
}

TEST_F(TestDataTest, ScanDownloadsAndConvertsLikeTheConverter) {
    WriteFile(card / "DATA0002.CSV", "Time(mS)\n1\n"); // no ".NAM": listed under its own name
    fs::create_directories(card / "FOLDER.CSV");
    FolderCard copy(card);
    std::vector<TestDataFile> files;
    std::vector<std::int64_t> steps;
    ASSERT_TRUE(ScanTestData(copy, copy, files, [&](std::int64_t done, std::int64_t) {
        steps.push_back(done);
        return true;
    }));
    EXPECT_EQ(Names(files),
              (std::vector<std::string>{"DATA0001.CSV=MyTest_0001.csv:" +
                                            std::to_string(fs::file_size(card / "DATA0001.CSV")) +
                                            "+" + std::to_string(kProtocolCopy.size()),
                                        "DATA0002.CSV=DATA0002.CSV:11"}));
    EXPECT_EQ(steps, (std::vector<std::int64_t>{0, 1, 2}));

    std::string message;
    ASSERT_TRUE(PrepareDownloadFolder(out / "new" / "folder", message)) << message;
    HardwareDescription device;
    device.positionOffsets = std::array<int32_t, 9>{5, 0, 0, 0, 0, 0, 0, 0, -5};
    // A copy's date (2024-03-05 12:00 UTC) is kept with its result; who recorded it is not known.
    using namespace std::chrono;
    fs::last_write_time(card / "DATA0001.CSV",
                        file_clock::from_sys(sys_seconds(sys_days(year(2024) / 3 / 5)) + 12h));
    const DownloadResult result = DownloadAndConvert(copy, files[0], out, device);
    ASSERT_EQ(result.status, DownloadResult::Converted) << DownloadMessage(result, files[0]);
    EXPECT_EQ(result.paths.converted, out / "MyTest_0001" / "MyTest_0001.csv");
    EXPECT_EQ(ReadFile(result.paths.protocol), ReadFile(card / "DATA0001.TMT"));
    const std::string source = ReadFile(result.paths.logFolder / kResultSourceFile);
    EXPECT_TRUE(std::regex_match(source, std::regex("Data file date: 2024-03-0[456] \\d\\d:00\n")))
        << source;
    EXPECT_EQ(ReadResultSource(result.paths.resultFolder).dataDate, source.substr(16, 16));

    // The same passes the converter makes with the device's model and the copy's spring.
    const SpringModel spring(Spring::GoldSpring_13mm_Diam);
    ForceModel model(device, &spring);
    ASSERT_EQ(ConvertFile(model, card / "DATA0001.CSV", temp.Path() / "short.csv", true, false),
              ConvertSuccess);
    ASSERT_EQ(ConvertFile(model, card / "DATA0001.CSV", temp.Path() / "full.csv", true, true),
              ConvertSuccess);
    EXPECT_EQ(ReadFile(result.paths.converted), ReadFile(temp.Path() / "short.csv"));
    EXPECT_EQ(ReadFile(result.paths.full), ReadFile(temp.Path() / "full.csv"));
    // The summary beside the converted file, as made from the full file.
    std::string error;
    ASSERT_EQ(SummarizeFullFile(temp.Path() / "full.csv", temp.Path() / "s.csv", error), 0);
    EXPECT_EQ(result.paths.summary, out / "MyTest_0001" / "MyTest_0001_Summary.csv");
    EXPECT_EQ(ReadFile(result.paths.summary), ReadFile(temp.Path() / "s.csv"));

    // A folder that is a file cannot be used, and says so before anything is copied.
    WriteFile(temp.Path() / "plain", "x");
    EXPECT_FALSE(PrepareDownloadFolder(temp.Path() / "plain" / "sub", message));
    EXPECT_NE(message.find("cannot be created or written"), std::string::npos);
    // Nor can a folder that takes no new file, whoever runs the program.
    EXPECT_FALSE(PrepareDownloadFolder("/proc", message));
    EXPECT_NE(message.find("cannot be created or written:\n/proc: "), std::string::npos);
}

TEST_F(TestDataTest, EveryCardFileHasItsOwnResultFolder) {
    // Three tests with one display name: another card name, and a longer number whose first
    // four digits are the same. Each raw file differs, so a replaced result would show.
    const std::string sample = ReadFile(card / "DATA0001.CSV");
    for (const char* stem : {"WXYZ0001", "DATA00010"}) {
        WriteFile(card / (std::string(stem) + ".CSV"),
                  sample + sample.substr(0, sample.find('\n') + 1));
        WriteFile(card / (std::string(stem) + ".NAM"), "MyTest\n");
    }
    fs::copy_file(card / "DATA0001.TMT", card / "WXYZ0001.TMT");
    FolderCard copy(card);
    std::vector<TestDataFile> files;
    ASSERT_TRUE(ScanTestData(copy, copy, files));
    ASSERT_EQ(files.size(), 3u);

    // In the order they are downloaded; a folder already there keeps its test.
    const std::vector<size_t> order = {2, 0, 1}; // WXYZ0001, DATA0001, DATA00010
    for (size_t index : order) {
        const DownloadResult result = DownloadAndConvert(copy, files[index], out, {});
        ASSERT_EQ(result.status, DownloadResult::Converted)
            << DownloadMessage(result, files[index]);
        EXPECT_EQ(ReadFile(result.paths.raw), ReadFile(card / files[index].cardName));
    }
    EXPECT_EQ(Folders(out), (std::vector<std::string>{"MyTest_0001", "MyTest_0001 (DATA0001)",
                                                      "MyTest_0001 (DATA00010)"}));
    EXPECT_EQ(ReadFile(out / "MyTest_0001" / "TestLogs" / "MyTest_0001_Raw.csv"),
              ReadFile(card / "WXYZ0001.CSV"));
    // Downloading again replaces its own result only. DATA00010 has no protocol copy on the card:
    // it is converted all the same, as a copy with the defaults would give.
    DownloadResult again = DownloadAndConvert(copy, files[1], out, {});
    EXPECT_EQ(again.paths.resultFolder, out / "MyTest_0001 (DATA00010)");
    EXPECT_EQ(Folders(out).size(), 3u);
    EXPECT_EQ(DownloadMessage(again, files[1]),
              "Warning:  MyTest_0001: No protocol copy on the card; converted with the default "
              "spring");
    EXPECT_FALSE(fs::exists(again.paths.protocol));
    const SpringModel spring(HardwareDescription{}.SpringType);
    ForceModel model(HardwareDescription{}, &spring);
    ASSERT_EQ(ConvertFile(model, card / "DATA00010.CSV", temp.Path() / "full.csv", true, true),
              ConvertSuccess);
    EXPECT_EQ(ReadFile(again.paths.full), ReadFile(temp.Path() / "full.csv"));
    for (const TestDataFile& file : files)
        EXPECT_TRUE(HasDownloadedCopy(file, out)) << file.cardName;

    // A copy of another size is not this test's; a folder nobody made for a test is not used,
    // an empty one is.
    TestDataFile grown = files[0];
    grown.sizeBytes += 1;
    EXPECT_FALSE(HasDownloadedCopy(grown, out));
    const fs::path other = temp.Path() / "other";
    fs::create_directories(other / "MyTest_0001");
    WriteFile(other / "MyTest_0001" / "notes.txt", "mine");
    fs::create_directories(other / "MyTest_0001 (DATA0001)");
    EXPECT_FALSE(HasDownloadedCopy(files[0], other));
    again = DownloadAndConvert(copy, files[0], other, {});
    EXPECT_EQ(again.paths.resultFolder, other / "MyTest_0001 (DATA0001)");
    EXPECT_EQ(ReadFile(other / "MyTest_0001" / "notes.txt"), "mine");
}

TEST_F(TestDataTest, FailedDownloadsKeepNothingAndSayWhy) {
    FaultyCard faulty(card);
    std::vector<TestDataFile> files;
    ScanTestData(faulty, faulty, files);
    const TestDataFile file = files.at(0);
    const auto incomplete = [](int64_t size, const char* name) {
        return "Error:  Download Incomplete\nMyTest_0001: " + std::to_string(size - 10) + " of " +
               std::to_string(size) + " bytes of " + name + " arrived; nothing was converted.\n" +
               kEndByteCause;
    };
    const struct {
        std::string FaultyCard::*fault;
        const char* name;
        std::string message;
    } cases[] = {
        {&FaultyCard::failFetch, "DATA0001.CSV",
         "Error:  Download Failed\nMyTest_0001: DATA0001.CSV did not come from the card."},
        {&FaultyCard::failFetch, "DATA0001.TMT",
         "Error:  Download Failed\nMyTest_0001: DATA0001.TMT did not come from the card."},
        {&FaultyCard::unplugAt, "DATA0001.CSV",
         "Error:  The controller was disconnected during the download of MyTest_0001."},
        {&FaultyCard::shortFetch, "DATA0001.CSV", incomplete(file.sizeBytes, "DATA0001.CSV")},
        {&FaultyCard::shortFetch, "DATA0001.TMT",
         incomplete(static_cast<int64_t>(kProtocolCopy.size()), "DATA0001.TMT")},
    };
    for (const auto& c : cases) {
        faulty.*c.fault = c.name;
        const DownloadResult result = DownloadAndConvert(faulty, file, out, {});
        EXPECT_EQ(DownloadMessage(result, file), c.message);
        EXPECT_TRUE(Folders(out).empty()) << c.message;
        faulty.*c.fault = "";
    }

    // A full disk for the raw copy while it arrives (larger than a write buffer) and when it
    // is completed, and for a conversion; a folder the system refuses.
    SKIP_ON_WINDOWS("no /dev/full on Windows");
    std::string large = ReadFile(card / "DATA0001.CSV");
    const std::string body = large.substr(large.find('\n') + 1);
    while (large.size() < 100000)
        large += body;
    WriteFile(card / "DATA0002.CSV", large);
    fs::copy_file(card / "DATA0001.TMT", card / "DATA0002.TMT");
    ScanTestData(faulty, faulty, files);
    for (const TestDataFile& filled : {files.at(0), files.at(1)}) {
        const FullDisk full("_Raw.csv");
        const DownloadResult result = DownloadAndConvert(faulty, filled, out, {});
        EXPECT_EQ(result.status, DownloadResult::NotSaved);
        EXPECT_EQ(DownloadMessage(result, filled),
                  "Error:  No space left on the disk for " + result.paths.raw.string());
        EXPECT_TRUE(Folders(out).empty());
    }
    {
        const FullDisk full("_Full.csv");
        const DownloadResult result = DownloadAndConvert(faulty, file, out, {});
        EXPECT_EQ(DownloadMessage(result, file),
                  "Error:  No space left on the disk for " + result.paths.full.string());
        EXPECT_FALSE(fs::exists(result.paths.full));
        EXPECT_TRUE(fs::exists(result.paths.raw)); // what arrived whole stays
    }
    const std::string longName(300, 'L');
    const TestDataFile unwritable{"DATA0001.CSV", longName + "_0001.csv", file.sizeBytes,
                                  file.protocolBytes};
    const DownloadResult refused = DownloadAndConvert(faulty, unwritable, out, {});
    EXPECT_EQ(DownloadMessage(refused, unwritable), "Error:  Cannot Open File for Writing\n" +
                                                        (out / (longName + "_0001")).string() +
                                                        ": " + std::strerror(ENAMETOOLONG));

    // The raw copy arrived whole but cannot take its place in the test's own folder.
    fs::remove_all(out);
    ASSERT_EQ(DownloadAndConvert(faulty, file, out, {}).status, DownloadResult::Converted);
    const DownloadPaths paths = ResultPathsFor(file, out);
    fs::remove(paths.raw);
    fs::create_directories(paths.raw);
    const DownloadResult unsaved = DownloadAndConvert(faulty, file, out, {});
    EXPECT_EQ(unsaved.status, DownloadResult::NotSaved);
    EXPECT_EQ(DownloadMessage(unsaved, file)
                  .rfind("Error:  MyTest_0001 arrived whole but could "
                         "not be saved:\n" +
                             paths.raw.string() + "\n",
                         0),
              0u);
    EXPECT_TRUE(fs::exists(paths.converted)); // the earlier result stays
}

TEST_F(TestDataTest, DeletionsGoFromTheHighestRowAndTellWhatStays) {
    for (const char* name : {"DATA0002.CSV", "DATA0003.CSV"})
        WriteFile(card / name, "x");
    FaultyCard faulty(card);
    std::vector<TestDataFile> files;
    ScanTestData(faulty, faulty, files);
    ASSERT_EQ(files.size(), 3u);

    faulty.undeletable = "DATA0002.CSV";
    DeletionReport report = DeleteSelectedFiles(faulty, files, {0, 2, 1});
    // Companions of a file without them are no failure; a file that stays keeps its companions.
    EXPECT_EQ(faulty.deleted, (std::vector<std::string>{
                                  "DATA0003.CSV", "DATA0003.TMT", "DATA0003.NAM", "DATA0002.CSV",
                                  "DATA0001.CSV", "DATA0001.TMT", "DATA0001.NAM"}));
    EXPECT_EQ(Names(files), std::vector<std::string>{"DATA0002.CSV=DATA0002.CSV:1"});
    EXPECT_EQ(DeletionMessages(report),
              std::vector<std::string>{"Error:  File Not Deleted\nDATA0002"});
    EXPECT_FALSE(fs::exists(card / "DATA0001.NAM"));
    EXPECT_TRUE(fs::exists(card / "INFO1.INI"));

    // A companion that stays is told: without its data file it is listed no more.
    WriteFile(card / "DATA0004.CSV", "x");
    WriteFile(card / "DATA0004.TMT", "x");
    WriteFile(card / "DATA0004.NAM", "Kept\n");
    ScanTestData(faulty, faulty, files);
    faulty.undeletable = "DATA0004.TMT";
    report = DeleteSelectedFiles(faulty, files, {1});
    EXPECT_EQ(DeletionMessages(report),
              std::vector<std::string>{"Error:  Kept_0004 was deleted, but DATA0004.TMT could not "
                                       "be deleted and stays on the card."});
    EXPECT_EQ(files.size(), 1u);

    // Delete All stops at the file that stays, once, and at a line that went down.
    WriteFile(card / "DATA0000.CSV", "x");
    faulty.undeletable = "DATA0002.CSV";
    ScanTestData(faulty, faulty, files);
    faulty.deleted.clear();
    report = DeleteAllFiles(faulty, files);
    EXPECT_EQ(DeletionMessages(report),
              std::vector<std::string>{"Error:  File Not Deleted\nDATA0002"});
    EXPECT_EQ(faulty.deleted.size(), 4u);
    EXPECT_EQ(files.size(), 1u);
    faulty.unplugAt = "DATA0002.CSV";
    report = DeleteAllFiles(faulty, files);
    EXPECT_EQ(DeletionMessages(report),
              std::vector<std::string>{
                  "Error:  The controller was disconnected during the deletion of DATA0002."});
    EXPECT_EQ(files.size(), 1u);

    EXPECT_EQ(DeleteQuestion(2, {files[0]}, false),
              "Delete 2 tests from the card? DATA0002 has not been downloaded.");
    EXPECT_EQ(
        DeleteQuestion(3, {{"A", "A_0001.csv", 1}, {"B", "B_0002.csv", 1}, {"C", "C", 1}}, true),
        "Delete 3 tests from the folder? A_0001, B_0002 and C have not been downloaded.");
}

TEST_F(TestDataTest, CardCopyDescription) {
    std::ofstream(card / "INFOW.INI") << "##HARDWARE\nKelvastra TR\nFirmwareVersion 1500\n"
                                         "WellDepth_mm 20\nMagnetStyle A25_10\nMembraneStyle "
                                         "Hydrostatic\nRegulatorType QPV1\nSpringType NoSpring\n";
    std::string offsets;
    for (int i = 1; i <= 9; ++i)
        offsets += std::to_string(i * 10) + (i < 9 ? "\n" : "");
    WriteFile(card / "poscal.ini", offsets);    // any case, as on the card
    WriteFile(card / "MAGCAL.INI", "1.5\n2\n"); // not 27 lines: not taken
    const HardwareDescription description = DescriptionFromFolder(card, 1234);
    EXPECT_EQ(description.MembraneStyle, Membrane::Hydrostatic); // the values are INFOW.INI's
    EXPECT_EQ(description.positionOffsets.value_or(std::array<int32_t, 9>{})[8], 90);
    EXPECT_FALSE(description.displacementCoefficients);
    // Without the files: the default description.
    EXPECT_EQ(DescriptionFromFolder(out, 1000), HardwareDescription{});

    // A card file that cannot be read is no fetched file.
    fs::create_directories(card / "DATA0009.CSV");
    FolderCard copy(card);
    long long bytes = 0;
    EXPECT_EQ(copy.Fetch("DATA0009.CSV", [](std::string_view) { return true; }, bytes, {}), 0);
}

} // namespace
