#include "protocol/ProtocolTable.h"

#include "common/NumberText.h"
#include "hardware/HardwareDescription.h"
#include "protocol/SetEditRules.h"

#include <algorithm>

#include <istream>
#include <ostream>
#include <sstream>

namespace {

constexpr std::string_view kBlankMark = "[_]";

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Blanks become "[_]" so that a name stays one token. Any other white space would split the
// row just the same, and an empty name would leave the row a cell short, so both are marked
// too (an empty name reads back as one blank).
std::string EncodeName(const std::string& name) {
    if (name.empty()) {
        return std::string(kBlankMark);
    }
    std::string encoded;
    encoded.reserve(name.size());
    for (char c : name) {
        if (IsSpace(c)) {
            encoded += kBlankMark;
        } else {
            encoded += c;
        }
    }
    return encoded;
}

std::string DecodeName(const std::string& token) {
    std::string name;
    name.reserve(token.size());
    for (size_t i = 0; i < token.size();) {
        if (token.compare(i, kBlankMark.size(), kBlankMark) == 0) {
            name += ' ';
            i += kBlankMark.size();
        } else {
            name += token[i++];
        }
    }
    return name;
}

} // namespace

std::string SetCellText(const SetRecord& set, SetKey key) {
    switch (key) {
    case SetKey::Name:
        return EncodeName(set.Name);
    case SetKey::XMode:
        return ControlModeText(set.XMode);
    case SetKey::YMode:
        return ControlModeText(set.YMode);
    case SetKey::ZMode:
        return ControlModeText(set.ZMode);
    case SetKey::XFunction:
        return ControlFunctionText(set.XFunction);
    case SetKey::YFunction:
        return ControlFunctionText(set.YFunction);
    case SetKey::ZFunction:
        return ControlFunctionText(set.ZFunction);
    case SetKey::XUnits:
        return MagnitudeUnitsText(set.XUnits);
    case SetKey::YUnits:
        return MagnitudeUnitsText(set.YUnits);
    case SetKey::ZUnits:
        return MagnitudeUnitsText(set.ZUnits);
    case SetKey::XMagnitude:
        return DefaultDoubleText(set.XMagnitude);
    case SetKey::YMagnitude:
        return DefaultDoubleText(set.YMagnitude);
    case SetKey::ZMagnitude:
        return DefaultDoubleText(set.ZMagnitude);
    case SetKey::XPreloadType:
        return PreloadTypeText(set.XPreloadType);
    case SetKey::YPreloadType:
        return PreloadTypeText(set.YPreloadType);
    case SetKey::ZPreloadType:
        return PreloadTypeText(set.ZPreloadType);
    case SetKey::XPreloadMag:
        return DefaultDoubleText(set.XPreloadMag);
    case SetKey::YPreloadMag:
        return DefaultDoubleText(set.YPreloadMag);
    case SetKey::ZPreloadMag:
        return DefaultDoubleText(set.ZPreloadMag);
    case SetKey::StretchDurationSec:
        return DefaultDoubleText(set.StretchDurationSec);
    case SetKey::RecoveryDurationSec:
        return DefaultDoubleText(set.RecoveryDurationSec);
    case SetKey::HoldTimeSec:
        return DefaultDoubleText(set.HoldTimeSec);
    case SetKey::RestTimeSec:
        return DefaultDoubleText(set.RestTimeSec);
    case SetKey::NumReps:
        return std::to_string(set.NumReps);
    case SetKey::DataFreqHz:
        return DataFrequencyText(set.DataFreqHz);
    case SetKey::DataType:
        return DataTypeText(set.DataType);
    case SetKey::ImageFreqHz:
        return ImageFrequencyText(set.ImageFreqHz);
    case SetKey::Tolerance:
        return DefaultDoubleText(set.Tolerance);
    case SetKey::TolCorOver:
        return set.TolCorOver ? "1" : "0";
    case SetKey::TimeUnits:
        return TimeUnitsName(set.TimeUnits);
    case SetKey::AutoAdjust:
        return std::to_string(set.AutoAdjust);
    case SetKey::Invalid:
        break;
    }
    return {};
}

