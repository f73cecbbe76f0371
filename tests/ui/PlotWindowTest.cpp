// The plot window: a zoom redraws the visible stretch from the file, and the picture is saved.
#include "recordings/ui/PlotWindow.h"
#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QChart>
#include <QCheckBox>
#include <QLineSeries>
#include <QTest>
#include <QValueAxis>

#include <cmath>

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
    for (QAbstractSeries* series : window.Chart()->series()) {
        auto* line = static_cast<QLineSeries*>(series);
        forcePieces += line->name().startsWith("Force");
        for (const QPointF& point : line->points()) {
            EXPECT_GE(point.x(), 49000);
            EXPECT_LE(point.x(), 52000);
        }
    }
    EXPECT_EQ(window.DrawnPoints(0), 301); // every line of the stretch, read again
    EXPECT_EQ(forcePieces, 2);             // the empty forces at 50000..50090 cut the line

    const std::string png = (temp.Path() / "plot.png").string();
    ASSERT_TRUE(window.SavePng(png, error)) << error;
    EXPECT_EQ(ReadFile(png).substr(1, 3), "PNG");
}

} // namespace
