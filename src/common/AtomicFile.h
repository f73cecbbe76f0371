// Every file the program writes goes through here: the bytes go to a new temporary file beside
// the target (created exclusively, so never through a link and never over an existing file), and
// only a complete, flushed file is renamed over the target. Whatever fails, the target keeps its
// old content and no temporary file is left behind.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile(); // drops the temporary file unless Commit() succeeded
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file. False, with Error() set, when the folder does not exist or
    // cannot be written.
    bool Open();
    // The open temporary file, for writers that format straight into a stream; null before
    // Open() and after Commit() or Abort().
    std::FILE* Stream() const { return m_file; }
    // Appends bytes; false (and Error() set) once any write has failed.
    bool Write(std::string_view bytes);
    // Flushes, syncs, closes and renames over the target. False, with the temporary file
    // removed and Error() set, on any failure, including one of an earlier Write().
    bool Commit();
    // Drops the temporary file; the target is untouched.
    void Abort();

    const std::string& Error() const { return m_error; }
    // The system's error number of the first failure (0 when there was none, or none was given).
    int ErrorNumber() const { return m_errorNumber; }
    const std::filesystem::path& Target() const { return m_target; }
    const std::filesystem::path& TemporaryPath() const { return m_temporary; }

    // Tests: files whose target name ends with `suffix` are written to `device` instead (on
    // Linux /dev/full, which fails writes as a full disk does); the temporary file is still made
    // and removed. An empty suffix ends it.
    static void RedirectWritesForTests(std::string suffix, std::filesystem::path device);

private:
    bool Fail(const std::string& what, int errorNumber);

    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::FILE* m_file = nullptr;
    bool m_failed = false;
    bool m_redirected = false; // writes go to a device (tests, benchmarks): nothing to sync
    std::string m_error;
    int m_errorNumber = 0;
};

// The whole content at once. False with *error set (when given) on failure.
bool WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                         std::string* error = nullptr);

// True when both paths name one existing file, whatever the path (links, "..", a second hard
// link): a writer must never replace the file it reads from.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
