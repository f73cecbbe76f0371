// Test data on a card without a window: the listings, names, storage texts, result folders,
// download and convert, and deletion, over a card copy in a folder and a card that fails.
#include "recordings/ConvertFile.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"
#include "recordings/TestDataAccess.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(KELVASTRA_SOURCE_DIR) / "tests";
// A test's protocol copy: the hardware block (a gold spring in well 1), then the sets.
const std::string kProtocolCopy =
    "##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 18.5\nMagnetStyle A100_25\n"
    "MembraneStyle 70A_794um\nRegulatorType SMC1050\nSpringType GoldSpring_13mm_Diam\n"
    "Name\tXFunction\tXUnits\tXMagnitude\nWarm[_]up\tSinusoid\tN\t2\n";

std::vector<std::string> Names(const std::vector<TestDataFile>& files) {
    std::vector<std::string> names;
    for (const TestDataFile& file : files)
        names.push_back(file.cardName + "=" + file.displayName + ":" +
                        std::to_string(file.sizeBytes));
    return names;
}

// A card copy whose fetches and deletions can be made to fail, and that notes its deletions.
struct FaultyCard : FolderCard {
    using FolderCard::FolderCard;
    int Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
              const ByteProgress& progress) override {
        if (name == failFetch)
            return 0;
        const int result = FolderCard::Fetch(name, sink, bytes, progress);
        if (name == shortFetch)
            bytes -= 10; // as if the end byte came early
        return result;
    }
    int Delete(const std::string& name) override {
        deleted.push_back(name);
        return name == undeletable ? -1 : FolderCard::Delete(name);
    }
    std::string failFetch, shortFetch, undeletable;
    std::vector<std::string> deleted;
};

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
    EXPECT_EQ(Names(ParseCardListing(plain, 1540)),
              (std::vector<std::string>{"DATA0001.CSV=DATA0001.CSV:17962",
                                        "LONG NAME.CSV=LONG NAME.CSV:55",
                                        "DATA0002.CSV=DATA0002.CSV:9"}));

    // Folders set the current folder of their depth; a file joins the folders above it.
    const std::vector<std::string> bracketed = {
        "[F0_500]DATA0001.CSV",  "[F0_7]DATA0001.NAM", "[D1]SUB",
        "[F1_1234]DATA0003.CSV", "[D2]DEEP",           "[F2_10]X.CSV",
        "[D1]OTHER\r",           "[F1_7]Y.CSV",        "[F2_8]Z.CSV",
        "[D11]TOODEEP",          "no bracket",         "[Fx]BROKEN.CSV"};
    EXPECT_EQ(Names(ParseCardListing(bracketed, 1539)),
              (std::vector<std::string>{
                  "DATA0001.CSV=DATA0001.CSV:500", "SUB\\DATA0003.CSV=SUB\\DATA0003.CSV:1234",
                  "SUB\\DEEP\\X.CSV=SUB\\DEEP\\X.CSV:10", "OTHER\\Y.CSV=OTHER\\Y.CSV:7",
                  "OTHER\\DEEP\\Z.CSV=OTHER\\DEEP\\Z.CSV:8"}));
}

