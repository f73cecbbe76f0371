#include "SimCard.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace sim {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// The child of `folder` whose name matches `part` without regard to case.
std::optional<fs::path> MatchChild(const fs::path& folder, std::string_view part) {
    std::error_code ec;
    fs::path exact = folder / std::string(part);
    if (fs::exists(exact, ec)) {
        return exact;
    }
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualNoCase(it->path().filename().string(), part)) {
            return it->path();
        }
    }
    return std::nullopt;
}

void Collect(const fs::path& folder, const std::string& prefix, int depth, int maxDepth,
             std::vector<CardEntry>& out) {
    std::error_code ec;
    std::vector<fs::directory_entry> children;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        children.push_back(*it);
    }
    // Files first, then folders, each by name: a folder's files then stand right under it.
    std::sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
        std::error_code e;
        bool aFolder = a.is_directory(e), bFolder = b.is_directory(e);
        if (aFolder != bFolder) {
            return !aFolder;
        }
        return a.path().filename().string() < b.path().filename().string();
    });
    for (const auto& child : children) {
        std::string name = child.path().filename().string();
        // Temporary files of an unfinished atomic write are not on the card yet.
        if (name.empty() || name[0] == '.') {
            continue;
        }
        CardEntry entry;
        entry.name = prefix + name;
        entry.depth = depth;
        if (child.is_directory(ec)) {
            entry.folder = true;
            out.push_back(entry);
            if (depth < maxDepth) {
                Collect(child.path(), entry.name + "/", depth + 1, maxDepth, out);
            }
        } else if (child.is_regular_file(ec)) {
            entry.size = static_cast<int64_t>(child.file_size(ec));
            out.push_back(entry);
        }
    }
}

} // namespace

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = char(c - 'a' + 'A');
        }
    }
    return out;
}

std::vector<std::string> CardNameParts(std::string_view cardName) {
    std::vector<std::string> parts(1);
    for (char c : cardName) {
        if (c == '/' || c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

bool IsSafeCardName(std::string_view cardName) {
    if (cardName.empty()) {
        return false;
    }
    for (const std::string& part : CardNameParts(cardName)) {
        if (part.empty() || part == "." || part == "..") {
            return false;
        }
        for (char c : part) {
            // Control bytes never belong in a card name; they would come from a garbled line.
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                return false;
            }
        }
    }
    return true;
}

SimCard::SimCard(fs::path root) : m_root(std::move(root)) {}

std::optional<fs::path> SimCard::Find(std::string_view cardName) const {
    if (!IsSafeCardName(cardName)) {
        return std::nullopt;
    }
    fs::path current = m_root;
    for (const std::string& part : CardNameParts(cardName)) {
        auto child = MatchChild(current, part);
        if (!child) {
            return std::nullopt;
        }
        current = *child;
    }
    std::error_code ec;
    if (!fs::is_regular_file(current, ec)) {
        return std::nullopt;
    }
    return current;
}

std::optional<fs::path> SimCard::PathForNewFile(std::string_view cardName) const {
    if (!IsSafeCardName(cardName)) {
        return std::nullopt;
    }
    auto parts = CardNameParts(cardName);
    fs::path current = m_root;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        auto child = MatchChild(current, parts[i]);
        std::error_code ec;
        if (!child || !fs::is_directory(*child, ec)) {
            return std::nullopt;
        }
        current = *child;
    }
    if (auto existing = MatchChild(current, parts.back())) {
        return existing;
    }
    return current / UpperCase(parts.back());
}

std::optional<std::string> SimCard::Read(std::string_view cardName) const {
    auto path = Find(cardName);
    if (!path) {
        return std::nullopt;
    }
    std::ifstream in(*path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool SimCard::Append(std::string_view cardName, std::string_view bytes) {
    auto path = PathForNewFile(cardName);
    if (!path) {
        return false;
    }
    std::error_code ec;
    if (fs::is_directory(*path, ec)) {
        return false;
    }
    std::ofstream out(*path, std::ios::binary | std::ios::app);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool SimCard::Replace(std::string_view cardName, std::string_view bytes) {
    auto path = PathForNewFile(cardName);
    if (!path) {
        return false;
    }
    std::ofstream out(*path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool SimCard::Remove(std::string_view cardName) {
    auto path = Find(cardName);
    if (!path) {
        return false;
    }
    std::error_code ec;
    return fs::remove(*path, ec);
}

std::vector<CardEntry> SimCard::Entries(int maxDepth) const {
    std::vector<CardEntry> out;
    Collect(m_root, "", 0, maxDepth, out);
    return out;
}

std::string SimCard::Listing(int firmwareVersion) const {
    std::string text;
    if (firmwareVersion >= 1540) {
        for (const CardEntry& entry : Entries(0)) {
            if (!entry.folder) {
                text += std::to_string(entry.size) + " " + entry.name + "\n";
            }
        }
        return text;
    }
    for (const CardEntry& entry : Entries(10)) {
        std::string bare = entry.name.substr(entry.name.find_last_of('/') + 1);
        if (entry.folder) {
            // Folder depths count from 1 in this format.
            text += "[D" + std::to_string(entry.depth + 1) + "]" + bare + "\n";
        } else {
            text += "[F" + std::to_string(entry.depth) + "_" + std::to_string(entry.size) + "]" +
                    bare + "\n";
        }
    }
    return text;
}

} // namespace sim
