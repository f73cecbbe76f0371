#include "recordings/TestDataAccess.h"

#include "common/AtomicFile.h"
#include "common/RegularFile.h"
#include "common/TextLines.h"
#include "common/platform/Process.h"
#include "recordings/ConvertFile.h"
#include "recordings/CycleSummary.h"
#include "recordings/DirUtilL.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

// How a copy of a card file into a local file went.
struct Fetched {
    enum Status { Whole, Failed, LineDown, WrongSize, NotSaved };
    Status status = Whole;
    long long bytes = 0;
};

// Copies a card file into the open `out` (not committed), handing every piece to `tee` as well.
// `expectedBytes` (when not negative) is the size the listing gave. A failed local write is
// NotSaved, with the reason in `out`.
Fetched FetchInto(ITestDataCard& card, const std::string& name, AtomicFile& out,
                  const ITestDataCard::ByteProgress& progress, long long expectedBytes,
                  const ITestDataCard::ByteSink& tee = {}) {
    Fetched fetched;
    bool writeFailed = false;
    const auto sink = [&](std::string_view piece) {
        if (!out.Write(piece)) {
            writeFailed = true;
            return false;
        }
        return !tee || tee(piece);
    };
    const int result = card.Fetch(name, sink, fetched.bytes, progress);
    if (writeFailed)
        fetched.status = Fetched::NotSaved;
    else if (result == ITestDataCard::kLineDown)
        fetched.status = Fetched::LineDown;
    else if (result != 1)
        fetched.status = Fetched::Failed;
    else if (expectedBytes >= 0 && fetched.bytes != expectedBytes)
        fetched.status = Fetched::WrongSize;
    return fetched;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// Who a result folder belongs to.
enum class FolderUse { Missing, Ours, Unused, Taken };

FolderUse UseOf(const fs::path& resultFolder, const std::string& cardName) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(resultFolder, error);
    // A name the system cannot even look at (too long, say) counts as missing: making it then
    // fails with the system's own reason.
    if (status.type() == fs::file_type::not_found || status.type() == fs::file_type::none)
        return FolderUse::Missing;
    if (status.type() != fs::file_type::directory)
        return FolderUse::Taken;
    std::ifstream owner(resultFolder / "TestLogs" / kResultOwnerFile, std::ios::binary);
    std::string line;
    if (owner && std::getline(owner, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        return SameIgnoringCase(line, cardName) ? FolderUse::Ours : FolderUse::Taken;
    }
    // A folder without an owner is taken unless it holds nothing at all (made by hand, or left
    // by an older download of whichever card file).
    return fs::is_empty(resultFolder, error) && !error ? FolderUse::Unused : FolderUse::Taken;
}

struct ResultFolders {
    std::optional<fs::path> ours; // made by an earlier download of this card file
    std::optional<fs::path> free; // the first one no card file has taken
};

ResultFolders FindResultFolders(const TestDataFile& file, const fs::path& folder) {
    const fs::path parent = DownloadPathsFor(file, folder).resultFolder.parent_path();
    ResultFolders found;
    for (int index = 0;; ++index) {
        const std::string name = ResultFolderName(file, index);
        if (name.empty())
            break;
        const fs::path candidate = parent / name;
        const FolderUse use = UseOf(candidate, file.cardName);
        if (use == FolderUse::Ours) {
            found.ours = candidate;
            break;
        }
        if (!found.free && use != FolderUse::Taken)
            found.free = candidate;
        // The numbered names are given in turn: none is in use past a missing one.
        if (use == FolderUse::Missing && index >= 2)
            break;
    }
    return found;
}

// A conversion thread runs at a lower priority than the transfer: the transfer is what the
// line waits for, and the conversions catch up with what has arrived in the time it leaves.
void YieldToTheTransfer() {
    platform::LowerThreadPriority();
}

// The bytes of a download handed on to readers on other threads as they arrive: each reader
// gets every byte in order; pieces every reader has passed are freed, and the writer waits while
// too much is held. The end tells whether the download was complete.
class Feed {
public:
    explicit Feed(int readers) : m_cursors(static_cast<size_t>(readers)) {}

    void Write(std::string_view bytes) {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return m_held < kHeldLimit || !AnyReader(); });
        m_pieces.emplace_back(bytes);
        m_held += bytes.size();
        m_lines += std::count(bytes.begin(), bytes.end(), '\n');
        m_arrived.notify_all();
    }
    void End(bool complete) {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_complete = complete;
        m_arrived.notify_all();
    }
    // Reader `k`: up to `capacity` bytes; 0 at the end of a complete download, -1 when it broke
    // off.
    long long Read(int k, char* buffer, size_t capacity) {
        std::unique_lock lock(m_mutex);
        Cursor& cursor = m_cursors[static_cast<size_t>(k)];
        m_arrived.wait(lock, [&] { return cursor.piece < m_first + m_pieces.size() || m_ended; });
        if (cursor.piece >= m_first + m_pieces.size())
            return m_complete ? 0 : -1;
        size_t copied = 0;
        while (copied < capacity && cursor.piece < m_first + m_pieces.size()) {
            const std::string& piece = m_pieces[cursor.piece - m_first];
            const size_t n = std::min(capacity - copied, piece.size() - cursor.offset);
            std::memcpy(buffer + copied, piece.data() + cursor.offset, n);
            copied += n;
            cursor.offset += n;
            if (cursor.offset == piece.size()) {
                ++cursor.piece;
                cursor.offset = 0;
            }
        }
        Trim();
        return static_cast<long long>(copied);
    }
    // Reader `k` reads no more.
    void Leave(int k) {
        std::lock_guard lock(m_mutex);
        m_cursors[static_cast<size_t>(k)].active = false;
        Trim();
    }
    long long Lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    static constexpr size_t kHeldLimit = size_t{32} << 20;
    struct Cursor {
        size_t piece = 0; // counted from the first piece ever written
        size_t offset = 0;
        bool active = true;
    };

    bool AnyReader() const {
        return std::any_of(m_cursors.begin(), m_cursors.end(),
                           [](const Cursor& c) { return c.active; });
    }
    void Trim() {
        size_t lowest = m_first + m_pieces.size();
        for (const Cursor& cursor : m_cursors) {
            if (cursor.active)
                lowest = std::min(lowest, cursor.piece);
        }
        while (m_first < lowest) {
            m_held -= m_pieces.front().size();
            m_pieces.pop_front();
            ++m_first;
        }
        m_room.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_arrived, m_room;
    std::deque<std::string> m_pieces;
    size_t m_first = 0;
    size_t m_held = 0;
    long long m_lines = 0;
    std::vector<Cursor> m_cursors;
    bool m_ended = false;
    bool m_complete = false;
};

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