TEST(TestDataListing, NamesStorageAndResultFolders) {
    EXPECT_EQ(DisplayNameFrom("DATA0001.NAM", "MyTest\r"), "MyTest_0001.csv");
    EXPECT_EQ(NameFileOf("SUB.X\\DATA0003"), "SUB.X\\DATA0003.NAM");
    EXPECT_EQ(ProtocolFileOf("DATA0003.CSV"), "DATA0003.TMT");

    const std::vector<TestDataFile> small = {{"A", "A", 50000}, {"B", "B", 10000}};
    const std::vector<TestDataFile> large = {{"A", "A", 12000000}};
    EXPECT_EQ(UsedStorageText(small, 1000000), "< 0.1%");
    EXPECT_EQ(UsedStorageText(large, 1000000), "1.2%");
    EXPECT_EQ(UsedStorageText(small, -1), "60 kB used, capacity unknown");
    EXPECT_EQ(SizeKbText(17962), "17");

    // A file in a card folder lands in a folder of its own name.
    const fs::path dir = "/data";
    DownloadPaths paths = DownloadPathsFor({"SUB\\DATA0003.CSV", "Named_SUB\\.csv", 1}, dir);
    EXPECT_EQ(paths.converted, dir / "DATA0003" / "DATA0003.CSV");
    EXPECT_EQ(paths.protocol, dir / "DATA0003" / "DATA0003.tmt");
    EXPECT_EQ(paths.raw, dir / "DATA0003" / "TestLogs" / "DATA0003_Raw.csv");
    EXPECT_EQ(paths.full, dir / "DATA0003" / "TestLogs" / "DATA0003_Full.csv");
    // Names from the card never leave the folder.
    for (const char* display : {"../../x_0001.csv", "/etc/passwd", "..", "a\\..\\b\x01.csv"}) {
        paths = DownloadPathsFor({"DATA0001.CSV", display, 1}, dir);
        for (const fs::path& path : {paths.converted, paths.raw, paths.full, paths.protocol}) {
            EXPECT_EQ(path.lexically_normal(), path);
            EXPECT_EQ(path.string().rfind("/data/", 0), 0u) << path;
        }
    }
    EXPECT_EQ(SafeFileName("../../x_0001.csv"), ".._.._x_0001.csv");
    EXPECT_EQ(SafeFileName(".."), "__");
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
                                            std::to_string(fs::file_size(card / "DATA0001.CSV")),
                                        "DATA0002.CSV=DATA0002.CSV:11"}));
    EXPECT_EQ(steps, (std::vector<std::int64_t>{0, 1, 2}));

    std::string message;
    ASSERT_TRUE(PrepareDownloadFolder(out / "new" / "folder", message)) << message;
    HardwareDescription device;
    device.positionOffsets = std::array<int32_t, 9>{5, 0, 0, 0, 0, 0, 0, 0, -5};
    const DownloadResult result = DownloadAndConvert(copy, files[0], out, device);
    ASSERT_EQ(result.status, DownloadResult::Converted) << DownloadMessage(result, files[0]);
    EXPECT_EQ(result.paths.converted, out / "MyTest_0001" / "MyTest_0001.csv");
    EXPECT_EQ(ReadFile(result.paths.raw), ReadFile(card / "DATA0001.CSV"));
    EXPECT_EQ(ReadFile(result.paths.protocol), ReadFile(card / "DATA0001.TMT"));

    // The same passes the converter makes with the device's model and the copy's spring.
    const SpringModel spring(Spring::GoldSpring_13mm_Diam);
    ForceModel model(device, &spring);
    ASSERT_EQ(ConvertFile(model, card / "DATA0001.CSV", temp.Path() / "short.csv", true, false),
              ConvertSuccess);
    ASSERT_EQ(ConvertFile(model, card / "DATA0001.CSV", temp.Path() / "full.csv", true, true),
              ConvertSuccess);
    EXPECT_EQ(ReadFile(result.paths.converted), ReadFile(temp.Path() / "short.csv"));
    EXPECT_EQ(ReadFile(result.paths.full), ReadFile(temp.Path() / "full.csv"));

    // A folder that is a file cannot be used, and says so before anything is copied.
    WriteFile(temp.Path() / "plain", "x");
    EXPECT_FALSE(PrepareDownloadFolder(temp.Path() / "plain" / "sub", message));
    EXPECT_NE(message.find("cannot be created or written"), std::string::npos);
}