void ReadSetCell(SetRecord& set, SetKey key, const std::string& token) {
    switch (key) {
    case SetKey::Name:
        set.Name = DecodeName(token);
        break;
    case SetKey::XMode:
        set.XMode = ParseControlMode(token);
        break;
    case SetKey::YMode:
        set.YMode = ParseControlMode(token);
        break;
    case SetKey::ZMode:
        set.ZMode = ParseControlMode(token);
        break;
    case SetKey::XFunction:
        set.XFunction = ParseControlFunction(token);
        break;
    case SetKey::YFunction:
        set.YFunction = ParseControlFunction(token);
        break;
    case SetKey::ZFunction:
        set.ZFunction = ParseControlFunction(token);
        break;
    case SetKey::XUnits:
        set.XUnits = ParseMagnitudeUnits(token);
        break;
    case SetKey::YUnits:
        set.YUnits = ParseMagnitudeUnits(token);
        break;
    case SetKey::ZUnits:
        set.ZUnits = ParseMagnitudeUnits(token);
        break;
    case SetKey::XMagnitude:
        set.XMagnitude = LeadingDouble(token);
        break;
    case SetKey::YMagnitude:
        set.YMagnitude = LeadingDouble(token);
        break;
    case SetKey::ZMagnitude:
        set.ZMagnitude = LeadingDouble(token);
        break;
    case SetKey::XPreloadType:
        set.XPreloadType = ParsePreloadType(token);
        break;
    case SetKey::YPreloadType:
        set.YPreloadType = ParsePreloadType(token);
        break;
    case SetKey::ZPreloadType:
        set.ZPreloadType = ParsePreloadType(token);
        break;
    case SetKey::XPreloadMag:
        set.XPreloadMag = LeadingDouble(token);
        break;
    case SetKey::YPreloadMag:
        set.YPreloadMag = LeadingDouble(token);
        break;
    case SetKey::ZPreloadMag:
        set.ZPreloadMag = LeadingDouble(token);
        break;
    case SetKey::StretchDurationSec:
        set.StretchDurationSec = LeadingDouble(token);
        break;
    case SetKey::RecoveryDurationSec:
        set.RecoveryDurationSec = LeadingDouble(token);
        break;
    case SetKey::HoldTimeSec:
        set.HoldTimeSec = LeadingDouble(token);
        break;
    case SetKey::RestTimeSec:
        set.RestTimeSec = LeadingDouble(token);
        break;
    case SetKey::NumReps:
        set.NumReps = LeadingInt(token);
        break;
    case SetKey::DataFreqHz:
        set.DataFreqHz = ParseDataFrequency(token);
        break;
    case SetKey::DataType:
        set.DataType = ParseDataType(token);
        break;
    case SetKey::ImageFreqHz:
        set.ImageFreqHz = ParseImageFrequency(token);
        break;
    case SetKey::Tolerance:
        set.Tolerance = LeadingDouble(token);
        break;
    case SetKey::TolCorOver:
        set.TolCorOver = LeadingInt(token) != 0;
        break;
    case SetKey::TimeUnits:
        set.TimeUnits = ParseTimeUnits(token);
        break;
    case SetKey::AutoAdjust:
        set.AutoAdjust = LeadingInt(token);
        break;
    case SetKey::Invalid:
        break; // the token is consumed and changes nothing
    }
}

void WriteProtocolTable(SetSequence& sequence, std::ostream& out) {
    sequence.columns = StandardColumns();
    std::string text;
    for (SetKey key : sequence.columns) {
        text += SetKeyText(key);
        text += '\t';
    }
    text += '\n';
    for (const SetRecord& set : sequence.sets) {
        for (SetKey key : sequence.columns) {
            text += SetCellText(set, key);
            text += '\t';
        }
        text += '\n';
    }
    out << text;
}

std::string ProtocolTableText(SetSequence& sequence) {
    std::ostringstream out;
    WriteProtocolTable(sequence, out);
    return out.str();
}

