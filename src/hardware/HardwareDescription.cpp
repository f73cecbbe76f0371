#include "hardware/HardwareDescription.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstdint>
#include <istream>
#include <locale>
#include <ostream>
#include <sstream>

namespace {

struct Vocabulary {
    // Index = value; the last entry is the invalid one.
    std::vector<std::string> codes;
    std::vector<std::string> names;

    int32_t InvalidValue() const { return static_cast<int32_t>(codes.size()) - 1; }

    static int32_t Find(const std::vector<std::string>& texts, std::string_view text) {
        // The invalid entry itself is not a known text.
        for (size_t i = 0; i + 1 < texts.size(); ++i) {
            if (texts[i] == text) {
                return static_cast<int32_t>(i);
            }
        }
        return static_cast<int32_t>(texts.size()) - 1;
    }
    int32_t FromCode(std::string_view code) const { return Find(codes, code); }
    int32_t FromName(std::string_view name) const { return Find(names, name); }

    size_t Index(int32_t value) const {
        return value >= 0 && value < InvalidValue() ? static_cast<size_t>(value)
                                                    : static_cast<size_t>(InvalidValue());
    }
    const std::string& Code(int32_t value) const { return codes[Index(value)]; }
    const std::string& Name(int32_t value) const { return names[Index(value)]; }
};

const Vocabulary& Magnets() {
    static const Vocabulary v{{"A100_25", "A25_10", "NoMagnet", "InvalidMagnetStyle"},
                              {"A10x2.5_mm", "A2.5x1_mm", "NoMagnet", "InvalidMagnetStyle"}};
    return v;
}

const Vocabulary& Membranes() {
    static const Vocabulary v{
        {"A1_32", "70A_794um", "10A_794um", "Hydrostatic", "InvalidMembraneStyle"},
        {"A1_32", "70A_794um", "10A_794um", "Hydrostatic", "InvalidMembraneStyle"}};
    return v;
}

const Vocabulary& Regulators() {
    static const Vocabulary v{{"SMC1050", "SMC1030", "QPV1", "QPV+-15", "ITV1050", "ITV1030",
                               "ITV1010", "QB3_20", "InvalidRegulatorType"},
                              {"SMC1050 (130 psi Max.) (Legacy wiring)",
                               "SMC1030 (73 psi Max.) (Legacy wiring)", "QPV1  (1 psi Max.)",
                               "QPV1  (-15 to 15 psi)", "ITV1050 (130 psi Max.)",
                               "ITV1030 (73 psi Max.)", "ITV1010 (15 psi Max.)",
                               "QB3 (20 psi Max.)", "InvalidRegulatorType"}};
    return v;
}

const Vocabulary& Springs() {
    static const Vocabulary v{
        {"NoSpring", "RubberGrommet12d7_7d9", "RubberSpacer12d7_7d9", "SilverSpring_9mm_Diam",
         "GoldSpring_13mm_Diam", "InvalidSpringType"},
        {"No Spring", "Rubber Grommet 12.7x7.9_mm", "Rubber Spacer 12.7x7.9_mm",
         "Silver Spring 9 mm Diam", "Gold Spring 13 mm Diam", "InvalidSpringType"}};
    return v;
}

// The default stream format for doubles (6 significant digits), independent of the caller's
// stream settings and of any global locale.
std::string FormatDouble(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << value;
    return text.str();
}

} // namespace

int32_t MagnetFromCode(std::string_view code) {
    return Magnets().FromCode(code);
}
int32_t MembraneFromCode(std::string_view code) {
    return Membranes().FromCode(code);
}
int32_t RegulatorFromCode(std::string_view code) {
    return Regulators().FromCode(code);
}
int32_t SpringFromCode(std::string_view code) {
    return Springs().FromCode(code);
}

const std::string& MagnetCode(int32_t value) {
    return Magnets().Code(value);
}
const std::string& MembraneCode(int32_t value) {
    return Membranes().Code(value);
}
const std::string& RegulatorCode(int32_t value) {
    return Regulators().Code(value);
}
const std::string& SpringCode(int32_t value) {
    return Springs().Code(value);
}

const std::string& MagnetName(int32_t value) {
    return Magnets().Name(value);
}
const std::string& MembraneName(int32_t value) {
    return Membranes().Name(value);
}
const std::string& RegulatorName(int32_t value) {
    return Regulators().Name(value);
}
const std::string& SpringName(int32_t value) {
    return Springs().Name(value);
}

int32_t MagnetFromName(std::string_view name) {
    return Magnets().FromName(name);
}
int32_t MembraneFromName(std::string_view name) {
    return Membranes().FromName(name);
}
int32_t RegulatorFromName(std::string_view name) {
    return Regulators().FromName(name);
}
int32_t SpringFromName(std::string_view name) {
    return Springs().FromName(name);
}

