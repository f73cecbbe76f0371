#include "protocol/DeviceProgram.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceProgramCodes, FlagsFromSetFields) {
    const struct {
        int32_t function, timeUnits, units, flags;
    } cases[] = {
        {0, 0, 5, 0x0401}, // ramp, seconds, N
        {4, 0, 5, 0x0403}, // sinusoid
        {4, 1, 5, 0x0803}, // minutes
        {0, 2, 5, 0x2001}, // hours
        {0, 3, 5, 0x0001}, // days: no time bit
        {4, 3, 0, 0x1003}, // "%" units
        {3, 0, 0, 0x1401}, // step is not sinusoid
        {0, 4, 5, 0x0001}, // milliseconds have no bit
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntryFlags(c.function, c.timeUnits, c.units), c.flags)
            << c.function << " " << c.timeUnits << " " << c.units;
    }
}

TEST(DeviceProgramCodes, TimeUnitsFromFlags) {
    const struct {
        int32_t flags, units;
        int64_t divisor;
    } cases[] = {{0x0401, 0, 1000},     {0x0801, 1, 60000}, {0x2001, 2, 3600000},
                 {0x0001, 3, 86400000}, {0x2C01, 0, 1000},  {0x2801, 1, 60000}};
    for (const auto& c : cases) {
        EXPECT_EQ(TimeUnitsFromFlags(c.flags), c.units) << std::hex << c.flags;
        EXPECT_EQ(TimeUnitsDivisorMs(c.flags), c.divisor) << std::hex << c.flags;
    }
}

TEST(DeviceProgramCodes, Letters) {
    // Only a ramp is 'r'; every other shape is sent as a sinusoid and read back as one.
    for (int32_t f : {1, 2, 3, 4, -1})
        EXPECT_EQ(ShapeLetter(f), 's');
    EXPECT_EQ(FunctionFromShapeLetter(ShapeLetter(0)), 0);
    EXPECT_EQ(FunctionFromShapeLetter('s'), 4);
    EXPECT_EQ(FunctionFromShapeLetter('x'), 0);

    const char typeLetters[] = {'p', 'n', 'a', 'm'};
    for (int32_t t = 0; t < 4; ++t) {
        EXPECT_EQ(DataTypeLetter(t), typeLetters[t]);
        EXPECT_EQ(DataTypeFromLetter(typeLetters[t]), t);
    }
    EXPECT_EQ(DataTypeLetter(-1), 'n');
    for (char c : {'x', 'P', '0', '\0'})
        EXPECT_EQ(DataTypeFromLetter(c), 1);

    const struct {
        int32_t index;
        char letter;
    } rates[] = {{4, '1'}, {6, '2'}, {7, '3'}, {8, '4'}, {9, '5'}};
    for (const auto& r : rates) {
        EXPECT_EQ(DataRateLetter(r.index), r.letter);
        EXPECT_EQ(DataFrequencyFromLetter(r.letter), r.index);
    }
    for (int32_t index : {-1, 0, 1, 2, 3, 5, 10, 11})
        EXPECT_EQ(DataRateLetter(index), '0');
    for (char c : {'0', '6', 'a', '\0'})
        EXPECT_EQ(DataFrequencyFromLetter(c), 10);
}

TEST(DeviceProgramTable, ClearGivesClearedEntriesAndTheirWireForm) {
    DeviceProgramTable table;
    table[3].repetitions = 5;
    table[3].SetName("abc");
    table[3].dataRateCode = '2';
    ClearDeviceProgram(table);
    for (const DeviceProgramEntry& e : table) {
        EXPECT_EQ(e, DeviceProgramEntry{});
        EXPECT_FALSE(e.IsUsed());
    }
    EXPECT_EQ(EntryUploadLines(table[3]),
              (std::vector<std::string>{"0\r", "0\r", "0\r", "0\r", "0\r", "0\r", "0\r", "0\r",
                                        "s\r", "s\r", "\r", "n\r", "0\r", "0\r"}));
}

