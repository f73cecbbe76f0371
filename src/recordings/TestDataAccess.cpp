#include "recordings/TestDataAccess.h"

#include "common/AtomicFile.h"
#include "recordings/ConvertFile.h"
#include "recordings/DirUtilL.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <algorithm>
#include <atomic>
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

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kWrongSize = 2;
constexpr int kNotSaved = 3;

// Copies a card file into `target` through a temporary file, handing every piece to `tee` as
// well. 1, -1 when the local file cannot be made, 0 when the copy failed, kWrongSize when
// another size than expected arrived, kNotSaved when it arrived but the local file could not be
// completed, with the reason in `error` (the target is untouched unless 1).
int FetchInto(ITestDataCard& card, const std::string& name, const fs::path& target,
              long long& bytes, const ITestDataCard::ByteProgress& progress,
              long long expectedBytes = -1, const ITestDataCard::ByteSink& tee = {},
              std::string* error = nullptr) {
    bytes = 0;
    AtomicFile out(target);
    if (!out.Open())
        return -1;
    const auto sink = [&](std::string_view piece) {
        return out.Write(piece) && (!tee || tee(piece));
    };
    if (card.Fetch(name, sink, bytes, progress) != 1)
        return 0;
    if (expectedBytes >= 0 && bytes != expectedBytes)
        return kWrongSize;
    if (out.Commit())
        return 1;
    if (error)
        *error = out.Error();
    return kNotSaved;
}

// A conversion thread runs at a lower priority than the transfer: the transfer is what the
// line waits for, and the conversions catch up with what has arrived in the time it leaves.
void YieldToTheTransfer() {
#ifdef __linux__
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
#endif
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

    // The protocol copy comes first (it is small): its spring type lets both conversions run
    // while the data file is still arriving.
    enter(DownloadStage::Downloading);
    long long protocolBytes = 0;
    std::optional<SpringModel> spring;
    if (FetchInto(card, ProtocolFileOf(file.cardName), paths.protocol, protocolBytes, {}) == 1) {
        std::ifstream protocol(paths.protocol, std::ios::binary);
        if (protocol) {
            HardwareDescription copy;
            ReadLeadingHardwareBlock(protocol, copy);
            spring.emplace(copy.SpringType);
        }
    }

    // The two passes read the download as it comes, each with a model of its own (a pass keeps
    // running state in its model), on threads of their own.
    Feed feed(2);
    struct Pass {
        const fs::path& output;
        bool full;
        std::atomic<long long> lines{0};
        std::atomic<bool> done{false};
        int result = ConvertSuccess;
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
                    pass.output, spring->valid, pass.full,
                    [&pass](int done) { pass.lines = done; });
                feed.Leave(k);
                pass.done = true;
            });
        }
    }

    const std::int64_t kilobytes = file.sizeBytes / 1000;
    report(0, kilobytes);
    const int fetched = FetchInto(
        card, file.cardName, paths.raw, result.bytes,
        [&](long long bytes) {
            report(std::min<std::int64_t>(bytes / 1000, kilobytes), kilobytes);
        },
        file.sizeBytes,
        [&](std::string_view piece) {
            if (spring)
                feed.Write(piece);
            return true;
        },
        &result.error);
    // An incomplete download ends the conversions without their files.
    feed.End(fetched == 1);
    if (fetched == 1 && spring) {
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

    if (fetched == -1) {
        result.status = DownloadResult::CannotWrite;
    } else if (fetched == kNotSaved) {
        result.status = DownloadResult::NotSaved;
    } else if (fetched != 1) {
        result.status = fetched == kWrongSize ? DownloadResult::Incomplete : DownloadResult::Failed;
    } else if (!spring) {
        result.status = DownloadResult::NoTemplate;
    } else if (passes[0].result != ConvertSuccess || passes[1].result != ConvertSuccess) {
        result.status = DownloadResult::ConvertFailed;
    } else {
        report(100, 100);
        enter(DownloadStage::Complete);
    }
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
               " bytes arrived; nothing was converted" +
               (result.bytes < file.sizeBytes ? std::string(".\n") + kEndByteCause : "");
    case DownloadResult::NotSaved:
        return "Error:  " + file.cardName + " arrived whole but could not be saved:\n" +
               result.paths.raw.string() + "\n" + result.error;
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
