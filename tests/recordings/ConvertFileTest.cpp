#include "recordings/ConvertFile.h"

#include "common/NumberText.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos;
         start = at + separator.size())
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// A converted file as header titles and rows of cells.
struct Table {
    std::vector<std::string> titles;
    std::vector<std::vector<std::string>> rows;

    size_t Column(const std::string& title) const {
        const auto at = std::find(titles.begin(), titles.end(), title);
        EXPECT_NE(at, titles.end()) << "no column " << title;
        return at == titles.end() ? 0 : static_cast<size_t>(at - titles.begin());
    }
    const std::string& Cell(size_t row, const std::string& title) const {
        return rows.at(row).at(Column(title));
    }
};

Table Parse(const std::string& text) {
    Table table;
    std::vector<std::string> lines = Split(text, "\r\n");
    EXPECT_EQ(lines.back(), "") << "output must end with a line end";
    lines.pop_back();
    if (lines.empty())
        return table;
    table.titles = Split(lines[0], ",");
    for (size_t i = 1; i < lines.size(); ++i)
        table.rows.push_back(Split(lines[i], ","));
    return table;
}

// Hardware, spring and model kept together, since the model refers to the other two.
struct Rig {
    explicit Rig(int springType = Spring::GoldSpring_13mm_Diam,
                 ForceModel::Coefficients coefficients = std::nullopt,
                 ForceModel::Offsets offsets = std::nullopt)
        : spring(springType) {
        hardware.SpringType = springType;
        Rebuild(std::move(coefficients), std::move(offsets));
    }
    void Rebuild(ForceModel::Coefficients coefficients = std::nullopt,
                 ForceModel::Offsets offsets = std::nullopt) {
        model = std::make_unique<ForceModel>(offsets, coefficients, hardware, &spring);
    }

    HardwareDescription hardware;
    SpringModel spring;
    std::unique_ptr<ForceModel> model;
};

// Every well reads its position straight from the file value (counts / 100 = um).
ForceModel::Coefficients IdentityCoefficients() {
    std::array<double, 3 * kWellCount> c{};
    for (int k = 0; k < kWellCount; ++k)
        c[3 * k + 1] = 1.0;
    return c;
}

class ConvertTest : public ::testing::Test {
protected:
    TempFolder temp{"convert"};

    std::string Convert(Rig& rig, const std::string& raw, bool fullPass, bool springValid = true) {
        const fs::path in = temp.Path() / "in_Raw.csv";
        const fs::path out = temp.Path() / "out.csv";
        WriteFile(in, raw);
        EXPECT_EQ(ConvertFile(*rig.model, in, out, springValid, fullPass), ConvertSuccess);
        return ReadFile(out);
    }
};

const std::string kRawHeader = "Time(mS),Set,Name,Cycle,SpecifiedPressure,ActualPressure,"
                               "Disp1,Disp2,Disp3,Disp4,Disp5,Disp6,Disp7,Disp8,Disp9";

// The raw pressure sensor value (counts x 100) that reads about `mpa` with the default SMC1050
// regulator.
long ActualReading(double mpa) {
    return std::lround((mpa / 0.000144875 + 1530.312) / 1.25616 * 100.0);
}

// The pressure the model reads from ActualReading(mpa).
double ReadPressure(const ForceModel& model, double mpa) {
    return *model.ActualPressure(static_cast<double>(ActualReading(mpa)) / 100.0);
}

// A raw line with the given positions (identity coefficients) and pressures in MPa.
std::string RawLine(int time, int set, int cycle, double specifiedMPa, double actualMPa,
                    double position1, double otherPositions = 800.0, const char* name = "S") {
    const long spec = std::lround(specifiedMPa / 0.000144875);
    std::string line = std::to_string(time) + "," + std::to_string(set) + "," + name + "," +
                       std::to_string(cycle) + "," + std::to_string(spec) + "," +
                       std::to_string(ActualReading(actualMPa)) + "," +
                       std::to_string(std::lround(position1 * 100));
    for (int k = 1; k < kWellCount; ++k)
        line += "," + std::to_string(std::lround(otherPositions * 100));
    return line + "\n";
}

} // namespace

