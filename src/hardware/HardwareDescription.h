// The description of the fitted hardware: which membrane, spring, magnet and regulator the
// device has, its well depth, the controller's version numbers and its two calibration tables.
// Also the four component vocabularies and the "##HARDWARE" text block that carries a
// description in card files and protocol texts.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Component values as stored in HardwareDescription. Every vocabulary ends with its invalid
// value, which also stands for "any other value".
namespace Magnet {
enum : int32_t { A100_25 = 0, A25_10 = 1, NoMagnet = 2, Invalid = 3 };
}
namespace Membrane {
// The code words start with a digit ("70A_794um"), hence the M prefix on two names.
enum : int32_t { A1_32 = 0, M70A_794um = 1, M10A_794um = 2, Hydrostatic = 3, Invalid = 4 };
} // namespace Membrane
namespace Regulator {
enum : int32_t {
    SMC1050 = 0,
    SMC1030 = 1,
    QPV1 = 2,
    QPVPlusMinus15 = 3, // code word "QPV+-15"
    ITV1050 = 4,
    ITV1030 = 5,
    ITV1010 = 6,
    QB3_20 = 7,
    Invalid = 8
};
} // namespace Regulator
namespace Spring {
enum : int32_t {
    NoSpring = 0,
    RubberGrommet12d7_7d9 = 1,
    RubberSpacer12d7_7d9 = 2,
    SilverSpring_9mm_Diam = 3,
    GoldSpring_13mm_Diam = 4,
    Invalid = 5
};
} // namespace Spring

inline constexpr int kWellCount = 9;

struct HardwareDescription {
    int32_t hardwareVersion = 1000;
    int32_t FirmwareVersion = 1000;
    int32_t MagnetStyle = Magnet::A100_25;
    int32_t MembraneStyle = Membrane::M70A_794um;
    int32_t RegulatorType = Regulator::SMC1050;
    int32_t SpringType = Spring::GoldSpring_13mm_Diam;
    double WellDepth_mm = 18.5;
    double heightOffset_mm = 10.5;
    // Micrometres, one per well in well order (POSCAL.INI).
    std::optional<std::array<int32_t, kWellCount>> positionOffsets;
    // m2, m1, m0 per well in well order (MAGCAL.INI).
    std::optional<std::array<double, 3 * kWellCount>> displacementCoefficients;

    bool operator==(const HardwareDescription&) const = default;
};

// What the controller's calibration files can hold. POSCAL.INI keeps each offset as a 32-bit
// "%d"; MAGCAL.INI keeps each coefficient as "%12f" on a line of its own, and card lines of 80
// characters or more cannot be read back (71 digits before the point are the most that fit).
bool CardHoldsOffset(double micrometres);
bool CardHoldsCoefficient(double value);

// Code words (files) and shown names (dialog). Lookups compare the whole text exactly; an
// unknown text gives the invalid value, a value outside the vocabulary gives the invalid text.
int32_t MagnetFromCode(std::string_view code);
int32_t MembraneFromCode(std::string_view code);
int32_t RegulatorFromCode(std::string_view code);
int32_t SpringFromCode(std::string_view code);

const std::string& MagnetCode(int32_t value);
const std::string& MembraneCode(int32_t value);
const std::string& RegulatorCode(int32_t value);
const std::string& SpringCode(int32_t value);

const std::string& MagnetName(int32_t value);
const std::string& MembraneName(int32_t value);
const std::string& RegulatorName(int32_t value);
const std::string& SpringName(int32_t value);

int32_t MagnetFromName(std::string_view name);
int32_t MembraneFromName(std::string_view name);
int32_t RegulatorFromName(std::string_view name);
int32_t SpringFromName(std::string_view name);

// The entries the hardware dialog offers, in its list order (A1_32 is not offered).
const std::vector<std::string>& MembraneDialogNames();
const std::vector<std::string>& SpringDialogNames();
const std::vector<std::string>& MagnetDialogNames();
const std::vector<std::string>& RegulatorDialogNames();

inline constexpr std::string_view kHardwareBlockTag = "##HARDWARE";

// The controller's INFOW.INI as read from the card when it connects: each value starts at a
// fixed column of its line (the key and one blank before it). Fields whose line is missing or
// too short keep their values; fewer than eight lines change nothing.
void ApplyCardHardwareLines(const std::vector<std::string>& lines,
                            HardwareDescription& description);

// Writes the eight "##HARDWARE" lines, each ended by a bare line feed. The version, height
// offset and calibration tables are not part of the block. Returns 1.
int WriteHardwareBlock(std::ostream& out, const HardwareDescription& description);
// The block as text, for card files.
std::string HardwareBlockText(const HardwareDescription& description);

// `word` is the word the caller has just read. Unless it is exactly "##HARDWARE" nothing is
// consumed. Otherwise the block is read into `description` (keys are not checked; fields in
// block order) and `word` becomes the first word after the block. A number that cannot be read
// leaves the stream failed: that field becomes 0, later numbers keep their values, later code
// fields become invalid and `word` is left as it was; so it is when the text ends with the
// block (the stream is then at its end). Returns 1.
int ReadHardwareBlock(std::istream& in, std::string& word, HardwareDescription& description);

// For readers of texts that may start with a block: reads the first word, reads the block if
// that word starts one, and returns the word to continue with (empty when the text is empty).
std::string ReadLeadingHardwareBlock(std::istream& in, HardwareDescription& description);
