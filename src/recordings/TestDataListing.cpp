#include "recordings/TestDataListing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <map>
#include <optional>

namespace {

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string_view TrimEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The decimal number at the start of `text` (digits only), or -1 when there is none.
long long LeadingDigits(std::string_view text) {
    long long value = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), INT32_MAX);
    return i == 0 ? -1 : value;
}

int32_t ClampSize(long long size) {
    return static_cast<int32_t>(std::clamp<long long>(size, 0, INT32_MAX));
}

// Data files only, or every file when `all` is set.
void AddIfData(std::vector<TestDataFile>& files, std::string name, int32_t size, bool all) {
    if (name.empty() || (!all && !IsDataFileName(name)))
        return;
    files.push_back({name, name, size});
}

// "size name": the name is the rest of the line, so a long name with blanks stays whole.
void ParsePlainLine(std::string_view line, std::vector<TestDataFile>& files, bool all) {
    line = TrimEnd(line);
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return;
    const size_t split = line.find_first_of(" \t", start);
    if (split == std::string_view::npos)
        return;
    const size_t name = line.find_first_not_of(" \t", split);
    if (name == std::string_view::npos)
        return;
    const long long size = LeadingDigits(line.substr(start, split - start));
    AddIfData(files, std::string(line.substr(name)), ClampSize(size < 0 ? 0 : size), all);
}

// "[Dd]NAME" opens folder NAME at depth d; "[Fd_size]NAME" is a file at depth d inside the
// folders opened last at depths 1..d.
void ParseBracketLine(std::string_view line, std::array<std::string, 11>& folders,
                      std::vector<TestDataFile>& files, bool all) {
    line = TrimEnd(line);
    const size_t close = line.find(']');
    if (line.size() < 3 || close == std::string_view::npos || close < 2)
        return;
    const std::string_view field = line.substr(2, close - 2);
    const std::string_view name = line.substr(close + 1);
    if (line[1] == 'D') {
        const long long depth = LeadingDigits(field);
        if (depth >= 1 && depth <= 10)
            folders[static_cast<size_t>(depth)] = std::string(name);
        return;
    }
    const size_t underscore = field.find('_');
    if (underscore == std::string_view::npos)
        return;
    const long long depth = LeadingDigits(field.substr(0, underscore));
    if (depth < 0 || depth > 10)
        return;
    const long long size = LeadingDigits(field.substr(underscore + 1));
    std::string listed;
    for (long long d = 1; d <= depth; ++d)
        listed += folders[static_cast<size_t>(d)] + "\\";
    listed += name;
    AddIfData(files, listed, ClampSize(size < 0 ? 0 : size), all);
}

size_t LastSeparator(std::string_view name) {
    return name.find_last_of("\\/");
}

} // namespace

bool IsDataFileName(std::string_view name) {
    const std::string upper = Upper(name);
    for (const char* hidden : {"SYSTEM~", ".INI", ".TMT", ".NAM"}) {
        if (upper.find(hidden) != std::string::npos)
            return false;
    }
    return true;
}

namespace {

std::vector<TestDataFile> ParseListing(const std::vector<std::string>& lines,
                                       int32_t firmwareVersion, bool all) {
    std::vector<TestDataFile> files;
    std::array<std::string, 11> folders;
    for (const std::string& line : lines) {
        if (firmwareVersion >= kPlainListingFirmware)
            ParsePlainLine(line, files, all);
        else
            ParseBracketLine(line, folders, files, all);
    }
    return files;
}

} // namespace

std::vector<TestDataFile> ParseCardListing(const std::vector<std::string>& lines,
                                           int32_t firmwareVersion) {
    return DataFilesOf(ParseListing(lines, firmwareVersion, true));
}

std::vector<TestDataFile> DataFilesOf(const std::vector<TestDataFile>& every) {
    std::map<std::string, int32_t> sizes;
    for (const TestDataFile& file : every)
        sizes.emplace(Upper(file.cardName), file.sizeBytes);
    std::vector<TestDataFile> files;
    for (const TestDataFile& file : every) {
        if (!IsDataFileName(file.cardName))
            continue;
        files.push_back(file);
        if (const auto found = sizes.find(Upper(ProtocolFileOf(file.cardName)));
            found != sizes.end())
            files.back().protocolBytes = found->second;
    }
    return files;
}

std::optional<int32_t> ListedSize(const std::vector<std::string>& lines, int32_t firmwareVersion,
                                  std::string_view cardName) {
    const std::string wanted = Upper(cardName);
    for (const TestDataFile& file : ParseListing(lines, firmwareVersion, true)) {
        if (Upper(file.cardName) == wanted)
            return file.sizeBytes;
    }
    return std::nullopt;
}