// The plain names are the reference file's header (EndToEndAgainstReference).
TEST(MapHeader, FirstKeywordDecides) {
    const std::vector<std::pair<std::string, int>> cases{
        {"Set Name", 1},      {"Force", 4},        {"AvgForce", 4},    {"Pressure", 5},
        {"MyPressure2", 5},   {"Disp10", 16},      {"Time", 44},       {"time(ms)", 44},
        {"Disp0", 44},        {"Temperature", 44}, {"Time(mS)Set", 0}, {"CycleName", 2},
        {"ForcePressure", 4},
    };
    for (const auto& [field, code] : cases)
        EXPECT_EQ(MapHeader(field), code) << field;
}

// With a spring the columns are the reference files' (EndToEndAgainstReference).
TEST_F(ConvertTest, HeaderColumnsForEachHardwareAndPass) {
    const std::string header = "Time(mS),Name,Cycle,SpecifiedPressure,ActualPressure,Disp1,Disp2,"
                               "Disp3,Disp4,Disp5,Disp6,Disp7,Disp8,Disp9,Extra\n";
    std::string wells;
    for (int w = 1; w <= 9; ++w)
        wells += ",Position " + std::to_string(w) + " (um),Force " + std::to_string(w) +
                 " (N) (factory)";
    const std::string lead = "Time (mS),Set Name,Cycle";
    const std::string pressures = ",Specified Pressure (MPa),Pressure (MPa)";

    struct Case {
        const char* name;
        int spring;
        int membrane;
        bool full;
        std::string expected;
    };
    const std::vector<Case> cases{
        {"no spring, full", Spring::NoSpring, Membrane::M70A_794um, true, lead + pressures + wells},
        {"no spring, short", Spring::NoSpring, Membrane::M70A_794um, false, lead + wells},
        {"hydrostatic, full", Spring::GoldSpring_13mm_Diam, Membrane::Hydrostatic, true,
         lead + pressures},
        {"hydrostatic, short", Spring::GoldSpring_13mm_Diam, Membrane::Hydrostatic, false,
         lead + pressures},
    };
    for (const Case& c : cases) {
        Rig rig(c.spring);
        rig.hardware.MembraneStyle = c.membrane;
        rig.Rebuild();
        const std::string text = Convert(rig, header, c.full, rig.spring.valid);
        EXPECT_EQ(text, c.expected + "\r\n") << c.name;
    }
}

// Any line end, but only test data; a card file cut off by a power loss ends in zero bytes, and
// what was written before them is converted.
TEST_F(ConvertTest, AnyLineEndButOnlyTestData) {
    Rig rig(Spring::NoSpring);
    std::string garbage;
    for (int i = 0; i < 4000; ++i)
        garbage += static_cast<char>((i * 131 + i / 7) % 256);
    const std::string header = "Time(mS),Set,Cycle\n";
    const fs::path in = temp.Path() / "in_Raw.csv", out = temp.Path() / "none.csv";
    using namespace std::string_literals;
    for (const std::string& raw :
         std::vector<std::string>{"", "\r\n", "Hello,World\n1,2\n", header + garbage,
                                  header + "0,1,1\n" + garbage, "Time(mS),Set\x01,Cycle\n0,1,1\n",
                                  header + "0,1,1\n10,\x7f,1\n", header + "0,1\0,1\n"s}) {
        WriteFile(in, raw);
        EXPECT_EQ(ConvertFile(*rig.model, in, out, false, true), ConvertNotTestData) << raw;
        EXPECT_FALSE(fs::exists(out));
    }
    for (const std::string end : {"\n", "\r\n", "\r"})
        EXPECT_EQ(
            Convert(rig, "Time(mS),Set,Cycle" + end + "0,1,1" + end + "10,2,1" + end, true, false),
            "Time (mS),Set,Cycle\r\n0,1,1\r\n10,2,1\r\n");
    EXPECT_EQ(Convert(rig,
                      header + "0,1,1\n10,2,1\n20,2" + std::string(600, '\0') + "\n" +
                          std::string(512, '\0'),
                      true, false),
              "Time (mS),Set,Cycle\r\n0,1,1\r\n10,2,1\r\n20,2,0\r\n");
}

