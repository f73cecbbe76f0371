#include "hardware/HardwareDescription.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

// Every value's code and name read back as that value; anything else is the invalid value,
// written as the invalid word. The codes themselves show in the block bytes below.
template <typename FromCode, typename Code, typename Name, typename FromName>
void CheckVocabulary(int32_t invalid, const char* invalidText, FromCode fromCode, Code code,
                     Name name, FromName fromName) {
    for (int32_t value = 0; value < invalid; ++value) {
        EXPECT_EQ(fromCode(code(value)), value) << code(value);
        EXPECT_EQ(fromName(name(value)), value) << name(value);
    }
    // Unknown texts, other case, a prefix, the invalid word itself and the empty word.
    for (const char* unknown : {"", "nomagnet", "a100_25", "A100", "70a_794um", "qb3_20",
                                "Hydrostatic ", " NoSpring", invalidText}) {
        EXPECT_EQ(fromCode(unknown), invalid) << unknown;
        EXPECT_EQ(fromName(unknown), invalid) << unknown;
    }
    for (int32_t outside : {invalid, invalid + 1, -1, 1000}) {
        EXPECT_EQ(code(outside), invalidText);
        EXPECT_EQ(name(outside), invalidText);
    }
}

TEST(HardwareVocabulary, EveryValueBothWays) {
    CheckVocabulary(3, "InvalidMagnetStyle", MagnetFromCode, MagnetCode, MagnetName,
                    MagnetFromName);
    CheckVocabulary(4, "InvalidMembraneStyle", MembraneFromCode, MembraneCode, MembraneName,
                    MembraneFromName);
    CheckVocabulary(8, "InvalidRegulatorType", RegulatorFromCode, RegulatorCode, RegulatorName,
                    RegulatorFromName);
    CheckVocabulary(5, "InvalidSpringType", SpringFromCode, SpringCode, SpringName, SpringFromName);
    // A single blank after QPV1 is not the shown name; a code is not a name.
    EXPECT_EQ(RegulatorFromName("QPV1 (1 psi Max.)"), 8);
    EXPECT_EQ(RegulatorFromName("QB3_20"), 8);
}

std::string Written(const HardwareDescription& d) {
    std::ostringstream out;
    EXPECT_EQ(WriteHardwareBlock(out, d), 1);
    EXPECT_EQ(out.str(), HardwareBlockText(d));
    return out.str();
}

TEST(HardwareBlock, WriterBytes) {
    EXPECT_EQ(Written(HardwareDescription{}),
              "##HARDWARE\nKelvastra TR\nFirmwareVersion 1000\nWellDepth_mm 18.5\n"
              "MagnetStyle A100_25\nMembraneStyle 70A_794um\nRegulatorType SMC1050\n"
              "SpringType GoldSpring_13mm_Diam\n");
    const struct {
        double depth;
        const char* line;
    } depths[] = {{20, "WellDepth_mm 20\n"},
                  {18.123456789, "WellDepth_mm 18.1235\n"},
                  {1234567, "WellDepth_mm 1.23457e+06\n"},
                  {0.00001, "WellDepth_mm 1e-05\n"}};
    for (const auto& c : depths) {
        HardwareDescription d;
        d.WellDepth_mm = c.depth;
        EXPECT_NE(Written(d).find(c.line), std::string::npos) << c.line;
    }
}

TEST(HardwareBlock, RoundTripKeepsUnwrittenFields) {
    HardwareDescription written;
    written.FirmwareVersion = 74050;
    written.WellDepth_mm = 20.25;
    written.MagnetStyle = Magnet::NoMagnet;
    written.MembraneStyle = Membrane::Hydrostatic;
    written.RegulatorType = Regulator::QB3_20;
    written.SpringType = Spring::RubberSpacer12d7_7d9;
    written.hardwareVersion = 1234; // not in the block

    HardwareDescription read;
    read.hardwareVersion = 999;
    read.heightOffset_mm = 1.0;
    read.positionOffsets = std::array<int32_t, 9>{1, 2, 3, 4, 5, 6, 7, 8, 9};
    HardwareDescription expected = written; // the block's fields, the reader's own others
    expected.hardwareVersion = read.hardwareVersion;
    expected.heightOffset_mm = read.heightOffset_mm;
    expected.positionOffsets = read.positionOffsets;
    std::istringstream in(Written(written) + "Header1 value\n");
    EXPECT_EQ(ReadLeadingHardwareBlock(in, read), "Header1");
    EXPECT_EQ(read, expected);
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "value");
}

TEST(HardwareBlock, ReaderAcceptsCarriageReturnsAndIgnoresKeys) {
    std::istringstream in("##HARDWARE\r\nOther Product\r\nA 2000\r\nB 17\r\nC A25_10\r\n"
                          "D 10A_794um\r\nE QPV+-15\r\nF NoSpring\r\nNext");
    HardwareDescription d;
    std::string word;
    in >> word;
    EXPECT_EQ(ReadHardwareBlock(in, word, d), 1);
    EXPECT_EQ(word, "Next");
    EXPECT_EQ(
        HardwareBlockText(d),
        "##HARDWARE\nKelvastra TR\nFirmwareVersion 2000\nWellDepth_mm 17\nMagnetStyle A25_10\n"
        "MembraneStyle 10A_794um\nRegulatorType QPV+-15\nSpringType NoSpring\n");
}