std::string NameStem(std::string_view name) {
    const size_t separator = LastSeparator(name);
    const size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator))
        return std::string(name);
    return std::string(name.substr(0, dot));
}

std::string NameFileOf(std::string_view cardName) {
    return NameStem(cardName) + ".NAM";
}

std::string ProtocolFileOf(std::string_view cardName) {
    return NameStem(cardName) + ".TMT";
}

std::string DisplayNameFrom(std::string_view nameFile, std::string_view firstLine) {
    if (!firstLine.empty() && firstLine.back() == '\r')
        firstLine.remove_suffix(1);
    const size_t separator = LastSeparator(nameFile);
    if (separator != std::string_view::npos)
        nameFile.remove_prefix(separator + 1);
    const std::string_view number = nameFile.size() > 4 ? nameFile.substr(4, 4) : "";
    return PrintableName(std::string(firstLine) + "_" + std::string(number) + ".csv");
}

std::string PrintableName(std::string_view name) {
    std::string printable(name);
    for (char& c : printable) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '_';
    }
    return printable;
}

std::string TestLabel(const TestDataFile& file) {
    return PrintableName(NameStem(file.displayName));
}

std::string SizeKbText(int32_t sizeBytes) {
    return std::to_string(sizeBytes / 1000);
}

std::string UsedStorageText(const std::vector<TestDataFile>& files, int capacityKb) {
    double used = 0.0;
    for (const TestDataFile& file : files)
        used += file.sizeBytes / 1000.0;
    char text[64];
    if (capacityKb <= 0) {
        std::snprintf(text, sizeof text, "%.0f kB used, capacity unknown", used);
        return text;
    }
    const double percentage = used / capacityKb * 100.0;
    if (percentage < 0.1)
        return "< 0.1%";
    std::snprintf(text, sizeof text, "%.1f%%", percentage);
    return text;
}

std::string SafeFileName(std::string_view name) {
    std::string safe(name);
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F)
            c = '_';
    }
    // "." and ".." would name the folder itself or its parent.
    if (safe.find_first_not_of('.') == std::string::npos)
        safe = std::string(std::max<size_t>(safe.size(), 1), '_');
    return safe;
}

namespace {

// The part of a card name after its folders.
std::string_view LeafName(std::string_view cardName) {
    const size_t backslash = cardName.find_last_of('\\');
    return backslash == std::string_view::npos ? cardName : cardName.substr(backslash + 1);
}

// The converted file's name: the display name, or for a file in card folders its own name.
std::string ConvertedName(const TestDataFile& file) {
    if (file.cardName.find('\\') != std::string::npos)
        return SafeFileName(LeafName(file.cardName));
    return SafeFileName(file.displayName);
}

constexpr int kNumberedFolders = 999;

} // namespace

std::string ResultFolderName(const TestDataFile& file, int index) {
    const std::string stem = SafeFileName(NameStem(ConvertedName(file)));
    const std::string leaf(LeafName(file.cardName));
    const std::string cardStem = SafeFileName(NameStem(leaf));
    if (index == 0)
        return stem;
    if (index == 1)
        return stem + " (" + cardStem + ")";
    if (index == 2)
        return stem + " (" + SafeFileName(leaf) + ")";
    if (index < 0 || index > kNumberedFolders)
        return {};
    return stem + " (" + cardStem + ") " + std::to_string(index - 1);
}

DownloadPaths DownloadPathsIn(const TestDataFile& file, const std::filesystem::path& resultFolder) {
    const std::string display = ConvertedName(file);
    const std::string stem = SafeFileName(NameStem(display));
    DownloadPaths paths;
    paths.resultFolder = resultFolder;
    paths.logFolder = paths.resultFolder / "TestLogs";
    paths.raw = paths.logFolder / (stem + "_Raw.csv");
    paths.converted = paths.resultFolder / display;
    paths.full = paths.logFolder / (stem + "_Full.csv");
    paths.summary = paths.resultFolder / (stem + "_Summary.csv");
    paths.protocol = paths.resultFolder / (stem + ".tmt");
    return paths;
}

DownloadPaths DownloadPathsFor(const TestDataFile& file, const std::filesystem::path& folder) {
    // The card's folders stay above the result folder: equal names in two card folders are two
    // tests.
    std::filesystem::path parent = folder;
    std::string_view rest = file.cardName;
    for (size_t backslash = rest.find('\\'); backslash != std::string_view::npos;
         backslash = rest.find('\\')) {
        parent /= SafeFileName(rest.substr(0, backslash));
        rest.remove_prefix(backslash + 1);
    }
    return DownloadPathsIn(file, parent / ResultFolderName(file, 0));
}