// Empty header fields are dropped, so a data line's fields map onto the remaining ones. Lines
// are grouped by set and cycle; a group with nothing to correct writes nothing extra.
TEST_F(ConvertTest, EmptyHeaderFieldsAndGroupsBySetAndCycle) {
    Rig rig(Spring::NoSpring);
    EXPECT_EQ(Convert(rig, ",Time(mS),,Cycle,\r\n5,7\r\n", true, false),
              "Time (mS),Cycle\r\n5,7\r\n");
    EXPECT_EQ(Convert(rig, "Time(mS),Set,Cycle\n10,2,1\n20,2,1\n30,2,2\n40,1,1\n", true, false),
              "Time (mS),Set,Cycle\r\n10,2,1\r\n20,2,1\r\n30,2,2\r\n40,1,1\r\n");
}

TEST_F(ConvertTest, EndToEndAgainstReference) {
    // The expectation comes from convert_reference.py beside this test (regenerate with
    // "python3 convert_reference.py data").
    const fs::path data = fs::path(KELVASTRA_SOURCE_DIR) / "tests" / "recordings" / "data";
    Rig rig(Spring::GoldSpring_13mm_Diam);
    const fs::path raw = data / "sample_raw.csv";
    const fs::path shortOut = temp.Path() / "MyTest_0001.csv";
    const fs::path fullOut = temp.Path() / "MyTest_0001_Full.csv";
    ASSERT_EQ(ConvertFile(*rig.model, raw, shortOut, rig.spring.valid, false), ConvertSuccess);
    ASSERT_EQ(ConvertFile(*rig.model, raw, fullOut, rig.spring.valid, true), ConvertSuccess);
    EXPECT_EQ(ReadFile(shortOut), ReadFile(data / "sample_short.csv"));
    EXPECT_EQ(ReadFile(fullOut), ReadFile(data / "sample_full.csv"));

    // The same file with carriage-return-line-feed line ends converts the same.
    std::string crlf;
    for (char ch : ReadFile(raw))
        crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    EXPECT_EQ(Convert(rig, crlf, true, true), ReadFile(data / "sample_full.csv"));
}

TEST_F(ConvertTest, SpringForceInsideMarginsOnly) {
    Rig rig(Spring::GoldSpring_13mm_Diam, IdentityCoefficients());
    std::string raw = kRawHeader + "\n";
    const std::vector<double> positions{250.0, 250.01, 1000.0, 1749.99, 1750.0, 0.0};
    for (size_t i = 0; i < positions.size(); ++i) {
        // Falling pressure: no correction runs, so only the spring column matters here.
        raw += RawLine(static_cast<int>(i), 1, 1, 0.3 - 0.01 * static_cast<double>(i), 0.2,
                       positions[i]);
    }
    Table table = Parse(Convert(rig, raw, true));
    ASSERT_EQ(table.rows.size(), positions.size());
    for (size_t i = 0; i < positions.size(); ++i) {
        const double p = positions[i];
        const std::string expected =
            (p > 250.0 && p < 1750.0) ? FixedText(rig.spring.SpringForce(p), 2) : "--";
        EXPECT_EQ(table.Cell(i, "Spring Force (N)"), expected) << p;
    }
}

