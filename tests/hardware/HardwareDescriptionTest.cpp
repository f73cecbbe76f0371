#include "hardware/HardwareDescription.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

struct VocabularyRow {
    int32_t value;
    const char* code;
    const char* name;
};

const VocabularyRow kMagnets[] = {
    {0, "A100_25", "A10x2.5_mm"},
    {1, "A25_10", "A2.5x1_mm"},
    {2, "NoMagnet", "NoMagnet"},
};
const VocabularyRow kMembranes[] = {
    {0, "A1_32", "A1_32"},
    {1, "70A_794um", "70A_794um"},
    {2, "10A_794um", "10A_794um"},
    {3, "Hydrostatic", "Hydrostatic"},
};
const VocabularyRow kRegulators[] = {
    {0, "SMC1050", "SMC1050 (130 psi Max.) (Legacy wiring)"},
    {1, "SMC1030", "SMC1030 (73 psi Max.) (Legacy wiring)"},
    {2, "QPV1", "QPV1  (1 psi Max.)"},
    {3, "QPV+-15", "QPV1  (-15 to 15 psi)"},
    {4, "ITV1050", "ITV1050 (130 psi Max.)"},
    {5, "ITV1030", "ITV1030 (73 psi Max.)"},
    {6, "ITV1010", "ITV1010 (15 psi Max.)"},
    {7, "QB3_20", "QB3 (20 psi Max.)"},
};
const VocabularyRow kSprings[] = {
    {0, "NoSpring", "No Spring"},
    {1, "RubberGrommet12d7_7d9", "Rubber Grommet 12.7x7.9_mm"},
    {2, "RubberSpacer12d7_7d9", "Rubber Spacer 12.7x7.9_mm"},
    {3, "SilverSpring_9mm_Diam", "Silver Spring 9 mm Diam"},
    {4, "GoldSpring_13mm_Diam", "Gold Spring 13 mm Diam"},
};

