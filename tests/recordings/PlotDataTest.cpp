// Plots of converted files. The reduction: every pixel column keeps its extremes in the order
// they came, empty cells are gaps, and two halves read apart merge into the picture of the whole.
// A loaded file gives the same picture from its loaded columns as from a fresh read, whatever its
// line ends and line lengths.
#include "recordings/PlotData.h"
#include "recordings/PlotReduction.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

constexpr double kEmpty = std::numeric_limits<double>::quiet_NaN();

// Plot segments as plain numbers.
std::vector<std::vector<double>> Ys(const std::vector<PlotSegment>& segments) {
    std::vector<std::vector<double>> ys;
    for (const PlotSegment& segment : segments) {
        ys.emplace_back();
        for (const PlotPoint& point : segment)
            ys.back().push_back(point.y);
    }
    return ys;
}

TEST(PlotReduction, ColumnsKeepTheirExtremesInOrderAndEmptyCellsAreGaps) {
    // Four columns of width 10 over [0, 40).
    const std::vector<double> x = {0, 1, 2, 3, 11, 12, 13, 21, 22, 31, 33, 39};
    const std::vector<double> y = {5, 9, -4, 6, 7, 7, 7, kEmpty, kEmpty, 8, 1, 3};
    EXPECT_EQ(Ys(ReduceToColumns(x, y, 0, 40, 4)),
              (std::vector<std::vector<double>>{{9, -4, 7}, {8, 1}}));
    // The maximum after the minimum, and a column without lines joins its neighbours.
    const std::vector<double> x2 = {0, 1, 25, 26};
    const std::vector<double> y2 = {9, -4, 2, 2};
    EXPECT_EQ(Ys(ReduceToColumns(x2, y2, 0, 40, 4)),
              (std::vector<std::vector<double>>{{9, -4, 2}}));
    // A column with one value among empty cells keeps the line going.
    const std::vector<double> y3 = {9, kEmpty, kEmpty, 2};
    EXPECT_EQ(Ys(ReduceToColumns(x2, y3, 0, 40, 4)), (std::vector<std::vector<double>>{{9, 2}}));
}

TEST(PlotReduction, HalvesMergeIntoTheWhole) {
    const std::vector<double> y = {5, 9, -4, kEmpty, 7, 1, 8, 2, 6, -1, 3, kEmpty};
    MinMaxColumns whole(0, 12, 3, 1), first(0, 12, 3, 1), second(0, 12, 3, 1);
    for (size_t i = 0; i < y.size(); ++i) {
        const double x = static_cast<double>((i * 5) % 12); // every half reaches every column
        whole.Add(whole.ColumnOf(x), 0, y[i]);
        MinMaxColumns& half = i < 6 ? first : second;
        half.Add(half.ColumnOf(x), 0, y[i]);
    }
    first.Merge(second);
    EXPECT_EQ(Ys(first.Segments(0)), Ys(whole.Segments(0)));
    EXPECT_EQ(Ys(whole.MergedSegments(0, 0, 12, 1)), (std::vector<std::vector<double>>{{9, -4}}));
}

const std::string kHeader = "Time (mS),Position 1 (um),Force 1 (N) (factory)";

// A file of `text` in a folder of its own, loaded with 64 columns.
struct Loaded {
    explicit Loaded(const std::string& text) {
        WriteFile(path, text);
        loaded = data.Load(path, error, 64);
    }
    TempFolder temp;
    std::filesystem::path path = temp.Path() / "plot.csv";
    PlotData data;
    std::string error;
    bool loaded = false;
};

TEST(PlotFile, LoadsAndZoomsMatchThePlainReduction) {
    // Times out of order once (beyond the last line's), a spring force of "--", an empty force,
    // a short line.
    std::string text = "Time (mS),Set,Set Name,Cycle,Specified Pressure (MPa),Position 1 (um),"
                       "Force 1 (N) (factory),Spring Force (N),Other\r\n";
    std::vector<double> times, positions, forces;
    for (int i = 0; i < 400; ++i) {
        const int t = i == 200 ? 4100 : 10 * i;
        const double position = (i * 37) % 101;
        const bool empty = i >= 50 && i < 60;
        text += std::to_string(t) + ",1,Hold,1,0.0100," + std::to_string(int(position)) + "," +
                (empty ? "" : "1.25") + ",--,x\r\n";
        times.push_back(t);
        positions.push_back(position);
        forces.push_back(empty ? kEmpty : 1.25);
    }
    text += "4000,1,Hold,1\n";
    times.push_back(4000);
    positions.push_back(kEmpty);
    forces.push_back(kEmpty);
    Loaded file(text);
    ASSERT_TRUE(file.loaded) << file.error;
    PlotData& data = file.data;
    ASSERT_EQ(data.Series().size(), 4u);
    EXPECT_EQ(data.Series()[1].quantity, PlotQuantity::Position);
    EXPECT_EQ(data.Series()[1].well, 1);
    EXPECT_FALSE(data.HasValues(3)); // the spring force is "--" throughout
    EXPECT_EQ(data.Lines(), 401);
    EXPECT_EQ(data.XMin(), 0);
    EXPECT_EQ(data.XMax(), 4100);

    // From the loaded columns (coarse) and by a fresh read of a stretch (fine).
    auto whole = data.Reduce({1, 2}, 0, 4100, 16);
    EXPECT_EQ(Ys(whole[0]), Ys(ReduceToColumns(times, positions, 0, 4100, 16)));
    EXPECT_EQ(Ys(whole[1]), Ys(ReduceToColumns(times, forces, 0, 4100, 16)));
    auto zoomed = data.Reduce({1, 2}, 400, 700, 200);
    EXPECT_EQ(Ys(zoomed[0]), Ys(ReduceToColumns(times, positions, 400, 700, 200)));
    EXPECT_EQ(Ys(zoomed[1]), Ys(ReduceToColumns(times, forces, 400, 700, 200)));
    EXPECT_EQ(zoomed[1].size(), 2u); // the empty forces cut the line
}