// Surplus fields and blank lines are the reference file's (EndToEndAgainstReference).
TEST_F(ConvertTest, ShortLinesAndFieldsThatAreNoNumbers) {
    Rig rig(Spring::NoSpring);
    const std::string raw = "Time(mS),Set,Name,Cycle,Disp1\n"
                            "100,1,A|B|C,1,80000\n"
                            "200,1\n"
                            "-5,1,Y,1,junk\n";
    Table table = Parse(Convert(rig, raw, true, false));
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0][2], "A B C");
    // Missing fields read as 0 and an empty name.
    EXPECT_EQ(table.rows[1][2], "");
    EXPECT_EQ(table.rows[1][3], "0");
    EXPECT_EQ(table.rows[2][0], "4294967291"); // unsigned, as the time was always written
    EXPECT_EQ(table.rows[2][2], "Y");
    // Text that is not a number reads as 0.
    EXPECT_EQ(table.rows[2][4], FixedText(*rig.model->Position(1, 0.0), 0));
}

TEST_F(ConvertTest, PressureColumnOrderDecidesWhichPressureAForceUses) {
    Rig rig(Spring::NoSpring, IdentityCoefficients());
    // Position before pressure: a line's forces use the previous line's pressure.
    const std::string raw = "Disp1,ActualPressure\n100000," + std::to_string(ActualReading(0.2)) +
                            "\n100000," + std::to_string(ActualReading(0.3)) + "\n";
    const double p1 = ReadPressure(*rig.model, 0.2);
    for (int pass = 0; pass < 2; ++pass) {
        // The latest pressure starts at 0 on every pass.
        Table table = Parse(Convert(rig, raw, true, false));
        ASSERT_EQ(table.rows.size(), 2u);
        EXPECT_EQ(table.Cell(0, "Force 1 (N) (factory)"), "0.00");
        EXPECT_EQ(table.Cell(1, "Force 1 (N) (factory)"),
                  FixedText(*rig.model->Force(p1, 1000.0), 2));
    }
}

// The rising part of a group gives the ratios of measured to spring force; the last ratio
// divides the calibrated forces and the cubic through the ratios, held between 0.1 and 10,
// divides the factory forces at every well. Here the cubic is held at 0.1 where the factory
// force 5 comes out ten-fold; a moderate group is the reference file's first.
TEST_F(ConvertTest, CorrectionOfASteepRisingGroup) {
    struct Point {
        double specified, actual, position1, others; // MPa, MPa, um, um
    };
    using Forces = std::vector<std::string>; // force 1 calibrated, factory; force 5 the same
    // clang-format off
    const std::vector<Point> points{
        {0.10, 0.02, 400, 1750}, {0.15, 0.06, 600, 250}, {0.20, 0.20, 800, 1750},
        {0.25, 0.80, 1000, 250}, {0.30, 2.50, 1200, 1750}, {0.20, 0.20, 900, 250}};
    const std::vector<Forces> expected{
        {"0.25", "6.70", "0.00", "0.00"}, {"0.78", "11.95", "0.90", "70.00"},
        {"2.75", "19.00", "2.42", "1.87"}, {"11.28", "27.40", "11.88", "919.00"},
        {"35.21", "35.19", "34.55", "26.73"}, {"2.71", "11.01", "2.97", "230.00"}};
    // clang-format on
    Rig rig(Spring::GoldSpring_13mm_Diam, IdentityCoefficients());
    std::string raw = kRawHeader + "\n";
    for (size_t i = 0; i < points.size(); ++i) {
        const Point& p = points[i];
        raw += RawLine(static_cast<int>(i), 1, 1, p.specified, p.actual, p.position1, p.others);
    }
    Table table = Parse(Convert(rig, raw, true));
    ASSERT_EQ(table.rows.size(), points.size());
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_EQ((Forces{table.Cell(i, "Force 1 (N) (calibrated)"),
                          table.Cell(i, "Force 1 (N) (factory)"),
                          table.Cell(i, "Force 5 (N) (calibrated)"),
                          table.Cell(i, "Force 5 (N) (factory)")}),
                  expected[i])
            << i;
    }
}