TEST(HardwareBlock, FirstWordNotTagConsumesNothing) {
    for (const char* first : {"Set1", "##hardware", "##HARDWARE2", "#HARDWARE"}) {
        HardwareDescription d;
        d.FirmwareVersion = 5;
        const HardwareDescription before = d;
        std::string word = first;
        std::istringstream in("Kelvastra TR FirmwareVersion 2000");
        EXPECT_EQ(ReadHardwareBlock(in, word, d), 1);
        EXPECT_EQ(word, first);
        EXPECT_EQ(d, before);
        std::string next;
        in >> next;
        EXPECT_EQ(next, "Kelvastra");
    }
}

TEST(HardwareBlock, BadFirmwareNumberFailsTheRest) {
    HardwareDescription d;
    d.WellDepth_mm = 12.0;
    std::istringstream in("##HARDWARE Kelvastra TR FirmwareVersion abc WellDepth_mm 20 "
                          "MagnetStyle A25_10 MembraneStyle 10A_794um RegulatorType QPV1 "
                          "SpringType NoSpring Next");
    std::string word;
    in >> word;
    EXPECT_EQ(ReadHardwareBlock(in, word, d), 1);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(word, "##HARDWARE");
    EXPECT_EQ(d.FirmwareVersion, 0);
    EXPECT_EQ(d.WellDepth_mm, 12.0);
    EXPECT_EQ(d.MagnetStyle, Magnet::Invalid);
    EXPECT_EQ(d.MembraneStyle, Membrane::Invalid);
    EXPECT_EQ(d.RegulatorType, Regulator::Invalid);
    EXPECT_EQ(d.SpringType, Spring::Invalid);

    // A well depth that is no number reads as 0; the firmware before it stays.
    std::istringstream depth("##HARDWARE Kelvastra TR FirmwareVersion 3000 WellDepth_mm x "
                             "MagnetStyle A25_10");
    EXPECT_EQ(ReadLeadingHardwareBlock(depth, d), "##HARDWARE");
    EXPECT_EQ(d.FirmwareVersion, 3000);
    EXPECT_EQ(d.WellDepth_mm, 0.0);
}

TEST(HardwareBlock, BlockAloneOrNothingLeavesTheWordAtTheEnd) {
    // INFOW.INI holds the block and nothing else: there is no next word to read.
    HardwareDescription written;
    written.SpringType = Spring::SilverSpring_9mm_Diam;
    HardwareDescription read;
    std::istringstream in(HardwareBlockText(written));
    EXPECT_EQ(ReadLeadingHardwareBlock(in, read), "##HARDWARE");
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(read, written);
    HardwareDescription d;
    std::istringstream empty("");
    EXPECT_EQ(ReadLeadingHardwareBlock(empty, d), "");
    EXPECT_EQ(d, HardwareDescription{});
}

// The controller's INFOW.INI, read by position: each value after its key's width; lines too short
// to hold a value and files of fewer than eight lines leave the description as it was.
TEST(CardHardwareLines, ValuesByPositionShortLinesAndShortFiles) {
    HardwareDescription partial; // short value lines are absent
    partial.WellDepth_mm = 20.0;
    partial.MembraneStyle = Membrane::Hydrostatic;
    partial.SpringType = Spring::NoSpring;
    HardwareDescription byPosition; // keys are not compared, unknown codes are invalid
    byPosition.FirmwareVersion = 1234;
    byPosition.WellDepth_mm = 9.5;
    byPosition.MagnetStyle = Magnet::Invalid;
    byPosition.MembraneStyle = Membrane::Invalid;
    byPosition.RegulatorType = Regulator::QPV1;
    byPosition.SpringType = Spring::Invalid;
    const std::pair<std::string, HardwareDescription> cases[] = {
        {"##HARDWARE\nKelvastra TR\nFirmwareVersion\nWellDepth_mm 20\nMagnetStyle \n"
         "MembraneStyle Hydrostatic\nRegulatorType\nSpringType NoSpring\n",
         partial},
        {"##HARDWARE\nKelvastra TR\nFirmwareVersion 4050\nWellDepth_mm 20\nMagnetStyle A25_10\n"
         "MembraneStyle Hydrostatic\nRegulatorType QB3_20\n",
         HardwareDescription{}},
        {"x\ny\nXXXXXXXXXXXXXXX 1234\nXXXXXXXXXXXX 9.5\nXXXXXXXXXXX Foo\nXXXXXXXXXXXXX Bar\n"
         "XXXXXXXXXXXXX QPV1\nXXXXXXXXXX Baz\n",
         byPosition},
    };
    for (const auto& [file, expected] : cases) {
        SCOPED_TRACE(file);
        std::vector<std::string> lines;
        std::istringstream in(file);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        HardwareDescription hw;
        ApplyCardHardwareLines(lines, hw);
        EXPECT_EQ(hw, expected);
    }
}

} // namespace