TEST(DeviceProgramLines, FieldsInWireOrderAndNamesCutToTheField) {
    DeviceProgramEntry entry;
    entry.stretchMs = 1;
    entry.holdMs = 2;
    entry.recoveryMs = 3;
    entry.restMs = 4;
    entry.repetitions = 5;
    entry.shapeCode = 'r';
    entry.shapeCode2 = 'q';
    entry.magnitudeSetpoint = -6;
    entry.flags = 0x1403;
    entry.preloadSetpoint = 8;
    entry.SetName("Set A b");
    entry.dataTypeCode = 'm';
    entry.dataRateCode = '5';
    entry.autoAdjust = 2;
    EXPECT_EQ(EntryUploadLines(entry),
              (std::vector<std::string>{"1\r", "2\r", "3\r", "4\r", "5\r", "-6\r", "5123\r", "8\r",
                                        "r\r", "q\r", "Set|A|b\r", "m\r", "5\r", "2\r"}));
    // The table keeps what was sent.
    EXPECT_EQ(entry.name, "Set|A|b");
    EXPECT_EQ(FormatProgramLine(entry), "1 2 3 4 5 -6 5123 8 r q Set|A|b m 5 2");

    // A long name is cut.
    entry.SetName("0123456789abcdefXYZ");
    EXPECT_EQ(entry.name, "0123456789abcde");
    entry.name = "a b c d e f g h i j"; // set directly, longer than the field
    EXPECT_EQ(EntryUploadLines(entry)[10], "a|b|c|d|e|f|g|h\r");
    EXPECT_EQ(entry.name, "a|b|c|d|e|f|g|h");
}

TEST(DeviceProgramReadBack, FieldsEndByteAndLinesBeyondTheTable) {
    DeviceProgramTable table;
    EXPECT_EQ(
        ParseProgramLine("10000 500 10000 0 3 12345 1027 -200 r r my|set|1 a 2 1\r", 2, table), 1);
    // Every field in place; blanks come back in the name.
    EXPECT_EQ(FormatProgramLine(table[2]),
              "10000 500 10000 0 3 12345 1027 -200 r r my|set|1 a 2 1");
    EXPECT_EQ(table[2].name, "my set 1");
    EXPECT_EQ(table[1], DeviceProgramEntry{});

    table[0].repetitions = 4;
    EXPECT_EQ(ParseProgramLine("\x17", 0, table), -1);
    EXPECT_EQ(ParseProgramLine("\x17 1 2 3", 0, table), -1);
    EXPECT_EQ(table[0].repetitions, 4);
    // The end byte only counts at the start of the line.
    EXPECT_EQ(ParseProgramLine(" \x17", 0, table), 1);

    const std::string line = "1 1 1 1 9 1 1 1 s s extra n 0 0";
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(ParseProgramLine(line, i, table), 1);
    const DeviceProgramTable before = table;
    EXPECT_EQ(ParseProgramLine("5 5 5 5 5 5 5 5 r r over n 0 0", 10, table), 0);
    EXPECT_EQ(ParseProgramLine(line, 11, table), 0);
    EXPECT_EQ(ParseProgramLine("\x17", 12, table), -1);
    EXPECT_EQ(table, before);
}

TEST(DeviceProgramReadBack, OddFields) {
    DeviceProgramEntry e;
    // Long name cut, non-numbers read as 0, leading numbers kept, unsigned durations kept.
    EXPECT_EQ(ParseProgramLine("4294967295 3000000000 12abc x 2 +7 -0 9 ramp sine "
                               "ABCDEFGHIJKLMNOPQ all 10 3",
                               e),
              1);
    EXPECT_EQ(static_cast<uint32_t>(e.stretchMs), 4294967295u);
    EXPECT_EQ(static_cast<uint32_t>(e.holdMs), 3000000000u);
    EXPECT_EQ(FormatProgramLine(e), "-1 -1294967296 12 0 2 7 0 9 r s ABCDEFGHIJKLMNO a 1 3");

    // A short line fills what it has; the rest stays cleared.
    EXPECT_EQ(ParseProgramLine("100 200 300", e), 1);
    DeviceProgramEntry expected;
    expected.stretchMs = 100;
    expected.holdMs = 200;
    expected.recoveryMs = 300;
    EXPECT_EQ(e, expected);
    EXPECT_EQ(ParseProgramLine("", e), 1);
    EXPECT_EQ(e, DeviceProgramEntry{});
}

} // namespace