namespace {

std::string Reason(const std::error_code& error) {
    return error ? error.message() : std::string("unknown reason");
}

bool DiskFull(int errorNumber) {
#ifdef EDQUOT
    if (errorNumber == EDQUOT)
        return true;
#endif
    return errorNumber == ENOSPC;
}

std::string NoSpaceFor(const fs::path& path) {
    return "Error:  No space left on the disk for " + path.string();
}

} // namespace

bool PrepareDownloadFolder(const fs::path& folder, std::string& message) {
    const auto fail = [&](const fs::path& where, const std::string& reason) {
        message = "Error:  The download folder cannot be created or written:\n" + where.string() +
                  ": " + reason;
        return false;
    };
    if (folder.empty())
        return fail(folder, "no folder given");
    DirUtilL::Outcome made;
    if (DirUtilL::CreateDirectoryPath(folder, made) != 1)
        return fail(made.failedAt.empty() ? folder : made.failedAt, Reason(made.error));
    AtomicFile probe(folder / ".kelvastra-write-check");
    if (!probe.Open()) {
        if (DiskFull(probe.ErrorNumber())) {
            message = NoSpaceFor(folder);
            return false;
        }
        return fail(folder,
                    probe.ErrorNumber() != 0 ? std::strerror(probe.ErrorNumber()) : probe.Error());
    }
    probe.Abort();
    return true;
}