std::string DeviceTemplateText(SetSequence& sequence, const HardwareDescription& hardware) {
    std::ostringstream out;
    WriteHardwareBlock(out, hardware);
    WriteProtocolTable(sequence, out);
    return out.str();
}

void StartReading(SetSequence& sequence, std::istream& in, std::string& token) {
    sequence.sets.clear();
    sequence.columns.clear();
    // An empty text has no key at all.
    if (!token.empty()) {
        sequence.columns.push_back(ParseSetKey(token));
    }
    // The rest of the header line, whatever its length and its line end.
    std::string rest;
    for (int c = in.get(); c != std::char_traits<char>::eof() && c != '\n'; c = in.get()) {
        if (c == '\r') {
            if (in.peek() == '\n')
                in.get();
            break;
        }
        rest += static_cast<char>(c);
    }
    std::istringstream keys(rest);
    std::string key;
    while (keys >> key) {
        sequence.columns.push_back(ParseSetKey(key));
    }
    in >> token;
}

bool MoreSetsToRead(const std::istream& in) {
    return !in.fail();
}

ReadSetResult ReadOneSet(SetSequence& sequence, std::istream& in, std::string& token) {
    if (sequence.columns.empty()) {
        // No columns to give the tokens to: nothing more can be read.
        std::string skipped;
        while (in >> skipped) {
        }
        return ReadSetResult::EndedInsideSet;
    }
    SetRecord set;
    const size_t count = sequence.columns.size();
    for (size_t i = 0; i < count; ++i) {
        ReadSetCell(set, sequence.columns[i], token);
        // Running out after the last column is the normal end of the table; running out
        // before it would fill the remaining columns with a stale token, so the set is dropped.
        if (!(in >> token) && i + 1 < count) {
            return ReadSetResult::EndedInsideSet;
        }
    }
    // The standard columns carry no recording rate: the set gets the one the editor would have
    // given it, not the default of a new set.
    if (std::find(sequence.columns.begin(), sequence.columns.end(), SetKey::DataFreqHz) ==
        sequence.columns.end()) {
        set.DataFreqHz = DataFrequencyFor(set.HoldTimeSec, set.RestTimeSec, set.DataType);
    }
    sequence.sets.push_back(std::move(set));
    return ReadSetResult::Appended;
}

std::string ProtocolReadWarning(const ProtocolReadResult& result) {
    std::string warning;
    if (result.hardwareBlockFailed) {
        warning += "Warning:  The hardware block could not be read; nothing after it was read\n";
    }
    if (result.noTable) {
        warning += "Error:  This file holds no protocol: its first line names no known column\n";
    }
    if (result.endedInsideSet) {
        warning += "Warning:  The protocol ends inside a set; that incomplete set was left out\n";
    }
    return warning;
}

ProtocolReadResult ReadProtocolText(std::istream& in, SetSequence& sequence,
                                    HardwareDescription* hardware) {
    ProtocolReadResult result;
    std::string token;
    in >> token;
    if (token == kHardwareBlockTag) {
        result.hardwareBlock = true;
        HardwareDescription unused;
        ReadHardwareBlock(in, token, hardware != nullptr ? *hardware : unused);
        // The block reader reads the header's first key last; failing there means the block
        // was cut short or a number in it could not be read.
        result.hardwareBlockFailed = in.fail();
    }
    StartReading(sequence, in, token);
    result.noTable = std::none_of(sequence.columns.begin(), sequence.columns.end(),
                                  [](SetKey key) { return key != SetKey::Invalid; });
    while (MoreSetsToRead(in)) {
        if (ReadOneSet(sequence, in, token) == ReadSetResult::EndedInsideSet) {
            result.endedInsideSet = true;
            break;
        }
    }
    return result;
}

ProtocolReadResult ReadProtocolText(const std::string& text, SetSequence& sequence,
                                    HardwareDescription* hardware) {
    std::istringstream in(text);
    return ReadProtocolText(in, sequence, hardware);
}
