#include "protocol/DeviceProgram.h"

#include <algorithm>

namespace {

constexpr int32_t kRamp = 0;
constexpr int32_t kSinusoid = 4;

// Leading decimal number as the controller's replies are read: optional sign and digits,
// 0 when there are none. Taken modulo 2^32, so an unsigned 32-bit value comes back whole.
int32_t LeadingInt32(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    }
    if (negative) {
        value = 0u - value;
    }
    return static_cast<int32_t>(value);
}

char FirstChar(std::string_view text, char otherwise) {
    return text.empty() ? otherwise : text[0];
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return line;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    fields.reserve(kProgramLineFields);
    size_t i = 0;
    auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
    };
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i])) {
            ++i;
        }
        const size_t start = i;
        while (i < line.size() && !isSpace(line[i])) {
            ++i;
        }
        if (i > start) {
            fields.push_back(line.substr(start, i - start));
        }
    }
    return fields;
}

std::string NameForWire(std::string name) {
    std::replace(name.begin(), name.end(), ' ', '|');
    return name;
}

std::string Line(int32_t value) {
    return std::to_string(value) + "\r";
}
std::string Line(char letter) {
    return std::string(1, letter) + "\r";
}
std::string Line(const std::string& text) {
    return text + "\r";
}

} // namespace

void DeviceProgramEntry::SetName(std::string_view text) {
    name.assign(text.substr(0, kDeviceProgramNameLength));
}

void ClearDeviceProgram(DeviceProgramTable& table) {
    for (DeviceProgramEntry& entry : table) {
        entry.Clear();
    }
}

int32_t TimeUnitsFlag(int32_t timeUnits) {
    switch (timeUnits) {
    case 0:
        return ProgramFlag::Seconds;
    case 1:
        return ProgramFlag::Minutes;
    case 2:
        return ProgramFlag::Hours;
    default:
        return 0;
    }
}

int32_t EntryFlags(int32_t xFunction, int32_t timeUnits, int32_t xUnits) {
    int32_t flags =
        xFunction == kSinusoid ? ProgramFlag::Used | ProgramFlag::Sinusoid : ProgramFlag::Used;
    flags |= TimeUnitsFlag(timeUnits);
    if (xUnits == 0) {
        flags |= ProgramFlag::Percent;
    }
    return flags;
}

int32_t TimeUnitsFromFlags(int32_t flags) {
    if (flags & ProgramFlag::Seconds) {
        return 0;
    }
    if (flags & ProgramFlag::Minutes) {
        return 1;
    }
    if (flags & ProgramFlag::Hours) {
        return 2;
    }
    return 3;
}

int64_t TimeUnitsDivisorMs(int32_t flags) {
    static constexpr int64_t kDivisors[] = {1000, 60000, 3600000, 86400000};
    return kDivisors[TimeUnitsFromFlags(flags)];
}

char ShapeLetter(int32_t xFunction) {
    return xFunction == kRamp ? 'r' : 's';
}

int32_t FunctionFromShapeLetter(char letter) {
    return letter == 's' ? kSinusoid : kRamp;
}

char DataTypeLetter(int32_t dataType) {
    switch (dataType) {
    case 0:
        return 'p';
    case 2:
        return 'a';
    case 3:
        return 'm';
    default:
        return 'n';
    }
}

int32_t DataTypeFromLetter(char letter) {
    switch (letter) {
    case 'p':
        return 0;
    case 'a':
        return 2;
    case 'm':
        return 3;
    default:
        return 1;
    }
}

char DataRateLetter(int32_t dataFrequencyIndex) {
    switch (dataFrequencyIndex) {
    case 4:
        return '1';
    case 6:
        return '2';
    case 7:
        return '3';
    case 8:
        return '4';
    case 9:
        return '5';
    default:
        return '0';
    }
}

int32_t DataFrequencyFromLetter(char letter) {
    switch (letter) {
    case '1':
        return 4;
    case '2':
        return 6;
    case '3':
        return 7;
    case '4':
        return 8;
    case '5':
        return 9;
    default:
        return 10;
    }
}

std::vector<std::string> EntryUploadLines(DeviceProgramEntry& entry) {
    // The controller keeps the name as sent, so the table keeps it that way too.
    entry.SetName(NameForWire(entry.name));
    return {Line(entry.stretchMs),    Line(entry.holdMs),
            Line(entry.recoveryMs),   Line(entry.restMs),
            Line(entry.repetitions),  Line(entry.magnitudeSetpoint),
            Line(entry.flags),        Line(entry.preloadSetpoint),
            Line(entry.shapeCode),    Line(entry.shapeCode2),
            Line(entry.name),         Line(entry.dataTypeCode),
            Line(entry.dataRateCode), Line(entry.autoAdjust)};
}