DownloadPaths ResultPathsFor(const TestDataFile& file, const fs::path& folder) {
    const ResultFolders found = FindResultFolders(file, folder);
    if (found.ours)
        return DownloadPathsIn(file, *found.ours);
    if (found.free)
        return DownloadPathsIn(file, *found.free);
    return {};
}

bool HasDownloadedCopy(const TestDataFile& file, const fs::path& folder) {
    if (folder.empty())
        return false;
    const ResultFolders found = FindResultFolders(file, folder);
    if (!found.ours)
        return false;
    std::error_code error;
    const auto size = fs::file_size(DownloadPathsIn(file, *found.ours).raw, error);
    return !error && size == static_cast<std::uintmax_t>(file.sizeBytes);
}

namespace {

constexpr std::pair<const char*, std::string ResultSource::*> kSourceLines[] = {
    {"Data file date: ", &ResultSource::dataDate},
    {"Controller serial number: ", &ResultSource::serial},
    {"Firmware version: ", &ResultSource::firmware},
};

} // namespace

std::string ResultSourceText(const ResultSource& source) {
    std::string text;
    for (const auto& [label, field] : kSourceLines) {
        if (!(source.*field).empty())
            text += label + source.*field + "\n";
    }
    return text;
}

ResultSource ReadResultSource(const fs::path& resultFolder) {
    ResultSource source;
    std::string error;
    const std::string text =
        ReadRegularFile(resultFolder / "TestLogs" / kResultSourceFile, 4096, error)
            .value_or(std::string());
    for (const std::string_view line : SplitTextLines(text)) {
        for (const auto& [label, field] : kSourceLines) {
            if (line.substr(0, std::strlen(label)) == label)
                source.*field = PrintableName(line.substr(std::strlen(label)));
        }
    }
    return source;
}

