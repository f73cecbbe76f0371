// Protocol table bytes, and the reader's handling of headers, line ends, run-on rows and short
// texts.
#include "protocol/ProtocolTable.h"
#include "hardware/HardwareDescription.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

const std::string kHeader = "Name\tXFunction\tXUnits\tXMagnitude\tXPreloadMag\tStretchDurationSec\t"
                            "RecoveryDurationSec\tHoldTimeSec\tRestTimeSec\tNumReps\tTimeUnits\t"
                            "DataType\tAutoAdjust\t\n";

// A set as the sequence view's Insert commands make it.
SetRecord ViewSet(const std::string& name) {
    SetRecord set;
    set.Name = name;
    set.XUnits = MagnitudeUnits::N;
    set.DataFreqHz = DataFrequency::Hz10; // the editor's rate without hold or rest
    return set;
}

TEST(ProtocolWriter, WritesTwoDefaultSetsToTheByte) {
    SetSequence sequence{{ViewSet("Data1"), ViewSet("Pre load")}, {SetKey::YMode}};
    const std::string text = ProtocolTableText(sequence);
    EXPECT_EQ(text, kHeader + "Data1\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n" +
                        "Pre[_]load\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n");
    EXPECT_EQ(sequence.columns, StandardColumns());
    SetSequence empty;
    EXPECT_EQ(ProtocolTableText(empty), kHeader);
}

TEST(ProtocolWriter, WritesEveryColumnForm) {
    SetRecord set;
    set.Name = "My set 1";
    set.XMagnitude = 0.123456789;
    set.XPreloadMag = 1234567;
    set.RecoveryDurationSec = 0.1;
    set.TolCorOver = true;
    set.XUnits = -1;
    // Vocabulary columns are written as their texts (tested with the vocabularies).
    // clang-format off
    const struct { SetKey key; const char* text; } cases[] = {
        {SetKey::Name, "My[_]set[_]1"}, {SetKey::XUnits, "InvalidUnits"},
        {SetKey::XMagnitude, "0.123457"}, {SetKey::XPreloadMag, "1.23457e+06"},
        {SetKey::RecoveryDurationSec, "0.1"}, {SetKey::NumReps, "1"}, {SetKey::DataFreqHz, "1"},
        {SetKey::Tolerance, "5"}, {SetKey::TolCorOver, "1"},
    };
    // clang-format on
    for (const auto& c : cases)
        EXPECT_EQ(SetCellText(set, c.key), c.text) << SetKeyText(c.key);
}

TEST(ProtocolWriter, NamesAlwaysStayOneToken) {
    SetRecord set;
    set.Name = "";
    EXPECT_EQ(SetCellText(set, SetKey::Name), "[_]");
    set.Name = "a\tb\nc";
    EXPECT_EQ(SetCellText(set, SetKey::Name), "a[_]b[_]c");

    SetSequence sequence{{set, ViewSet("")}, {}};
    sequence.sets[0].Name = "";
    SetSequence back;
    const ProtocolReadResult result = ReadProtocolText(ProtocolTableText(sequence), back, nullptr);
    EXPECT_TRUE(result.Complete());
    ASSERT_EQ(back.sets.size(), 2u);
    EXPECT_EQ(back.sets[0].Name, " ");
    EXPECT_EQ(back.sets[1].XUnits, MagnitudeUnits::N);
}

TEST(ProtocolReader, RoundTripsWhatItWrites) {
    SetRecord a = ViewSet("My set 1");
    a.XMagnitude = 0.5;
    a.XPreloadType = PreloadType::Every; // not a standard column: comes back as the default
    a.TimeUnits = TimeUnits::dSeconds;
    a.DataType = DataType::All64;
    a.AutoAdjust = 2;
    SetRecord b = ViewSet("x");
    b.DataType = DataType::Peaks;
    b.NumReps = 7;
    SetSequence sequence{{a, b}, {}};
    for (int i = 0; i < 9; ++i) // more sets than the device takes are read all the same
        sequence.sets.push_back(ViewSet("s" + std::to_string(i)));
    SetSequence back;
    ReadProtocolText(ProtocolTableText(sequence), back, nullptr);
    a.XPreloadType = PreloadType::None;
    sequence.sets[0] = a;
    EXPECT_EQ(back.sets, sequence.sets);
    EXPECT_EQ(back.columns, StandardColumns());
}

