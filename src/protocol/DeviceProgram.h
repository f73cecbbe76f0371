// The device program table: the controller's numeric form of a sequence, ten fixed entries,
// with its letter and bit codes and its line format for upload ("0P") and read-back ("0I").
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr size_t kDeviceProgramEntries = 10;
// The controller's name field holds 15 characters and a terminator.
inline constexpr size_t kDeviceProgramNameLength = 15;
// Ends the upload and the read-back.
inline constexpr char kProgramEndByte = 0x17;

struct DeviceProgramEntry {
    int32_t stretchMs = 0;
    int32_t holdMs = 0;
    int32_t recoveryMs = 0;
    int32_t restMs = 0;
    int32_t repetitions = 0; // 0 marks an empty entry
    char shapeCode = 's';
    char shapeCode2 = 's';
    int32_t magnitudeSetpoint = 0; // hundredths of a raw set point
    int32_t flags = 0;
    int32_t preloadSetpoint = 0;
    std::string name; // at most 15 characters; set it with SetName
    char dataTypeCode = 'n';
    char dataRateCode = '0';
    int32_t autoAdjust = 0;

    void Clear() { *this = DeviceProgramEntry{}; }
    // Keeps the first 15 characters: the controller has no room for more.
    void SetName(std::string_view text);
    // Compared as unsigned, as the controller does.
    bool IsUsed() const { return static_cast<uint32_t>(repetitions) != 0; }

    bool operator==(const DeviceProgramEntry&) const = default;
};

using DeviceProgramTable = std::array<DeviceProgramEntry, kDeviceProgramEntries>;

void ClearDeviceProgram(DeviceProgramTable& table);

// --- flags ---------------------------------------------------------------------------------
namespace ProgramFlag {
inline constexpr int32_t Used = 0x0001;
inline constexpr int32_t Sinusoid = 0x0002;
inline constexpr int32_t Seconds = 0x0400;
inline constexpr int32_t Minutes = 0x0800;
inline constexpr int32_t Percent = 0x1000;
inline constexpr int32_t Hours = 0x2000;
} // namespace ProgramFlag

// Time-unit bit for TimeUnits 0 (seconds), 1 (minutes), 2 (hours); 0 for days and for every
// unit the controller has no bit for.
int32_t TimeUnitsFlag(int32_t timeUnits);
// The flags of a used entry: Used, Sinusoid when the function is Sinusoid (4), the time-unit
// bit and Percent when the magnitude units are 0 ("%").
int32_t EntryFlags(int32_t xFunction, int32_t timeUnits, int32_t xUnits);
// TimeUnits value 0..3 from the flags; none of the three time bits means days.
int32_t TimeUnitsFromFlags(int32_t flags);
// Milliseconds per time unit as read back: 1000, 60000, 3600000 or 86400000.
int64_t TimeUnitsDivisorMs(int32_t flags);

// --- letters -------------------------------------------------------------------------------
// 'r' for Ramp (0), 's' for Sinusoid (4) and every other function.
char ShapeLetter(int32_t xFunction);
// Sinusoid (4) for 's', Ramp (0) otherwise.
int32_t FunctionFromShapeLetter(char letter);
// 'p', 'n', 'a', 'm' for DataType 0..3; an unknown DataType is sent as 'n' (None).
char DataTypeLetter(int32_t dataType);
// 'p' 0, 'a' 2, 'm' 3, anything else 1 (None).
int32_t DataTypeFromLetter(char letter);
// '1'..'5' for DataFrequency indexes 4, 6, 7, 8, 9; '0' for any other index.
char DataRateLetter(int32_t dataFrequencyIndex);
// Index 4, 6, 7, 8, 9 for '1'..'5'; anything else 10 (0 Hz).
int32_t DataFrequencyFromLetter(char letter);

// --- wire format ---------------------------------------------------------------------------
inline constexpr size_t kProgramLineFields = 14;

// The fourteen command lines of one entry for the upload, each ended by '\r', in wire order.
// Blanks in the name become '|' in the entry itself (and a name longer than 15 characters is
// cut there), so the table keeps what was sent.
std::vector<std::string> EntryUploadLines(DeviceProgramEntry& entry);
// The whole upload: "0P\r", the lines of all ten entries, then the end byte line "\x17\r".
std::vector<std::string> ProgramUploadLines(DeviceProgramTable& table);

// Results of ParseProgramLine.
inline constexpr int kProgramLineEnd = -1;    // the line begins with the end byte
inline constexpr int kProgramLineIgnored = 0; // index outside the table: nothing written
inline constexpr int kProgramLineStored = 1;  // the entry was filled

// One read-back line (fourteen blank-separated fields in wire order) into table[index].
// Integers read as leading decimal numbers (0 when not a number), taken modulo 2^32 so that
// unsigned durations survive; one-letter fields take the first character of their field; '|'
// in the name becomes a blank and the name is cut to 15 characters. A line of thirteen fields
// carries an empty name. Missing trailing fields keep their cleared values. An index of 10 or
// more writes nothing and gives kProgramLineIgnored, so a controller that sends too many lines
// cannot reach past the table: the caller keeps reading until the end line.
int ParseProgramLine(std::string_view line, size_t index, DeviceProgramTable& table);
// The same for one entry (never ignored).
int ParseProgramLine(std::string_view line, DeviceProgramEntry& entry);

// The read-back line of one entry as the controller sends it, without line end: the fourteen
// fields separated by one blank, blanks in the name as '|'. Used by the simulator.
std::string FormatProgramLine(const DeviceProgramEntry& entry);

// Stores one upload command line (without or with its '\r') into field `field` (0..13, wire
// order) of `entry`. Used by the simulator to rebuild an uploaded table; '|' stays as sent.
// Returns 1, or 0 for a field number outside 0..13.
int StoreUploadField(DeviceProgramEntry& entry, size_t field, std::string_view line);