DownloadResult DownloadAndConvert(ITestDataCard& card, const TestDataFile& file,
                                  const fs::path& folder, const HardwareDescription& device,
                                  const ProgressFn& progress,
                                  const std::function<void(DownloadStage)>& stage) {
    DownloadResult result;
    auto report = [&](std::int64_t done, std::int64_t total) {
        return !progress || progress(done, total);
    };
    bool stopped = false;
    auto enter = [&](DownloadStage next) {
        if (stage)
            stage(next);
    };

    const ResultFolders found = FindResultFolders(file, folder);
    result.paths =
        DownloadPathsIn(file, found.ours   ? *found.ours
                              : found.free ? *found.free
                                           : DownloadPathsFor(file, folder).resultFolder);
    const DownloadPaths& paths = result.paths;
    AtomicFile protocol(paths.protocol);
    AtomicFile raw(paths.raw);
    AtomicFile source(paths.logFolder / kResultSourceFile);
    CycleSummary summary(paths.summary);
    DirUtilL::Outcome made;
    fs::path ownerNote; // set once this download has claimed the folder
    bool sourceKept = false;
    // A failed download takes away what it made: the files it put into a folder it claimed and
    // the folders it created (a folder that was there before keeps what it held).
    auto undo = [&] {
        protocol.Abort();
        raw.Abort();
        source.Abort();
        summary.Abort();
        std::error_code error;
        if (sourceKept)
            fs::remove(source.Target(), error);
        if (!ownerNote.empty()) {
            fs::remove(paths.protocol, error);
            fs::remove(ownerNote, error);
        }
        for (auto it = made.created.rbegin(); it != made.created.rend(); ++it)
            fs::remove(*it, error);
    };
    auto cannotWrite = [&](const fs::path& where, int errorNumber, const std::string& reason) {
        undo();
        result.status = DownloadResult::CannotWrite;
        result.failedPath = where;
        result.errorNumber = errorNumber;
        result.error = reason;
        return result;
    };
    auto fail = [&](const Fetched& fetched, const std::string& cardFile, long long expected) {
        undo();
        result.status = fetched.status == Fetched::LineDown    ? DownloadResult::Disconnected
                        : fetched.status == Fetched::WrongSize ? DownloadResult::Incomplete
                        : fetched.status == Fetched::NotSaved  ? DownloadResult::NotSaved
                                                               : DownloadResult::Failed;
        result.cardFile = cardFile;
        result.bytes = fetched.bytes;
        result.expected = expected;
        return result;
    };

    if (!found.ours && !found.free)
        return cannotWrite(paths.resultFolder, 0, "every result folder name for it is taken");
    if (DirUtilL::CreateDirectoryPath(paths.logFolder, made) != 1)
        return cannotWrite(made.failedAt, made.error.value(), Reason(made.error));
    // The folder is marked as this card file's before anything goes in, so that no other card
    // file's download takes it meanwhile.
    if (!found.ours) {
        AtomicFile note(paths.logFolder / kResultOwnerFile);
        if (!note.Open() || !note.Write(file.cardName + "\n") || !note.Commit())
            return cannotWrite(note.Target(), note.ErrorNumber(), note.Error());
        ownerNote = note.Target();
    }

    // The protocol copy comes first (it is small): its spring type lets both conversions run
    // while the data file is still arriving. It takes its place only with the data file.
    enter(DownloadStage::Downloading);
    std::optional<SpringModel> spring;
    if (file.protocolBytes) {
        const std::string name = ProtocolFileOf(file.cardName);
        if (!protocol.Open())
            return cannotWrite(paths.protocol, protocol.ErrorNumber(), protocol.Error());
        const Fetched fetched = FetchInto(card, name, protocol, {}, *file.protocolBytes);
        if (fetched.status == Fetched::NotSaved)
            return cannotWrite(paths.protocol, protocol.ErrorNumber(), protocol.Error());
        if (fetched.status != Fetched::Whole)
            return fail(fetched, name, *file.protocolBytes);
        // Read back from its temporary file, which must hold all of it.
        if (std::fflush(protocol.Stream()) != 0) {
            const int error = errno;
            return cannotWrite(paths.protocol, error, std::strerror(error));
        }
        std::ifstream copy(protocol.TemporaryPath(), std::ios::binary);
        if (copy) {
            HardwareDescription described;
            ReadLeadingHardwareBlock(copy, described);
            spring.emplace(described.SpringType);
        }
    } else {
        // Without a copy the description it would fill keeps its defaults.
        result.defaultSpring = true;
        spring.emplace(HardwareDescription{}.SpringType);
    }
    if (!raw.Open())
        return cannotWrite(paths.raw, raw.ErrorNumber(), raw.Error());
    // Where the test was recorded goes in with the raw copy, for the report.
    if (!source.Open() || !source.Write(ResultSourceText(card.SourceOf(file.cardName))))
        return cannotWrite(source.Target(), source.ErrorNumber(), source.Error());
    // The per-cycle summary rides on the full pass.
    if (spring && !summary.Open())
        return cannotWrite(paths.summary, summary.ErrorNumber(), summary.Error());

    // The two passes read the download as it comes, each with a model of its own (a pass keeps
    // running state in its model), on threads of their own.
    Feed feed(2);
    struct Pass {
        const fs::path& output;
        bool full;
        std::atomic<long long> lines{0};
        std::atomic<bool> done{false};
        int result = ConvertSuccess;
        int writeError = 0;
    };
    Pass passes[2] = {{paths.converted, false}, {paths.full, true}};
    std::vector<std::thread> converters;
    if (spring) {
        for (int k = 0; k < 2; ++k) {
            converters.emplace_back([&, k] {
                YieldToTheTransfer();
                Pass& pass = passes[k];
                ForceModel model(device, &*spring);
                pass.result = ConvertStream(
                    model,
                    [&feed, k](char* buffer, size_t capacity) {
                        return feed.Read(k, buffer, capacity);
                    },
                    pass.output, spring->valid, pass.full, [&pass](int done) { pass.lines = done; },
                    &pass.writeError, pass.full ? &summary : nullptr);
                feed.Leave(k);
                pass.done = true;
            });
        }
    }

    const std::int64_t kilobytes = file.sizeBytes / 1000;
    report(0, kilobytes);
    Fetched fetched = FetchInto(
        card, file.cardName, raw,
        [&](long long bytes) {
            stopped =
                !report(std::min<std::int64_t>(bytes / 1000, kilobytes), kilobytes) || stopped;
        },
        file.sizeBytes,
        [&](std::string_view piece) {
            if (stopped)
                return false;
            if (spring)
                feed.Write(piece);
            return true;
        });
    // The protocol copy first: a raw copy in place is a download that went through.
    const AtomicFile* unsaved = nullptr;
    if (fetched.status == Fetched::Whole) {
        if (file.protocolBytes && !protocol.Commit())
            unsaved = &protocol;
        else if (!(sourceKept = source.Commit()))
            unsaved = &source;
        else if (!raw.Commit())
            unsaved = &raw;
    } else if (fetched.status == Fetched::NotSaved) {
        unsaved = &raw;
    }
    const bool saved = fetched.status == Fetched::Whole && !unsaved;
    // An incomplete download ends the conversions without their files.
    feed.End(saved);
    if (saved && spring) {
        enter(DownloadStage::Processing);
        const long long lines = std::max<long long>(1, feed.Lines());
        // Progress from this thread, while the conversions finish what has arrived.
        while (!(passes[0].done && passes[1].done)) {
            report(std::min<long long>(100, (passes[0].lines + passes[1].lines) * 50 / lines), 100);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    for (std::thread& converter : converters)
        converter.join();
    report(0, 100);

    if (unsaved) {
        result.failedPath = unsaved->Target();
        result.errorNumber = unsaved->ErrorNumber();
        result.error = unsaved->Error();
        fetched.status = Fetched::NotSaved;
        return fail(fetched, file.cardName, file.sizeBytes);
    }
    if (stopped && fetched.status == Fetched::Failed) {
        undo();
        result.status = DownloadResult::Stopped;
        return result;
    }
    if (fetched.status != Fetched::Whole)
        return fail(fetched, file.cardName, file.sizeBytes);
    if (!spring) {
        result.status = DownloadResult::NoTemplate;
        return result;
    }
    for (const Pass& pass : passes) {
        if (pass.result != ConvertSuccess) {
            result.status = DownloadResult::ConvertFailed;
            result.failedPath = pass.output;
            result.errorNumber = pass.writeError;
            if (pass.writeError != 0)
                result.error = std::strerror(pass.writeError);
            return result;
        }
    }
    if (!summary.Commit()) {
        result.status = DownloadResult::ConvertFailed;
        result.failedPath = paths.summary;
        result.errorNumber = summary.ErrorNumber();
        result.error = summary.Error();
        return result;
    }
    report(100, 100);
    enter(DownloadStage::Complete);
    return result;
}

std::string DownloadMessage(const DownloadResult& result, const TestDataFile& file) {
    const std::string label = TestLabel(file);
    switch (result.status) {
    case DownloadResult::Converted:
        return result.defaultSpring ? "Warning:  " + label + ": " + kDefaultSpringNote
                                    : std::string();
    case DownloadResult::CannotWrite:
        if (DiskFull(result.errorNumber))
            return NoSpaceFor(result.failedPath);
        return "Error:  Cannot Open File for Writing\n" + result.failedPath.string() + ": " +
               result.error;
    case DownloadResult::Failed:
        return "Error:  Download Failed\n" + label + ": " + result.cardFile +
               " did not come from the card.";
    case DownloadResult::Disconnected:
        return "Error:  The controller was disconnected during the download of " + label + ".";
    case DownloadResult::Incomplete:
        return "Error:  Download Incomplete\n" + label + ": " + std::to_string(result.bytes) +
               " of " + std::to_string(result.expected) + " bytes of " + result.cardFile +
               " arrived; nothing was converted" +
               (result.bytes < result.expected ? std::string(".\n") + kEndByteCause : ".");
    case DownloadResult::NotSaved:
        if (DiskFull(result.errorNumber))
            return NoSpaceFor(result.failedPath);
        return "Error:  " + label + (result.bytes == result.expected ? " arrived whole but" : "") +
               " could not be saved:\n" + result.failedPath.string() + "\n" + result.error;
    case DownloadResult::Stopped:
        return "Download of " + label + " stopped; nothing was kept.";
    case DownloadResult::NoTemplate:
        return "Error:  Cannot Open Template File\n" + result.paths.protocol.string();
    case DownloadResult::ConvertFailed:
        if (DiskFull(result.errorNumber))
            return NoSpaceFor(result.failedPath);
        return "Error:  Conversion Failed\n" + result.failedPath.string() +
               (result.error.empty() ? std::string() : ": " + result.error);
    }
    return {};
}

int DeleteTestDataFile(ITestDataCard& card, const std::string& cardName,
                       std::vector<std::string>& leftovers) {
    leftovers.clear();
    const int deleted = card.Delete(cardName);
    if (deleted == ITestDataCard::kLineDown || deleted == -1)
        return deleted;
    for (const std::string& companion : {ProtocolFileOf(cardName), NameFileOf(cardName)}) {
        const int result = card.Delete(companion);
        if (result == ITestDataCard::kLineDown)
            return result;
        if (result == -1)
            leftovers.push_back(companion);
    }
    return 1;
}

namespace {

// Deletes one row; false when the deletions must stop there.
bool DeleteRow(ITestDataCard& card, std::vector<TestDataFile>& files, size_t index,
               DeletionReport& report, bool& deleted) {
    const TestDataFile file = files[index];
    std::vector<std::string> leftovers;
    const int result = DeleteTestDataFile(card, file.cardName, leftovers);
    deleted = result == 1;
    if (result == ITestDataCard::kLineDown) {
        report.disconnectedAt = file;
        return false;
    }
    if (!deleted) {
        report.notDeleted.push_back(file);
        return true;
    }
    files.erase(files.begin() + static_cast<std::ptrdiff_t>(index));
    if (!leftovers.empty())
        report.leftovers.emplace_back(file, leftovers);
    return true;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            joined += i + 1 == names.size() ? " and " : ", ";
        joined += PrintableName(names[i]);
    }
    return joined;
}

} // namespace

DeletionReport DeleteSelectedFiles(ITestDataCard& card, std::vector<TestDataFile>& files,
                                   std::vector<int> indices) {
    std::sort(indices.begin(), indices.end(), std::greater<>());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    DeletionReport report;
    for (int index : indices) {
        if (index < 0 || static_cast<size_t>(index) >= files.size())
            continue;
        bool deleted = false;
        if (!DeleteRow(card, files, static_cast<size_t>(index), report, deleted))
            break;
    }
    return report;
}

DeletionReport DeleteAllFiles(ITestDataCard& card, std::vector<TestDataFile>& files) {
    DeletionReport report;
    while (!files.empty()) {
        bool deleted = false;
        if (!DeleteRow(card, files, 0, report, deleted) || !deleted)
            break;
    }
    return report;
}

std::string DeleteQuestion(size_t count, const std::vector<TestDataFile>& notDownloaded,
                           bool local) {
    std::vector<std::string> labels;
    for (const TestDataFile& file : notDownloaded)
        labels.push_back(TestLabel(file));
    return "Delete " + std::to_string(count) + (count == 1 ? " test" : " tests") + " from the " +
           (local ? "folder" : "card") + "? " + JoinNames(labels) +
           (labels.size() == 1 ? " has" : " have") + " not been downloaded.";
}

std::vector<std::string> DeletionMessages(const DeletionReport& report) {
    std::vector<std::string> messages;
    for (const TestDataFile& file : report.notDeleted)
        messages.push_back(std::string(kFileNotDeleted) + "\n" + TestLabel(file));
    for (const auto& [file, names] : report.leftovers)
        messages.push_back("Error:  " + TestLabel(file) + " was deleted, but " + JoinNames(names) +
                           " could not be deleted and " + (names.size() == 1 ? "stays" : "stay") +
                           " on the card.");
    if (report.disconnectedAt)
        messages.push_back("Error:  The controller was disconnected during the deletion of " +
                           TestLabel(*report.disconnectedAt) + ".");
    return messages;
}
