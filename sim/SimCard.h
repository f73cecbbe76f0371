// The simulated memory card: a real folder standing in for the controller's FAT card.
//
// Names are matched as the firmware's FAT library does: without regard to case, so "name.ini",
// "NAME.INI" and "Name.Ini" are one file. New files are created with upper-case names, the form
// an 8.3 card shows. Writes append, as the firmware's write mode does; that is why the program
// deletes a file before writing it anew.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct CardEntry {
    std::string name; // as stored, relative to the card root, folders separated by '/'
    int depth = 0;    // 0 for the root, 1 for a folder in the root, ...
    bool folder = false;
    int64_t size = 0; // bytes; 0 for folders
};

class SimCard {
public:
    explicit SimCard(std::filesystem::path root);

    const std::filesystem::path& Root() const { return m_root; }

    // The stored path of a card name, matched without regard to case; empty when there is no
    // such file. Names with "..", empty parts or a leading separator never match: the card
    // must not reach outside its folder.
    std::optional<std::filesystem::path> Find(std::string_view cardName) const;
    // The path a new file of that name gets (existing folders matched, the file name upper
    // case); empty for a name that would leave the card.
    std::optional<std::filesystem::path> PathForNewFile(std::string_view cardName) const;

    bool Exists(std::string_view cardName) const { return Find(cardName).has_value(); }
    std::optional<std::string> Read(std::string_view cardName) const;
    // Appends to the file, creating it when missing. False when the name is unsafe or the file
    // cannot be written.
    bool Append(std::string_view cardName, std::string_view bytes);
    // Replaces the whole content (used by the simulator itself, not by the wire commands).
    bool Replace(std::string_view cardName, std::string_view bytes);
    bool Remove(std::string_view cardName);

    // Every file and folder: in each folder its files by name, then its folders, each followed
    // by its content.
    std::vector<CardEntry> Entries(int maxDepth = 10) const;

    // The "0L" listing text, lines ended by a line feed (the 0x17 is added by the caller).
    // Firmware 1540 and later: "size name" per root file. Earlier: "[D<depth>]<name>" per
    // folder and "[F<depth>_<size>]<name>" per file, depth first.
    std::string Listing(int firmwareVersion) const;

private:
    std::filesystem::path m_root;
};

// True for a name a card command may use: no "..", no empty part, no leading separator.
bool IsSafeCardName(std::string_view cardName);
// Splits a card name at '/' and '\'.
std::vector<std::string> CardNameParts(std::string_view cardName);
std::string UpperCase(std::string_view text);

} // namespace sim