std::string Joined(const std::vector<std::string>& lines, const std::string& end) {
    std::string text;
    for (const std::string& line : lines)
        text += line + end;
    return text;
}

TEST(PlotFile, ReadsEveryLineEndAsTheConverterDoes) {
    std::vector<std::string> lines = {kHeader};
    std::vector<double> times, positions;
    for (int i = 0; i < 300; ++i) {
        lines.push_back(std::to_string(10 * i) + "," + std::to_string((i * 37) % 101) + ",1.5");
        times.push_back(10 * i);
        positions.push_back((i * 37) % 101);
    }
    for (const char* end : {"\n", "\r\n", "\r"}) {
        Loaded file(Joined(lines, end));
        ASSERT_TRUE(file.loaded) << file.error;
        PlotData& data = file.data;
        ASSERT_EQ(data.Series().size(), 2u);
        EXPECT_EQ(data.Lines(), 300);
        // A zoom finer than the loaded columns reads its stretch again from where it starts.
        EXPECT_EQ(Ys(data.Reduce({0}, 1000, 1400, 100)[0]),
                  Ys(ReduceToColumns(times, positions, 1000, 1400, 100)));
    }
}

TEST(PlotFile, ALineLongerThanTheReadBufferIsReadWhole) {
    Loaded file(kHeader + ",Other\n0,1,0.5,x\n10,2,0.5," + std::string(5 << 20, 'y') +
                "\n20,3,0.5,z\n30,4,0.5,z\n");
    ASSERT_TRUE(file.loaded) << file.error;
    PlotData& data = file.data;
    EXPECT_EQ(data.Lines(), 4);
    EXPECT_EQ(Ys(data.Reduce({0}, 0, 30, 4)[0]), (std::vector<std::vector<double>>{{1, 2, 3, 4}}));
    // The lines after the long one are found again where they are.
    EXPECT_EQ(Ys(data.Reduce({0}, 15, 30, 400)[0]), (std::vector<std::vector<double>>{{3, 4}}));
}

TEST(PlotFile, ARepeatedTitleIsOneSeries) {
    std::string header = "Time (mS)";
    std::string line = "0";
    for (int i = 0; i < 2000; ++i) {
        header += ",Position 1 (um),Time (mS)";
        line += "," + std::to_string(i + 1) + ",7";
    }
    Loaded file(header + "\n" + line + "\n");
    ASSERT_TRUE(file.loaded) << file.error;
    PlotData& data = file.data;
    ASSERT_EQ(data.Series().size(), 1u);
    EXPECT_EQ(Ys(data.Reduce({0}, 0, 1, 1)[0]), (std::vector<std::vector<double>>{{1}}));
}

TEST(PlotFile, AFileWithoutAUsableTimeOrNotAPlainFileIsRefusedWithAReason) {
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"header only", kHeader + "\r\n", "has no line with a time to plot"},
        {"no number as time", kHeader + "\nabc,1,2\n,3,4\n--,5,6\ninf,7,8\n1e300,9,9\n",
         "has no line with a time to plot"},
        {"empty", "", "is not a converted test data file"},
        {"a first line longer than any header", std::string(100000, 'T') + "\n0,1\n",
         "is not a converted test data file"},
        {"a raw file", "Time(mS),Set\n1,1\n", "is not a converted test data file"},
    };
    for (const auto& c : cases) {
        const Loaded file(c.text);
        EXPECT_FALSE(file.loaded) << c.name;
        EXPECT_NE(file.error.find(c.reason), std::string::npos) << c.name << ": " << file.error;
    }
    // A FIFO would wait for a writer forever.
    SKIP_ON_WINDOWS("no FIFOs on Windows");
    TempFolder temp;
    ASSERT_TRUE(MakeFifo(temp.Path() / "fifo.csv"));
    PlotData data;
    std::string error;
    EXPECT_FALSE(data.Load(temp.Path() / "fifo.csv", error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
}

} // namespace
