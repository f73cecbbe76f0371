#include "recordings/TestDataAccess.h"

#include "common/AtomicFile.h"
#include "recordings/ConvertFile.h"
#include "recordings/DirUtilL.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Lines of a file, for the conversions' progress (a pass over a file in the page cache is
// quick next to the conversion itself).
long long CountLines(const fs::path& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file)
        return 0;
    std::vector<char> chunk(1 << 20);
    long long lines = 0;
    for (;;) {
        const size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        if (got == 0)
            break;
        for (const char* p = chunk.data(), *end = p + got;
             (p = static_cast<const char*>(std::memchr(p, '\n', end - p))) != nullptr; ++p)
            ++lines;
    }
    return lines;
}

constexpr int kWrongSize = 2;

// Copies a card file into `target` through a temporary file. 1, -1 when the local file cannot
// be made, 0 when the copy failed, kWrongSize when another size than expected arrived (the
// target is untouched unless 1).
int FetchInto(ITestDataCard& card, const std::string& name, const fs::path& target,
              long long& bytes, const ITestDataCard::ByteProgress& progress,
              long long expectedBytes = -1) {
    bytes = 0;
    AtomicFile out(target);
    if (!out.Open())
        return -1;
    if (card.Fetch(name, out, bytes, progress) != 1)
        return 0;
    if (expectedBytes >= 0 && bytes != expectedBytes)
        return kWrongSize;
    return out.Commit() ? 1 : -1;
}

} // namespace

bool ScanTestData(ITestDataCard& files, ITestDataCard& names, std::vector<TestDataFile>& found,
                  const ProgressFn& progress) {
    found.clear();
    const bool listed = files.ListDataFiles(found);
    const auto total = static_cast<std::int64_t>(found.size());
    if (progress)
        progress(0, total);
    for (size_t i = 0; i < found.size(); ++i) {
        const std::string nameFile = NameFileOf(found[i].cardName);
        std::string line;
        if (names.ReadFirstLine(nameFile, line) == 1)
            found[i].displayName = DisplayNameFrom(nameFile, line);
        if (progress && !progress(static_cast<std::int64_t>(i) + 1, total))
            break; // stopped: the rest keep their card names
    }
    return listed;
}

bool PrepareDownloadFolder(const fs::path& folder, std::string& message) {
    const auto fail = [&] {
        message = "Error:  The download folder cannot be created or written:\n" + folder.string();
        return false;
    };
    if (folder.empty() || DirUtilL::CreateDirectoryPath(folder) != 1)
        return fail();
    AtomicFile probe(folder / ".kelvastra-write-check");
    if (!probe.Open())
        return fail();
    probe.Abort();
    return true;
}

DownloadResult DownloadAndConvert(ITestDataCard& card, const TestDataFile& file,
                                  const fs::path& folder, const HardwareDescription& device,
                                  const ProgressFn& progress,
                                  const std::function<void(DownloadStage)>& stage) {
    DownloadResult result;
    result.paths = DownloadPathsFor(file, folder);
    const DownloadPaths& paths = result.paths;
    auto report = [&](std::int64_t done, std::int64_t total) {
        if (progress)
            progress(done, total);
    };
    auto enter = [&](DownloadStage next) {
        if (stage)
            stage(next);
    };

    if (DirUtilL::CreateDirectoryPath(paths.logFolder) != 1) {
        result.status = DownloadResult::CannotWrite;
        return result;
    }

    enter(DownloadStage::Downloading);
    const std::int64_t kilobytes = file.sizeBytes / 1000;
    report(0, kilobytes);
    const int fetched =
        FetchInto(card, file.cardName, paths.raw, result.bytes,
                  [&](long long bytes) { report(std::min<std::int64_t>(bytes / 1000, kilobytes), kilobytes); },
                  file.sizeBytes);
    report(0, kilobytes);
    if (fetched == -1) {
        result.status = DownloadResult::CannotWrite;
        return result;
    }
    if (fetched != 1) {
        result.status = fetched == kWrongSize ? DownloadResult::Incomplete : DownloadResult::Failed;
        return result;
    }

    enter(DownloadStage::Processing);
    long long protocolBytes = 0;
    if (FetchInto(card, ProtocolFileOf(file.cardName), paths.protocol, protocolBytes, {}) != 1) {
        result.status = DownloadResult::NoTemplate;
        return result;
    }
    std::ifstream protocol(paths.protocol, std::ios::binary);
    if (!protocol) {
        result.status = DownloadResult::NoTemplate;
        return result;
    }
    // The protocol copy contributes only its spring type; the rest is the controller's.
    HardwareDescription copy;
    ReadLeadingHardwareBlock(protocol, copy);
    protocol.close();
    const SpringModel spring(copy.SpringType);
    ForceModel model(device, &spring);

    const long long lines = std::max<long long>(1, CountLines(paths.raw));
    report(0, 100);
    struct Pass {
        const fs::path& output;
        bool full;
        int from;
    };
    for (const Pass& pass : {Pass{paths.converted, false, 0}, Pass{paths.full, true, 50}}) {
        const int converted =
            ConvertFile(model, paths.raw, pass.output, spring.valid, pass.full, [&](int done) {
                report(pass.from + std::min<long long>(50, done * 50LL / lines), 100);
            });
        if (converted != ConvertSuccess) {
            result.status = DownloadResult::ConvertFailed;
            return result;
        }
    }
    report(100, 100);
    enter(DownloadStage::Complete);
    return result;
}

std::string DownloadMessage(const DownloadResult& result, const TestDataFile& file) {
    switch (result.status) {
    case DownloadResult::Converted:
        return {};
    case DownloadResult::CannotWrite:
        return "Error:  Cannot Open File for Writing";
    case DownloadResult::Failed:
        return "Error:  Download Failed\n" + file.cardName;
    case DownloadResult::Incomplete:
        return "Error:  Download Incomplete\n" + file.cardName + ": " +
               std::to_string(result.bytes) + " of " + std::to_string(file.sizeBytes) +
               " bytes arrived; nothing was converted";
    case DownloadResult::NoTemplate:
        return "Error:  Cannot Open Template File";
    case DownloadResult::ConvertFailed:
        return "Error:  Conversion Failed\n" + result.paths.converted.string();
    }
    return {};
}

int DeleteTestDataFile(ITestDataCard& card, const std::string& cardName) {
    if (card.Delete(cardName) != 1)
        return -1;
    card.Delete(ProtocolFileOf(cardName));
    card.Delete(NameFileOf(cardName));
    return 1;
}

std::vector<std::string> DeleteSelectedFiles(ITestDataCard& card, std::vector<TestDataFile>& files,
                                             std::vector<int> indices) {
    std::sort(indices.begin(), indices.end(), std::greater<>());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::vector<std::string> failed;
    for (int index : indices) {
        if (index < 0 || static_cast<size_t>(index) >= files.size())
            continue;
        const std::string name = files[static_cast<size_t>(index)].cardName;
        if (DeleteTestDataFile(card, name) == 1)
            files.erase(files.begin() + index);
        else
            failed.push_back(name);
    }
    return failed;
}

std::string DeleteAllFiles(ITestDataCard& card, std::vector<TestDataFile>& files) {
    while (!files.empty()) {
        if (DeleteTestDataFile(card, files.front().cardName) != 1)
            return files.front().cardName;
        files.erase(files.begin());
    }
    return {};
}
