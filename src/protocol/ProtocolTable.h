// The protocol table: a header row of column keys, then one row per set, every cell followed by
// a tab and every row by a line feed. It is the whole of a protocol file (".tmt") and the second
// half of the device template TEMPLATE.INI, after the "##HARDWARE" block.
#pragma once

#include "protocol/SetRecord.h"

#include <iosfwd>
#include <string>

struct HardwareDescription;

inline constexpr const char* kProtocolFileExtension = "tmt";
inline constexpr const char* kProtocolFileFilter = "Kelvastra File (*.tmt)|*.tmt||";

// One cell of a set as written ("[_]" for blanks in names, "All(64) " for data type 2, doubles
// in the stream's default notation).
std::string SetCellText(const SetRecord& set, SetKey key);
// Sets the field of `key` from one token of a table; an unknown key changes nothing.
void ReadSetCell(SetRecord& set, SetKey key, const std::string& token);

// Makes the sequence's columns the standard thirteen, then writes the header and one row per set.
// Line feeds are bare; a file opened in text mode stores them as the platform's line end.
void WriteProtocolTable(SetSequence& sequence, std::ostream& out);
std::string ProtocolTableText(SetSequence& sequence);
// TEMPLATE.INI for the device card: the "##HARDWARE" block, then the table; bare line feeds.
std::string DeviceTemplateText(SetSequence& sequence, const HardwareDescription& hardware);

// The reader works token by token, the caller holding the current token between the steps.
//
// StartReading: `token` holds the first header key (already read). Empties the sequence, takes
// the columns from that key and the rest of its line, and reads the first value into `token`.
void StartReading(SetSequence& sequence, std::istream& in, std::string& token);

enum class ReadSetResult {
    Appended,       // a whole set was read and appended
    EndedInsideSet, // the text ended before the set's last column: nothing was appended
};
// Reads one set, one token per column whatever line the tokens stand on, and appends it. Without a
// "DataFreqHz" column the set's rate is derived from its hold, rest and data type, as the set
// editor derives it. Call
// while MoreSetsToRead(in); stop on EndedInsideSet.
ReadSetResult ReadOneSet(SetSequence& sequence, std::istream& in, std::string& token);
// True while the last read succeeded. Testing for the end of the text alone would lose a last
// token that ends exactly at the end of the text, and would never end on a stream that failed
// inside a hardware block (it reads nothing more and never reaches its end).
bool MoreSetsToRead(const std::istream& in);

struct ProtocolReadResult {
    bool hardwareBlock = false;       // the text started with "##HARDWARE"
    bool hardwareBlockFailed = false; // the block was cut short or held an unreadable number
    bool endedInsideSet = false;      // the last row was short and has been dropped
    bool noTable = false;             // no known column key in the header (or an empty text)

    bool Complete() const { return !hardwareBlockFailed && !endedInsideSet && !noTable; }
};

// What went wrong in a read that did not complete, for the user ("" when it completed): the
// message area says this instead of plain success.
std::string ProtocolReadWarning(const ProtocolReadResult& result);

// Reads a whole protocol text: a leading "##HARDWARE" block goes into `hardware` (skipped when
// it is null), then the table into `sequence`.
ProtocolReadResult ReadProtocolText(std::istream& in, SetSequence& sequence,
                                    HardwareDescription* hardware);
ProtocolReadResult ReadProtocolText(const std::string& text, SetSequence& sequence,
                                    HardwareDescription* hardware);
