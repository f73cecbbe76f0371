#include "recordings/TestDataCard.h"

#include "common/NumberText.h"
#include "common/TextLines.h"
#include "common/platform/Process.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// The lines of a small text file without their line ends (any kind); empty when it cannot be
// read.
std::vector<std::string> FileLines(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    for (const std::string_view line : SplitTextLines(text))
        lines.emplace_back(line);
    return lines;
}

} // namespace

fs::path FolderCard::PathOf(const std::string& name) const {
    const fs::path plain(name);
    if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "." ||
        name == ".." || plain.has_root_path())
        return {};
    std::error_code error;
    const fs::path exact = m_folder / plain;
    if (fs::is_regular_file(exact, error))
        return exact;
    // Card names are matched without regard to case, as on the card.
    for (const fs::directory_entry& entry : fs::directory_iterator(m_folder, error)) {
        if (SameIgnoringCase(entry.path().filename().string(), name))
            return entry.path();
    }
    return exact;
}

bool FolderCard::ListDataFiles(std::vector<TestDataFile>& files) {
    files.clear();
    std::error_code error;
    fs::directory_iterator it(m_folder, error);
    if (error)
        return false;
    std::vector<TestDataFile> every;
    for (const fs::directory_entry& entry : it) {
        std::error_code entryError;
        if (!entry.is_regular_file(entryError))
            continue;
        const std::string name = entry.path().filename().string();
        const auto size = entry.file_size(entryError);
        const auto clamped = std::min<std::uintmax_t>(entryError ? 0 : size, INT32_MAX);
        every.push_back({name, name, static_cast<int32_t>(clamped), {}});
    }
    files = DataFilesOf(every);
    std::sort(files.begin(), files.end(),
              [](const TestDataFile& a, const TestDataFile& b) { return a.cardName < b.cardName; });
    return true;
}

int FolderCard::ReadFirstLine(const std::string& name, std::string& line) {
    const fs::path path = PathOf(name);
    if (path.empty())
        return -1;
    const std::vector<std::string> lines = FileLines(path);
    if (lines.empty())
        return -1;
    line = lines.front();
    return 1;
}

int FolderCard::Fetch(const std::string& name, const ByteSink& sink, long long& bytes,
                      const ByteProgress& progress) {
    bytes = 0;
    const fs::path path = PathOf(name);
    if (path.empty())
        return 0;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return 0;
    std::vector<char> chunk(1 << 16);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (got == 0)
            break;
        if (!sink(std::string_view(chunk.data(), got)))
            return 0;
        bytes += static_cast<long long>(got);
        if (progress)
            progress(bytes);
    }
    return in.bad() ? 0 : 1;
}

ResultSource FolderCard::SourceOf(const std::string& name) {
    ResultSource source;
    std::error_code error;
    const fs::path path = PathOf(name);
    const auto written = path.empty() ? fs::file_time_type{} : fs::last_write_time(path, error);
    if (path.empty() || error)
        return source;
    const std::tm local = platform::LocalTime(
        std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written)));
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) > 0)
        source.dataDate = text;
    return source;
}

int FolderCard::Delete(const std::string& name) {
    const fs::path path = PathOf(name);
    if (path.empty())
        return -1;
    std::error_code error;
    if (fs::remove(path, error))
        return 1;
    return error ? -1 : 0;
}

HardwareDescription DescriptionFromFolder(const fs::path& folder, int32_t hardwareVersion) {
    HardwareDescription description;
    auto find = [&](const char* name) {
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
            if (SameIgnoringCase(entry.path().filename().string(), name))
                return entry.path();
        }
        return fs::path();
    };

    if (const fs::path info = find("INFOW.INI"); !info.empty()) {
        std::ifstream in(info, std::ios::binary);
        HardwareDescription read = description;
        std::string word;
        in >> word;
        if (word == kHardwareBlockTag) {
            ReadHardwareBlock(in, word, read);
            description = read;
        }
    }
    description.hardwareVersion = hardwareVersion;

    if (const fs::path offsets = find("POSCAL.INI"); !offsets.empty()) {
        const std::vector<std::string> lines = FileLines(offsets);
        std::array<int32_t, kWellCount> values{};
        if (lines.size() == kWellCount) {
            for (size_t i = 0; i < values.size(); ++i)
                values[i] = LeadingInt(lines[i]);
        }
        description.positionOffsets = values;
    }
    if (const fs::path coefficients = find("MAGCAL.INI"); !coefficients.empty()) {
        const std::vector<std::string> lines = FileLines(coefficients);
        if (lines.size() == 3 * kWellCount) {
            std::array<double, 3 * kWellCount> values{};
            for (size_t i = 0; i < values.size(); ++i)
                values[i] = LeadingDouble(lines[i]);
            description.displacementCoefficients = values;
        }
    }
    return description;
}