TEST_F(ConvertTest, GroupsTheCorrectionCannotHandle) {
    struct Case {
        const char* name;
        int spring;
        std::vector<std::array<double, 3>> points; // specified MPa, actual MPa, position 1
        bool calibratedWritten;
        bool factoryCorrected;
    };
    const int gold = Spring::GoldSpring_13mm_Diam;
    // A group whose pressure falls from the start, and one of three pairs (no cubic), are the
    // reference file's (EndToEndAgainstReference).
    // clang-format off
    const std::vector<Case> cases{
        {"only one ratio inside the bounds", gold,
         {{0.10, 0.10, 200}, {0.12, 0.12, 220}, {0.30, 0.30, 1000}, {0.4, 0.4, 1800}},
         false, false},
        // Two ratios far outside the bounds still shape the cubic; two inside are enough.
        {"exactly two ratios inside the bounds", gold,
         {{0.10, 2.5, 300}, {0.12, 2.5, 350}, {0.15, 0.10, 600}, {0.20, 0.20, 900}}, true, true},
        {"last ratio is zero", gold,
         {{0.10, 0.10, 500}, {0.20, 0.20, 800}, {0.30, 0.30, 1100}, {0.35, 0.35, 1300},
          {0.40, 0.0, 1500}}, false, true},
        {"spring force 0 gives infinite ratios", Spring::RubberSpacer12d7_7d9,
         {{0.10, 0.10, 300}, {0.20, 0.20, 600}, {0.25, 0.25, 800}, {0.30, 0.30, 1000},
          {0.35, 0.35, 1200}, {0.40, 0.40, 400}}, false, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        Rig rig(c.spring, IdentityCoefficients());
        std::string raw = kRawHeader + "\n";
        for (size_t i = 0; i < c.points.size(); ++i)
            raw +=
                RawLine(static_cast<int>(i), 1, 1, c.points[i][0], c.points[i][1], c.points[i][2]);
        const std::string text = Convert(rig, raw, true);
        EXPECT_EQ(text.find("inf"), std::string::npos) << c.name;
        EXPECT_EQ(text.find("nan"), std::string::npos) << c.name;
        Table table = Parse(text);
        ASSERT_EQ(table.rows.size(), c.points.size()) << c.name;
        bool anyCalibrated = false;
        bool anyCorrected = false;
        for (size_t i = 0; i < c.points.size(); ++i) {
            const double pressure = ReadPressure(*rig.model, c.points[i][1]);
            for (int w = 1; w <= 9; ++w) {
                const std::string n = std::to_string(w);
                anyCalibrated =
                    anyCalibrated || !table.Cell(i, "Force " + n + " (N) (calibrated)").empty();
                const double position = std::stod(table.Cell(i, "Position " + n + " (um)"));
                anyCorrected =
                    anyCorrected || table.Cell(i, "Force " + n + " (N) (factory)") !=
                                        FixedText(*rig.model->Force(pressure, position), 2);
            }
        }
        EXPECT_EQ(anyCalibrated, c.calibratedWritten) << c.name;
        EXPECT_EQ(anyCorrected, c.factoryCorrected) << c.name;
    }
}

// A cell that needs a missing table is left empty, never made up; the others are written.
TEST_F(ConvertTest, HardwareWithoutTablesWritesEmptyCells) {
    const std::string raw = kRawHeader + "\n" +
                            "1,1,S,1,1000,150000,120000,120000,120000,120000,"
                            "120000,120000,120000,120000,120000\n";
    const struct {
        const char* name;
        int magnet, membrane, regulator;
        std::string filled; // P pressures, X positions, F factory forces, S spring
    } cases[] = {
        {"no magnet table", Magnet::NoMagnet, 1, 0, "P"},
        {"no membrane table", 0, Membrane::A1_32, 0, "PXS"},
        {"no pressure scaling", 0, 1, Regulator::Invalid, "XS"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(Spring::GoldSpring_13mm_Diam);
        rig.hardware.MagnetStyle = c.magnet;
        rig.hardware.MembraneStyle = c.membrane;
        rig.hardware.RegulatorType = c.regulator;
        rig.Rebuild();
        Table table = Parse(Convert(rig, raw, true));
        const auto filled = [&](char kind) { return c.filled.find(kind) != std::string::npos; };
        EXPECT_EQ(!table.Cell(0, "Specified Pressure (MPa)").empty(), filled('P'));
        EXPECT_EQ(!table.Cell(0, "Pressure (MPa)").empty(), filled('P'));
        EXPECT_EQ(!table.Cell(0, "Spring Force (N)").empty(), filled('S'));
        for (int w = 1; w <= 9; ++w) {
            const std::string n = std::to_string(w);
            EXPECT_EQ(!table.Cell(0, "Position " + n + " (um)").empty(), filled('X')) << w;
            EXPECT_EQ(!table.Cell(0, "Force " + n + " (N) (factory)").empty(), filled('F')) << w;
            EXPECT_EQ(table.Cell(0, "Force " + n + " (N) (calibrated)"), "") << w;
        }
    }
}

TEST_F(ConvertTest, PositionThatIsNotANumberIsWrittenAsZero) {
    auto coefficients = IdentityCoefficients();
    (*coefficients)[3] = std::nan(""); // well 2's m2
    Rig rig(Spring::NoSpring, coefficients);
    Table table = Parse(Convert(rig, "Disp1,Disp2\n50000,50000\n", true, false));
    EXPECT_EQ(table.Cell(0, "Position 1 (um)"), "500");
    EXPECT_EQ(table.Cell(0, "Position 2 (um)"), "0");
}

TEST_F(ConvertTest, ProgressEveryThousandLinesCountedPerPass) {
    Rig rig(Spring::NoSpring);
    std::string raw = "Time(mS),Set,Cycle\n";
    for (int i = 0; i < 2500; ++i)
        raw += std::to_string(i) + ",1,1\n";
    const fs::path in = temp.Path() / "p_Raw.csv";
    WriteFile(in, raw);
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<int> steps;
        ASSERT_EQ(ConvertFile(*rig.model, in, temp.Path() / "p.csv", false, pass == 1,
                              [&](int lines) { steps.push_back(lines); }),
                  ConvertSuccess);
        EXPECT_EQ(steps, (std::vector<int>{1000, 2000}));
        EXPECT_EQ(rig.model->DataLineCount(), 2500);
    }
}

TEST_F(ConvertTest, FilesThatCannotBeOpenedAreReported) {
    Rig rig;
    const fs::path out = temp.Path() / "never.csv";
    EXPECT_EQ(ConvertFile(*rig.model, temp.Path() / "missing_Raw.csv", out, true, true),
              ConvertInputNotOpened);
    EXPECT_FALSE(fs::exists(out));

    // A folder opens but cannot be read.
    EXPECT_EQ(ConvertFile(*rig.model, temp.Path(), out, true, true), ConvertInputNotOpened);
    EXPECT_FALSE(fs::exists(out));

    const fs::path in = temp.Path() / "x_Raw.csv";
    WriteFile(in, kRawHeader + "\n");
    EXPECT_EQ(ConvertFile(*rig.model, in, temp.Path() / "no" / "such" / "dir.csv", true, true),
              ConvertOutputNotOpened);
}

TEST_F(ConvertTest, LongNamesAndLinesPassThrough) {
    Rig rig(Spring::NoSpring);
    const std::string name(3u << 20, 'n'); // longer than the reading and writing buffers
    std::string raw = "Time(mS),Name\n1," + name + "\n2,short\n";
    Table table = Parse(Convert(rig, raw, false, false));
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][1], name);
    EXPECT_EQ(table.rows[1][1], "short");
}