TEST(ProtocolReader, KeysInAnyCaseAndUnknownColumnsSkipped) {
    SetSequence sequence;
    ReadProtocolText("name Comment XMAGNITUDE numreps DataType YUNITS TolCorOver\n"
                     "A[_]b ignored 2.5 3 Max um 7\n",
                     sequence, nullptr);
    ASSERT_EQ(sequence.sets.size(), 1u);
    const SetRecord& set = sequence.sets[0];
    EXPECT_EQ(set.Name, "A b");
    EXPECT_EQ(set.XMagnitude, 2.5);
    EXPECT_EQ(set.NumReps, 3);
    EXPECT_EQ(set.DataType, DataType::All);
    EXPECT_EQ(set.YUnits, MagnitudeUnits::um);
    EXPECT_TRUE(set.TolCorOver);
    // Columns the file lacks keep a new set's defaults.
    EXPECT_EQ(set.XUnits, MagnitudeUnits::Percent);
    EXPECT_EQ(set.StretchDurationSec, 10.0);
}

// Any line end (CR, LF, CRLF) ends the header; rows run on across lines.
TEST(ProtocolReader, ValuesRunOnAcrossLines) {
    SetSequence sequence;
    const auto result =
        ReadProtocolText("Name NumReps XUnits\ra 1\rmm b\r\n2 N\n\n c 3 % \n", sequence, nullptr);
    EXPECT_TRUE(result.Complete());
    ASSERT_EQ(sequence.sets.size(), 3u);
    EXPECT_EQ(sequence.sets[0].Name, "a");
    EXPECT_EQ(sequence.sets[0].XUnits, MagnitudeUnits::mm);
    EXPECT_EQ(sequence.sets[1].Name, "b");
    EXPECT_EQ(sequence.sets[1].NumReps, 2);
    EXPECT_EQ(sequence.sets[2].XUnits, MagnitudeUnits::Percent);

    // The last token at the very end of the text is kept.
    EXPECT_TRUE(ReadProtocolText("Name\na\nb", sequence, nullptr).Complete());
    ASSERT_EQ(sequence.sets.size(), 2u);
    EXPECT_EQ(sequence.sets[1].Name, "b");
}

// The rate columns, which the standard table lacks, read their texts as the vocabularies do.
TEST(ProtocolReader, RateColumnsTakeTheirEntries) {
    SetSequence sequence;
    ReadProtocolText("DataFreqHz ImageFreqHz\n25 10\n", sequence, nullptr);
    ASSERT_EQ(sequence.sets.size(), 1u);
    EXPECT_EQ(sequence.sets[0].DataFreqHz, 2);
    EXPECT_EQ(sequence.sets[0].ImageFreqHz, 3);
}

TEST(ProtocolReader, ShortLastRowIsDroppedAndReported) {
    SetSequence sequence;
    const auto result =
        ReadProtocolText(kHeader + "a\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n"
                                   "b\tRamp\tN\t99\n",
                         sequence, nullptr);
    EXPECT_FALSE(result.Complete());
    EXPECT_EQ(ProtocolReadWarning(result),
              "Warning:  The protocol ends inside a set; that incomplete set was left out\n");
    EXPECT_EQ(ProtocolReadWarning(ProtocolReadResult{}), "");
    ASSERT_EQ(sequence.sets.size(), 1u);
    EXPECT_EQ(sequence.sets[0].Name, "a");
}