const std::vector<std::string>& MembraneDialogNames() {
    static const std::vector<std::string> names{"70A_794um", "10A_794um", "Hydrostatic"};
    return names;
}

const std::vector<std::string>& SpringDialogNames() {
    static const std::vector<std::string> names{
        "No Spring", "Silver Spring 9 mm Diam", "Gold Spring 13 mm Diam",
        "Rubber Grommet 12.7x7.9_mm", "Rubber Spacer 12.7x7.9_mm"};
    return names;
}

const std::vector<std::string>& MagnetDialogNames() {
    static const std::vector<std::string> names{"A10x2.5_mm", "A2.5x1_mm", "NoMagnet"};
    return names;
}

const std::vector<std::string>& RegulatorDialogNames() {
    static const std::vector<std::string> names{"ITV1050 (130 psi Max.)",
                                                "ITV1030 (73 psi Max.)",
                                                "ITV1010 (15 psi Max.)",
                                                "SMC1050 (130 psi Max.) (Legacy wiring)",
                                                "SMC1030 (73 psi Max.) (Legacy wiring)",
                                                "QPV1  (1 psi Max.)",
                                                "QPV1  (-15 to 15 psi)",
                                                "QB3 (20 psi Max.)"};
    return names;
}

std::string HardwareBlockText(const HardwareDescription& d) {
    std::string text;
    text += kHardwareBlockTag;
    text += "\nKelvastra TR\n";
    text += "FirmwareVersion " + std::to_string(d.FirmwareVersion) + "\n";
    text += "WellDepth_mm " + FormatDouble(d.WellDepth_mm) + "\n";
    text += "MagnetStyle " + MagnetCode(d.MagnetStyle) + "\n";
    text += "MembraneStyle " + MembraneCode(d.MembraneStyle) + "\n";
    text += "RegulatorType " + RegulatorCode(d.RegulatorType) + "\n";
    text += "SpringType " + SpringCode(d.SpringType) + "\n";
    return text;
}

int WriteHardwareBlock(std::ostream& out, const HardwareDescription& description) {
    out << HardwareBlockText(description);
    return 1;
}

int ReadHardwareBlock(std::istream& in, std::string& word, HardwareDescription& d) {
    if (word != kHardwareBlockTag) {
        return 1;
    }
    // One variable for the keys and one for the code words: once the stream has failed, reads
    // leave them as they were, so later code fields see the last code word read (or none).
    std::string key;
    std::string code;
    in >> key >> key; // product line, two words

    in >> key >> d.FirmwareVersion;
    in >> key >> d.WellDepth_mm;
    in >> key >> code;
    d.MagnetStyle = MagnetFromCode(code);
    in >> key >> code;
    d.MembraneStyle = MembraneFromCode(code);
    in >> key >> code;
    d.RegulatorType = RegulatorFromCode(code);
    in >> key >> code;
    d.SpringType = SpringFromCode(code);

    in >> word;
    return 1;
}

std::string ReadLeadingHardwareBlock(std::istream& in, HardwareDescription& description) {
    std::string word;
    in >> word;
    ReadHardwareBlock(in, word, description);
    return word;
}

bool CardHoldsOffset(double micrometres) {
    return micrometres >= static_cast<double>(INT32_MIN) &&
           micrometres <= static_cast<double>(INT32_MAX);
}

bool CardHoldsCoefficient(double value) {
    return std::isfinite(value) && std::fabs(value) < 1e71;
}

namespace {

// The value part of an INFOW.INI line, or nullopt when the line is too short to hold one.
std::optional<std::string> ValueAt(const std::string& line, std::size_t column) {
    if (line.size() <= column)
        return std::nullopt;
    std::string value = line.substr(column);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    return value;
}

} // namespace

void ApplyCardHardwareLines(const std::vector<std::string>& lines,
                            HardwareDescription& description) {
    if (lines.size() < 8)
        return;
    if (auto v = ValueAt(lines[2], 16))
        description.FirmwareVersion = LeadingInt(*v);
    if (auto v = ValueAt(lines[3], 13))
        description.WellDepth_mm = LeadingDouble(*v);
    if (auto v = ValueAt(lines[4], 12))
        description.MagnetStyle = MagnetFromCode(*v);
    if (auto v = ValueAt(lines[5], 14))
        description.MembraneStyle = MembraneFromCode(*v);
    if (auto v = ValueAt(lines[6], 14))
        description.RegulatorType = RegulatorFromCode(*v);
    if (auto v = ValueAt(lines[7], 11))
        description.SpringType = SpringFromCode(*v);
}
