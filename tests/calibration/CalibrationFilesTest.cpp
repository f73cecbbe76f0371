// The calibration texts and files: list numbers, the exported file written and read back, card
// calibration files and the raw output.
#include "calibration/CalibrationFiles.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

CalibrationFactors SampleFactors() {
    CalibrationFactors factors;
    for (int w = 0; w < kWellCount; ++w) {
        factors.a[w] = 4.9101e-05;
        factors.b[w] = 2539.24806012;
        factors.c[w] = -w;
    }
    return factors;
}

TEST(CalibrationFiles, NumbersShowAsTheListsShowThem) {
    const std::pair<double, const char*> cases[] = {
        {1234.5, "1234.5"}, {1234.0, "1234"}, {0.1234567, "0.123457"}, {-0.5, "-0.5"}, {0.0, "0"},
        {100.0, "100"},     {1e-7, "0"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(ListNumberText(value), text) << value;

    const auto rows = FactorListRows(SampleFactors());
    EXPECT_EQ(rows[0][1], "0.000049101");
    EXPECT_EQ(rows[1][1], "2539.2481");
    EXPECT_EQ(rows[2][9], "-8.0");
}

TEST(CalibrationFiles, ExportedTextAndItsReading) {
    const std::string factorLines =
        "Factor,Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,Well 9\r\n"
        "a,4.9101e-05,4.9101e-05,4.9101e-05,4.9101e-05,4.9101e-05,4.9101e-05,4.9101e-05,"
        "4.9101e-05,4.9101e-05\r\n"
        "b,2539.25,2539.25,2539.25,2539.25,2539.25,2539.25,2539.25,2539.25,2539.25\r\n"
        "c,0,-1,-2,-3,-4,-5,-6,-7,-8";
    // No rows: the text ends right after the last c value.
    EXPECT_EQ(CalibrationFileText(SampleFactors(), {}), factorLines);
    const DataRow row{"500", "1234.5", "1234", "2", "3", "4", "5", "6", "7", "8.123456"};
    const std::string withRows = CalibrationFileText(SampleFactors(), {row, row});
    const std::string rowLine = "500,1234.5,1234,2,3,4,5,6,7,8.12346\r\n";
    EXPECT_EQ(withRows, factorLines +
                            "\r\n\r\nPosition(um),Well 1,Well 2,Well 3,Well 4,Well 5,"
                            "Well 6,Well 7,Well 8,Well 9\r\n" +
                            rowLine + rowLine);

    // Read back: six significant digits survive, rows come back as the list shows them.
    const auto parsed = ParseCalibrationFile(withRows);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->factorLines, 3);
    EXPECT_DOUBLE_EQ(parsed->factors.b[0], 2539.25);
    EXPECT_DOUBLE_EQ(parsed->factors.a[8], 4.9101e-05);
    ASSERT_EQ(parsed->rows.size(), 2u);
    EXPECT_EQ(parsed->rows[0][9], "8.12346");
    const auto empty = ParseCalibrationFile(factorLines);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->rows.empty());
}

TEST(CalibrationFiles, ReadingShortAndOddFiles) {
    const std::string head = "Factor,x\na,1,2\nb,3\nc,4,5,6,7,8,9,10,11,12,13\n\nheader\n";
    // Missing fields read as 0; a line ending in a comma has an empty last field; reading stops
    // at the first line with fewer than two fields.
    const auto parsed = ParseCalibrationFile(head + "100,1,2\n200,\nlast\n300,1\n");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->factors.a[1], 2);
    EXPECT_EQ(parsed->factors.a[2], 0);
    EXPECT_EQ(parsed->factors.c[8], 12);
    ASSERT_EQ(parsed->rows.size(), 2u);
    EXPECT_EQ(parsed->rows[0], (DataRow{"100", "1", "2", "0", "0", "0", "0", "0", "0", "0"}));
    EXPECT_EQ(parsed->rows[1][0], "200");
    EXPECT_EQ(parsed->rows[1][1], "0");

    // A file that ends early reaches only some factor lines; a CR alone ends a line.
    const auto early = ParseCalibrationFile("Factor\ra,1\rb,2");
    ASSERT_TRUE(early);
    EXPECT_EQ(early->factorLines, 2);

    for (const char* notCalibration :
         {"", "Factor only", "Position,1\na,1", "Factor\nb,1", "Factor\na,1\nc,2"})
        EXPECT_FALSE(ParseCalibrationFile(notCalibration)) << notCalibration;
}