TEST(ProtocolReader, HeaderOfAnyLengthIsReadWhole) {
    std::string header = "Name";
    for (int i = 0; i < 400; ++i)
        header += "\tComment";
    header += "\tNumReps\n";
    std::string row = "a";
    for (int i = 0; i < 400; ++i)
        row += " x";
    row += " 42\n";
    ASSERT_GT(header.size(), 3000u);
    SetSequence sequence;
    ReadProtocolText(header + row, sequence, nullptr);
    ASSERT_EQ(sequence.columns.size(), 402u);
    EXPECT_EQ(sequence.columns.back(), SetKey::NumReps);
    ASSERT_EQ(sequence.sets.size(), 1u);
    EXPECT_EQ(sequence.sets[0].NumReps, 42);
}

TEST(ProtocolReader, EmptyTextOrHeaderGivesEmptySequence) {
    for (const char* text : {"", "  \n\n"}) {
        SetSequence sequence{{SetRecord{}}, {SetKey::Name}};
        EXPECT_TRUE(ReadProtocolText(text, sequence, nullptr).noTable); // File Open refuses it
        EXPECT_EQ(sequence, SetSequence{});
    }
    // A header without rows keeps its columns.
    SetSequence sequence{{SetRecord{}}, {}};
    EXPECT_TRUE(ReadProtocolText("numreps\tName\tBogus\t\n", sequence, nullptr).Complete());
    EXPECT_EQ(sequence, (SetSequence{{}, {SetKey::NumReps, SetKey::Name, SetKey::Invalid}}));
}

TEST(DeviceTemplate, HardwareBlockThenTableReadsBack) {
    HardwareDescription hardware;
    hardware.MembraneStyle = Membrane::Hydrostatic;
    hardware.RegulatorType = Regulator::QB3_20;
    hardware.WellDepth_mm = 20;
    SetSequence sequence{{ViewSet("Data1")}, {}};
    std::ostringstream out;
    WriteHardwareBlock(out, hardware);
    WriteProtocolTable(sequence, out);
    // The block's bytes are the hardware layer's (tests/hardware), the table's ProtocolWriter's.
    EXPECT_EQ(DeviceTemplateText(sequence, hardware), out.str());

    HardwareDescription read;
    SetSequence back;
    const auto result = ReadProtocolText(out.str(), back, &read);
    EXPECT_TRUE(result.hardwareBlock);
    EXPECT_TRUE(result.Complete());
    EXPECT_EQ(read, hardware);
    EXPECT_EQ(back.sets, sequence.sets);

    // Without a description to fill, the block is still stepped over; a text without a block
    // leaves the description alone.
    SetSequence again;
    EXPECT_TRUE(ReadProtocolText(out.str(), again, nullptr).hardwareBlock);
    EXPECT_EQ(again.sets, sequence.sets);
    EXPECT_FALSE(ReadProtocolText(kHeader, again, &read).hardwareBlock);
    EXPECT_EQ(read, hardware);
}

TEST(DeviceTemplate, BrokenBlockEndsReadingAndIsReported) {
    // A number that cannot be read leaves the stream failed: reading must stop, not spin.
    HardwareDescription hardware;
    SetSequence sequence;
    const auto result = ReadProtocolText(
        "##HARDWARE\nKelvastra TR\nFirmwareVersion abc\nWellDepth_mm 18.5\n" + kHeader +
            "a\tRamp\tN\t10\t0\t10\t10\t0\t0\t1\tSeconds\tAll(64) \t0\t\n",
        sequence, &hardware);
    EXPECT_TRUE(result.hardwareBlock);
    EXPECT_TRUE(result.hardwareBlockFailed);
    EXPECT_FALSE(result.Complete());
    EXPECT_TRUE(sequence.sets.empty());

    const auto cut = ReadProtocolText("##HARDWARE\nKelvastra TR\n", sequence, &hardware);
    EXPECT_TRUE(cut.hardwareBlockFailed);
    EXPECT_TRUE(sequence.sets.empty());
}

} // namespace