std::vector<std::string> ProgramUploadLines(DeviceProgramTable& table) {
    std::vector<std::string> lines;
    lines.reserve(2 + kDeviceProgramEntries * kProgramLineFields);
    lines.emplace_back("0P\r");
    for (DeviceProgramEntry& entry : table) {
        for (std::string& line : EntryUploadLines(entry)) {
            lines.push_back(std::move(line));
        }
    }
    lines.push_back(Line(kProgramEndByte));
    return lines;
}

int ParseProgramLine(std::string_view line, DeviceProgramEntry& entry) {
    if (!line.empty() && line[0] == kProgramEndByte) {
        return kProgramLineEnd;
    }
    std::vector<std::string_view> fields = SplitFields(line);
    // The name is the only field that can be empty; without it the line has one field less.
    if (fields.size() == kProgramLineFields - 1) {
        fields.insert(fields.begin() + 10, std::string_view{});
    }
    entry.Clear();
    auto field = [&fields](size_t i) { return i < fields.size() ? fields[i] : std::string_view{}; };
    const DeviceProgramEntry cleared;
    int32_t* const integers[] = {&entry.stretchMs, &entry.holdMs,         &entry.recoveryMs,
                                 &entry.restMs,    &entry.repetitions,    &entry.magnitudeSetpoint,
                                 &entry.flags,     &entry.preloadSetpoint};
    for (size_t i = 0; i < 8; ++i) {
        if (i < fields.size()) {
            *integers[i] = LeadingInt32(fields[i]);
        }
    }
    entry.shapeCode = FirstChar(field(8), cleared.shapeCode);
    entry.shapeCode2 = FirstChar(field(9), cleared.shapeCode2);
    entry.SetName(field(10));
    std::replace(entry.name.begin(), entry.name.end(), '|', ' ');
    entry.dataTypeCode = FirstChar(field(11), cleared.dataTypeCode);
    entry.dataRateCode = FirstChar(field(12), cleared.dataRateCode);
    if (fields.size() > 13) {
        entry.autoAdjust = LeadingInt32(fields[13]);
    }
    return kProgramLineStored;
}

int ParseProgramLine(std::string_view line, size_t index, DeviceProgramTable& table) {
    if (!line.empty() && line[0] == kProgramEndByte) {
        return kProgramLineEnd;
    }
    if (index >= table.size()) {
        return kProgramLineIgnored;
    }
    return ParseProgramLine(line, table[index]);
}

std::string FormatProgramLine(const DeviceProgramEntry& entry) {
    std::string line;
    for (int32_t value :
         {entry.stretchMs, entry.holdMs, entry.recoveryMs, entry.restMs, entry.repetitions,
          entry.magnitudeSetpoint, entry.flags, entry.preloadSetpoint}) {
        line += std::to_string(value);
        line += ' ';
    }
    line += entry.shapeCode;
    line += ' ';
    line += entry.shapeCode2;
    line += ' ';
    line += NameForWire(entry.name.substr(0, kDeviceProgramNameLength));
    line += ' ';
    line += entry.dataTypeCode;
    line += ' ';
    line += entry.dataRateCode;
    line += ' ';
    line += std::to_string(entry.autoAdjust);
    return line;
}

int StoreUploadField(DeviceProgramEntry& entry, size_t field, std::string_view line) {
    line = WithoutLineEnd(line);
    switch (field) {
    case 0:
        entry.stretchMs = LeadingInt32(line);
        return 1;
    case 1:
        entry.holdMs = LeadingInt32(line);
        return 1;
    case 2:
        entry.recoveryMs = LeadingInt32(line);
        return 1;
    case 3:
        entry.restMs = LeadingInt32(line);
        return 1;
    case 4:
        entry.repetitions = LeadingInt32(line);
        return 1;
    case 5:
        entry.magnitudeSetpoint = LeadingInt32(line);
        return 1;
    case 6:
        entry.flags = LeadingInt32(line);
        return 1;
    case 7:
        entry.preloadSetpoint = LeadingInt32(line);
        return 1;
    case 8:
        entry.shapeCode = FirstChar(line, 's');
        return 1;
    case 9:
        entry.shapeCode2 = FirstChar(line, 's');
        return 1;
    case 10:
        entry.SetName(line);
        return 1;
    case 11:
        entry.dataTypeCode = FirstChar(line, 'n');
        return 1;
    case 12:
        entry.dataRateCode = FirstChar(line, '0');
        return 1;
    case 13:
        entry.autoAdjust = LeadingInt32(line);
        return 1;
    default:
        return 0;
    }
}
