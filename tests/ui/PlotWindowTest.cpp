// The plot window: a zoom redraws the visible stretch from the file, and the picture is saved.
#include "recordings/ui/PlotWindow.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QChart>
#include <QCheckBox>
#include <QTest>
#include <QValueAxis>

namespace fs = std::filesystem;

namespace {

TEST(PlotWindow, ZoomRedrawsTheVisibleStretchAndThePictureIsSaved) {
    TestApp();
    TempFolder temp;
    std::string text = "Time (mS),Set,Set Name,Cycle,Position 1 (um),Force 1 (N) (factory)\r\n";
    for (int i = 0; i < 20000; ++i)
        text += std::to_string(i * 10) + ",1,A,1," + std::to_string(500 + (i * 7) % 300) +
                (i % 1000 < 10 ? ",\r\n" : ",1.50\r\n");
    WriteFile(temp.Path() / "short.csv", text);

    CPlotWindow window;
    std::string error;
    ASSERT_TRUE(window.Open((temp.Path() / "short.csv").string(), error)) << error;
    EXPECT_TRUE(window.SeriesBox(0)->isChecked());
    EXPECT_FALSE(window.SeriesBox(1)->isChecked());
    window.SeriesBox(1)->setChecked(true);
    window.resize(1400, 600);
    window.show();
    QTest::qWait(50);
    // The whole run: at most two points per pixel column.
    EXPECT_LE(window.DrawnPoints(0), 2 * 1400);
    EXPECT_GT(window.DrawnPoints(0), 100);

    auto* x = qobject_cast<QValueAxis*>(window.Chart()->axes(Qt::Horizontal).front());
    x->setRange(49000, 52000);
    QTest::qWait(50);
    int forcePieces = 0;
    for (QAbstractSeries* series : window.Chart()->series())
        forcePieces += series->name().startsWith("Force");
    EXPECT_EQ(window.DrawnPoints(0), 301); // every line of the stretch, read again, and no more
    EXPECT_EQ(forcePieces, 2);             // the empty forces at 50000..50090 cut the line

    const std::string png = (temp.Path() / "plot.png").string();
    ASSERT_TRUE(window.SavePng(png, error)) << error;
    EXPECT_EQ(ReadFile(png).substr(1, 3), "PNG");
}

// A result folder with a summary of two sets, wells 1 and 2; well 2's amplitude falls away in
// the second set as a torn membrane's does.
fs::path PerCycleFolder(const fs::path& root) {
    const fs::path result = root / "Torn_0001";
    fs::create_directories(result / "TestLogs");
    WriteFile(result / "Torn_0001.csv", "Time (mS),Set\r\n0,1\r\n");
    std::string text = "Set,Set Name,Cycle,Start (mS),End (mS),Samples,Max Pressure (MPa)";
    for (int k = 1; k <= 9; ++k) {
        const std::string w = std::to_string(k);
        text += ",Max Position " + w + " (um),Min Position " + w + " (um),Amplitude " + w +
                " (um),Max Force " + w + " (N) (factory),Max Force " + w + " (N) (calibrated)";
    }
    text += "\r\n";
    for (int i = 0; i < 400; ++i) {
        const int set = i < 200 ? 1 : 2;
        const double second = set == 1 ? 300.0 : 300.0 - (i - 200) * 1.2;
        text += std::to_string(set) + "," + (set == 1 ? "Warmup" : "Strain") + "," +
                std::to_string(i % 200 + 1) + "," + std::to_string(i * 1000) + "," +
                std::to_string(i * 1000 + 990) + ",100,0.050";
        text += ",340.0,40.0,300.0,0.330,";
        text += ",350.0,50.0," + std::to_string(second) + ",0.340,";
        for (int k = 3; k <= 9; ++k)
            text += ",,,,,";
        text += "\r\n";
    }
    WriteFile(result / "Torn_0001_Summary.csv", text);
    return result;
}

TEST(PlotWindow, PerCycleViewFromTheSummaryAndTheReportOfItsFolder) {
    TestApp();
    TempFolder temp;
    const fs::path result = PerCycleFolder(temp.Path());
    CPlotWindow window;
    std::string error;
    // From the converted file, the per-cycle view finds the summary beside it.
    ASSERT_TRUE(window.OpenPerCycle((result / "Torn_0001.csv").string(), error)) << error;
    ASSERT_TRUE(window.PerCycleView());
    EXPECT_EQ(window.windowTitle(), "Torn_0001_Summary.csv - Per cycle");
    EXPECT_TRUE(window.SeriesBox(0)->isChecked());  // amplitude 1
    EXPECT_TRUE(window.SeriesBox(2)->isChecked());  // amplitude 2
    EXPECT_FALSE(window.SeriesBox(4)->isEnabled()); // well 3 has no values
    EXPECT_TRUE(window.SeriesBox(3)->isEnabled());  // max force 2
    window.SeriesBox(3)->setChecked(true);
    window.resize(1000, 500);
    window.RefreshNow();
    EXPECT_EQ(window.DrawnPoints(0), 400);
    EXPECT_EQ(window.DrawnPoints(3), 400);
    EXPECT_EQ(window.DrawnPoints(1), 0);
    // The amplitude axis reaches down to the failing well's last cycle.
    auto* amplitude = qobject_cast<QValueAxis*>(window.Chart()->axes(Qt::Vertical).front());
    EXPECT_LE(amplitude->min(), 300.0 - 199 * 1.2);

    std::string written;
    ASSERT_TRUE(window.WriteReport(written, error)) << error;
    EXPECT_EQ(written, (result / "Torn_0001_Report.pdf").string());

    // Without a summary one is made from the full file and kept; without either, it is said.
    CPlotWindow missing;
    const fs::path other = temp.Path() / "Other";
    fs::create_directories(other / "TestLogs");
    EXPECT_FALSE(missing.OpenPerCycle((other / "Other_0002.csv").string(), error));
    WriteFile(other / "TestLogs" / "Other_0002_Full.csv",
              "Time (mS),Set,Set Name,Cycle,Position 1 (um)\r\n0,1,A,1,10\r\n5,1,A,1,35\r\n");
    EXPECT_TRUE(missing.OpenPerCycle((other / "Other_0002.csv").string(), error)) << error;
    EXPECT_TRUE(fs::exists(other / "Other_0002_Summary.csv")); // its lines: CycleSummaryTest
}

} // namespace