template <size_t N, typename FromCode, typename Code, typename Name, typename FromName>
void CheckVocabulary(const VocabularyRow (&rows)[N], int32_t invalid, const char* invalidText,
                     FromCode fromCode, Code code, Name name, FromName fromName) {
    for (const VocabularyRow& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(fromCode(row.code), row.value);
        EXPECT_EQ(code(row.value), row.code);
        EXPECT_EQ(name(row.value), row.name);
        EXPECT_EQ(fromName(row.name), row.value);
    }
    EXPECT_EQ(static_cast<int32_t>(N), invalid);
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

TEST(HardwareVocabulary, MagnetBothWays) {
    CheckVocabulary(kMagnets, 3, "InvalidMagnetStyle", MagnetFromCode, MagnetCode, MagnetName,
                    MagnetFromName);
}

TEST(HardwareVocabulary, MembraneBothWays) {
    CheckVocabulary(kMembranes, 4, "InvalidMembraneStyle", MembraneFromCode, MembraneCode,
                    MembraneName, MembraneFromName);
}

TEST(HardwareVocabulary, RegulatorBothWays) {
    CheckVocabulary(kRegulators, 8, "InvalidRegulatorType", RegulatorFromCode, RegulatorCode,
                    RegulatorName, RegulatorFromName);
    // A single blank after QPV1 is not the shown name.
    EXPECT_EQ(RegulatorFromName("QPV1 (1 psi Max.)"), 8);
    EXPECT_EQ(RegulatorFromName("QB3_20"), 8);
}

TEST(HardwareVocabulary, SpringBothWays) {
    CheckVocabulary(kSprings, 5, "InvalidSpringType", SpringFromCode, SpringCode, SpringName,
                    SpringFromName);
}

TEST(HardwareVocabulary, DialogListsMapToValues) {
    std::vector<int32_t> membranes, springs, magnets, regulators;
    for (const auto& n : MembraneDialogNames())
        membranes.push_back(MembraneFromName(n));
    for (const auto& n : SpringDialogNames())
        springs.push_back(SpringFromName(n));
    for (const auto& n : MagnetDialogNames())
        magnets.push_back(MagnetFromName(n));
    for (const auto& n : RegulatorDialogNames())
        regulators.push_back(RegulatorFromName(n));
    EXPECT_EQ(membranes, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_EQ(springs, (std::vector<int32_t>{0, 3, 4, 1, 2}));
    EXPECT_EQ(magnets, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(regulators, (std::vector<int32_t>{4, 5, 6, 0, 1, 2, 3, 7}));
}

std::string Written(const HardwareDescription& d) {
    std::ostringstream out;
    EXPECT_EQ(WriteHardwareBlock(out, d), 1);
    EXPECT_EQ(out.str(), HardwareBlockText(d));
    return out.str();
}

TEST(HardwareBlock, DefaultBytes) {
    EXPECT_EQ(Written(HardwareDescription{}), "##HARDWARE\n"
                                              "Kelvastra TR\n"
                                              "FirmwareVersion 1000\n"
                                              "WellDepth_mm 18.5\n"
                                              "MagnetStyle A100_25\n"
                                              "MembraneStyle 70A_794um\n"
                                              "RegulatorType SMC1050\n"
                                              "SpringType GoldSpring_13mm_Diam\n");
}

TEST(HardwareBlock, WellDepthFormat) {
    const struct {
        double depth;
        const char* line;
    } cases[] = {{20, "WellDepth_mm 20\n"},
                 {18.123456789, "WellDepth_mm 18.1235\n"},
                 {0, "WellDepth_mm 0\n"},
                 {-3.25, "WellDepth_mm -3.25\n"},
                 {1234567, "WellDepth_mm 1.23457e+06\n"},
                 {0.00001, "WellDepth_mm 1e-05\n"}};
    for (const auto& c : cases) {
        HardwareDescription d;
        d.WellDepth_mm = c.depth;
        EXPECT_NE(Written(d).find(c.line), std::string::npos) << c.line;
    }
}

TEST(HardwareBlock, WriterIgnoresCallerStreamSettings) {
    std::ostringstream out;
    out.precision(2);
    out << std::fixed;
    HardwareDescription d;
    d.WellDepth_mm = 18.123456789;
    WriteHardwareBlock(out, d);
    EXPECT_NE(out.str().find("WellDepth_mm 18.1235\n"), std::string::npos);
}

TEST(HardwareBlock, OutOfRangeValuesWriteInvalidWords) {
    HardwareDescription d;
    d.MagnetStyle = 7;
    d.MembraneStyle = -1;
    d.RegulatorType = 8;
    d.SpringType = 99;
    const std::string text = Written(d);
    EXPECT_NE(text.find("MagnetStyle InvalidMagnetStyle\n"), std::string::npos);
    EXPECT_NE(text.find("MembraneStyle InvalidMembraneStyle\n"), std::string::npos);
    EXPECT_NE(text.find("RegulatorType InvalidRegulatorType\n"), std::string::npos);
    EXPECT_NE(text.find("SpringType InvalidSpringType\n"), std::string::npos);
}

TEST(HardwareBlock, RoundTripKeepsUnwrittenFields) {
    HardwareDescription written;
    written.FirmwareVersion = 74050;
    written.WellDepth_mm = 20.25;
    written.MagnetStyle = Magnet::NoMagnet;
    written.MembraneStyle = Membrane::Hydrostatic;
    written.RegulatorType = Regulator::QB3_20;
    written.SpringType = Spring::RubberSpacer12d7_7d9;
    written.hardwareVersion = 1234;

    HardwareDescription read;
    read.hardwareVersion = 999;
    read.heightOffset_mm = 1.0;
    read.positionOffsets = std::array<int32_t, 9>{1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::istringstream in(Written(written) + "Header1 value\n");
    EXPECT_EQ(ReadLeadingHardwareBlock(in, read), "Header1");
    EXPECT_EQ(read.FirmwareVersion, 74050);
    EXPECT_EQ(read.WellDepth_mm, 20.25);
    EXPECT_EQ(read.MagnetStyle, Magnet::NoMagnet);
    EXPECT_EQ(read.MembraneStyle, Membrane::Hydrostatic);
    EXPECT_EQ(read.RegulatorType, 7);
    EXPECT_EQ(read.SpringType, Spring::RubberSpacer12d7_7d9);
    EXPECT_EQ(read.hardwareVersion, 999);
    EXPECT_EQ(read.heightOffset_mm, 1.0);
    ASSERT_TRUE(read.positionOffsets.has_value());
    EXPECT_EQ((*read.positionOffsets)[8], 9);
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
    EXPECT_EQ(d.FirmwareVersion, 2000);
    EXPECT_EQ(d.WellDepth_mm, 17.0);
    EXPECT_EQ(d.MagnetStyle, 1);
    EXPECT_EQ(d.MembraneStyle, 2);
    EXPECT_EQ(d.RegulatorType, 3);
    EXPECT_EQ(d.SpringType, 0);
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
}

TEST(HardwareBlock, BadWellDepthBecomesZero) {
    HardwareDescription d;
    std::istringstream in("##HARDWARE Kelvastra TR FirmwareVersion 3000 WellDepth_mm x "
                          "MagnetStyle A25_10 MembraneStyle 10A_794um RegulatorType QPV1 "
                          "SpringType NoSpring Next");
    std::string word = ReadLeadingHardwareBlock(in, d);
    EXPECT_EQ(word, "##HARDWARE");
    EXPECT_EQ(d.FirmwareVersion, 3000);
    EXPECT_EQ(d.WellDepth_mm, 0.0);
    EXPECT_EQ(d.MagnetStyle, Magnet::Invalid);
    EXPECT_EQ(d.SpringType, Spring::Invalid);
}

TEST(HardwareBlock, BlockAloneLeavesWordAtEndOfText) {
    // INFOW.INI holds the block and nothing else: there is no next word to read.
    HardwareDescription written;
    written.SpringType = Spring::SilverSpring_9mm_Diam;
    HardwareDescription read;
    std::istringstream in(HardwareBlockText(written));
    EXPECT_EQ(ReadLeadingHardwareBlock(in, read), "##HARDWARE");
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(read, written);
}

TEST(HardwareBlock, EmptyTextGivesEmptyWord) {
    HardwareDescription d;
    std::istringstream in("");
    EXPECT_EQ(ReadLeadingHardwareBlock(in, d), "");
    EXPECT_EQ(d, HardwareDescription{});
}

} // namespace