TEST_F(TestDataTest, FailedShortAndTemplateLessDownloadsConvertNothing) {
    FaultyCard faulty(card);
    const TestDataFile file{"DATA0001.CSV", "MyTest_0001.csv",
                            static_cast<int32_t>(fs::file_size(card / "DATA0001.CSV"))};
    const DownloadPaths paths = DownloadPathsFor(file, out);

    faulty.failFetch = "DATA0001.CSV";
    DownloadResult result = DownloadAndConvert(faulty, file, out, {});
    EXPECT_EQ(DownloadMessage(result, file), "Error:  Download Failed\nDATA0001.CSV");

    faulty.failFetch.clear();
    faulty.shortFetch = "DATA0001.CSV";
    result = DownloadAndConvert(faulty, file, out, {});
    EXPECT_EQ(result.status, DownloadResult::Incomplete);
    EXPECT_NE(DownloadMessage(result, file).find("Download Incomplete"), std::string::npos);
    EXPECT_NE(DownloadMessage(result, file).find(kEndByteCause), std::string::npos);
    EXPECT_FALSE(fs::exists(paths.raw));
    EXPECT_FALSE(fs::exists(paths.converted));
    EXPECT_EQ(std::distance(fs::directory_iterator(paths.logFolder), fs::directory_iterator()), 0)
        << "no temporary file is left";

    faulty.shortFetch.clear();
    fs::create_directories(paths.raw); // the raw copy arrives whole but cannot take its place
    EXPECT_EQ(DownloadAndConvert(faulty, file, out, {}).status, DownloadResult::NotSaved);
    fs::remove(paths.raw);
    fs::remove(card / "DATA0001.TMT");
    result = DownloadAndConvert(faulty, file, out, {});
    EXPECT_EQ(DownloadMessage(result, file), "Error:  Cannot Open Template File");
    EXPECT_TRUE(fs::exists(paths.raw));
    EXPECT_FALSE(fs::exists(paths.converted));
}

TEST_F(TestDataTest, DeletionsGoFromTheHighestRowAndDeleteAllEnds) {
    for (const char* name : {"DATA0002.CSV", "DATA0003.CSV"})
        WriteFile(card / name, "x");
    FaultyCard faulty(card);
    std::vector<TestDataFile> files;
    ScanTestData(faulty, faulty, files);
    ASSERT_EQ(files.size(), 3u);

    faulty.undeletable = "DATA0002.CSV";
    EXPECT_EQ(DeleteSelectedFiles(faulty, files, {0, 2, 1}),
              std::vector<std::string>{"DATA0002.CSV"});
    // Companions of a file without them are no failure; a file that stays keeps its companions.
    EXPECT_EQ(faulty.deleted, (std::vector<std::string>{
                                  "DATA0003.CSV", "DATA0003.TMT", "DATA0003.NAM", "DATA0002.CSV",
                                  "DATA0001.CSV", "DATA0001.TMT", "DATA0001.NAM"}));
    EXPECT_EQ(Names(files), std::vector<std::string>{"DATA0002.CSV=DATA0002.CSV:1"});
    EXPECT_FALSE(fs::exists(card / "DATA0001.NAM"));
    EXPECT_TRUE(fs::exists(card / "INFO1.INI"));

    // Delete All stops at the file that stays, once.
    WriteFile(card / "DATA0000.CSV", "x");
    ScanTestData(faulty, faulty, files);
    faulty.deleted.clear();
    EXPECT_EQ(DeleteAllFiles(faulty, files), "DATA0002.CSV");
    EXPECT_EQ(faulty.deleted.size(), 4u);
    EXPECT_EQ(files.size(), 1u);
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
    EXPECT_EQ(description.hardwareVersion, 1234);
    EXPECT_EQ(description.MembraneStyle, Membrane::Hydrostatic);
    EXPECT_EQ(description.RegulatorType, Regulator::QPV1);
    EXPECT_EQ(description.WellDepth_mm, 20);
    ASSERT_TRUE(description.positionOffsets);
    EXPECT_EQ((*description.positionOffsets)[8], 90);
    EXPECT_FALSE(description.displacementCoefficients);
    // Without the files: the default description.
    EXPECT_EQ(DescriptionFromFolder(out, 1000), HardwareDescription{});
}

} // namespace