TEST(CalibrationFiles, SessionFilesAreReadWholeOrRefusedAtTheirFirstFault) {
    const DataRow row{"500", "1234.5", "1234", "2", "3", "4", "5", "6", "7", "8"};
    const std::string whole = CalibrationFileText(SampleFactors(), {row, row, row});
    std::string problem;
    for (const auto& [text, rows] : {std::pair{whole, 3u}, std::pair{whole + "\r\n\r\n", 3u},
                                     std::pair{CalibrationFileText(SampleFactors(), {}), 0u}}) {
        const auto parsed = ParseSessionFile(text, problem);
        ASSERT_TRUE(parsed) << problem;
        EXPECT_EQ(parsed->rows.size(), rows);
        EXPECT_EQ(parsed->factors.c[8], -8);
        EXPECT_DOUBLE_EQ(parsed->factors.a[0], 4.9101e-05);
    }
    const std::string factors = CalibrationFileText(SampleFactors(), {}) + "\n";
    const std::string head = factors + "\nPosition(um),Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,"
                                       "Well 7,Well 8,Well 9\n";
    const std::string line = "500,1,2,3,4,5,6,7,8,9\n";
    const std::pair<std::string, std::string> broken[] = {
        {head + line + "\n" + line, "line 8 is empty, but more rows follow"},
        {head + "500,1,2,3,4,5,6,7,8,9x\n", "line 7 holds \"9x\", which is not a number"},
        {head + "500,1,2,3\n", "line 7 has 4 fields, not 10"},
        {head + "500,1,2,3,4,5,6,7,8,9,10\n", "line 7 has 11 fields, not 10"},
        {head + "500,1,2,3,4,5,6,7,8,1e999\n", "line 7 holds \"1e999\", which is not a number"},
        {factors + "500,1,2,3,4,5,6,7,8,9\n", "line 5 is not empty"},
        {factors + "\n" + line, "line 6 is not \"Position(um),Well 1"},
        {"Factor,Well 1\n", "line 1 is not \"Factor,Well 1,Well 2"},
        {factors.substr(0, factors.find("\nc,")), "line 4 is missing"},
        {"Factor,Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,Well 9\nb,1\n",
         "line 2 does not start with \"a,\""},
        {"Factor,Well 1,Well 2,Well 3,Well 4,Well 5,Well 6,Well 7,Well 8,Well 9\na,1,2\n",
         "line 2 has 3 fields, not 10"},
    };
    for (const auto& [text, says] : broken) {
        problem.clear();
        EXPECT_FALSE(ParseSessionFile(text, problem)) << says;
        EXPECT_EQ(problem.rfind(says, 0), 0u) << problem;
    }
}

TEST(CalibrationFiles, CardFilesNeedExactly27Lines) {
    std::vector<std::string> lines(27, "   -1.500000");
    lines[0] = "    0.000049";
    const auto values = ParseCardCalibration(lines);
    ASSERT_TRUE(values);
    EXPECT_DOUBLE_EQ((*values)[0], 4.9e-05);
    EXPECT_DOUBLE_EQ((*values)[26], -1.5);
    for (std::size_t count : {26u, 28u, 0u})
        EXPECT_FALSE(ParseCardCalibration(std::vector<std::string>(count, "1"))) << count;

    std::array<double, 27> written{};
    written[0] = 4.9101e-05;
    written[1] = 2539.24806012;
    EXPECT_DOUBLE_EQ(CardRoundedValues(written)[0], 4.9e-05);
    EXPECT_DOUBLE_EQ(CardRoundedValues(written)[1], 2539.248060);
}

TEST(CalibrationFiles, RawOutputTableAndText) {
    const auto table = RawSetpointTable(1000);
    EXPECT_EQ(table[0], 38);
    EXPECT_EQ(table[3], 499); // 500 * (1 - cos(pi/2)) falls a hair short
    EXPECT_EQ(table[7], 1000);
    EXPECT_EQ(table[8], 961);
    EXPECT_EQ(table[15], 0);

    RawTraceStep step{3000, 38, {0, 250}, {1200, 65535}};
    EXPECT_EQ(RawOutputText({step}),
              "Time (us), Sensor Pressure (Raw), Desired Pressure (Raw)\n3000,1200,38\n"
              "3250,65535,38\n");
}

TEST(CalibrationFiles, ExportStamp) {
    UseUtcAsLocalTime();
    EXPECT_EQ(ExportStamp(86400 * 365 + 3661), "_1971-01-01_01-01-01");
}

} // namespace
