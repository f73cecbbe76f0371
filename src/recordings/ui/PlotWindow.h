// A plot of a converted test data file against time: check boxes choose the series (each well's
// position, factory and calibrated force; the pressures and the spring force when the file has
// them). Series are reduced to what the plot's width can show, again after every zoom (drag
// across the plot to zoom in, right click or Reset Zoom to go back). The picture can be saved as
// PNG. A per-cycle summary opens the "Per cycle" view instead: each well's amplitude and max force
// against the cycle's start time, so a well that fails (a torn membrane, a leak) stands out.
// Report writes the test report of the result folder the file belongs to.
#pragma once

#include "recordings/PlotData.h"
#include "recordings/SummaryTable.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QChart;
class QChartView;
class QCheckBox;
class QPushButton;
class QTimer;
class QValueAxis;

// Saves a picture of a widget as PNG through a temporary file. False with a message on failure.
bool SaveWidgetPng(QWidget& widget, const std::string& path, std::string& error);

class CPlotWindow : public QWidget {
    Q_OBJECT
public:
    // Asks for the PNG file to save to; nullopt when cancelled.
    using FileChooser = std::function<std::optional<std::string>(const std::string& suggested)>;

    explicit CPlotWindow(QWidget* parent = nullptr);

    // Loads the file and shows the positions, or for a summary file ("..._Summary.csv") the per
    // cycle view. False with a message when it cannot be plotted.
    bool Open(const std::string& path, std::string& error);
    // The per-cycle view of the test of a converted file: its summary beside it, else what the
    // full file gives. False with a message when neither is there.
    bool OpenPerCycle(const std::string& path, std::string& error);
    bool PerCycleView() const { return m_perCycle; }
    const SummaryTable& Summary() const { return m_summary; }
    // The result folder of the shown file (empty when it lies in none): the test report's.
    std::string ResultFolder() const;
    // Writes the test report of the result folder; false with a message on failure.
    bool WriteReport(std::string& written, std::string& error);
    // Saves the plot as PNG (through a temporary file). False with a message on failure.
    bool SavePng(const std::string& path, std::string& error);

    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // The check box of a series (index into Data().Series()); in the per cycle view, well k's
    // amplitude is 2k and its max force 2k + 1.
    QCheckBox* SeriesBox(int series) const { return m_boxes[static_cast<size_t>(series)]; }
    const PlotData& Data() const { return m_data; }
    QChart* Chart() const { return m_chart; }
    QChartView* ChartView() const { return m_view; }
    // Points drawn now for a series (all its pieces), for checks.
    int DrawnPoints(int series) const;
    // Redraws now instead of at the next pass of the event loop.
    void RefreshNow();
    // Shows the whole time range.
    void ResetZoom();

    QPushButton* ReportButton() const { return m_reportButton; }
    QPushButton* PerCycleButton() const { return m_perCycleButton; }

private:
    void ScheduleRefresh();
    void OnSave();
    void OnReport();
    void OnPerCycle();
    bool OpenSummary(const std::string& path, std::string& error);
    void RefreshPerCycle();

    PlotData m_data;
    QChart* m_chart = nullptr;
    QChartView* m_view = nullptr;
    QValueAxis* m_xAxis = nullptr;
    QValueAxis* m_positionAxis = nullptr;
    QValueAxis* m_forceAxis = nullptr;
    QValueAxis* m_pressureAxis = nullptr;
    QWidget* m_boxPanel = nullptr;
    std::vector<QCheckBox*> m_boxes;
    std::vector<int> m_drawnPoints;
    QTimer* m_refresh = nullptr;
    FileChooser m_chooseFile;
    QPushButton* m_reportButton = nullptr;
    QPushButton* m_perCycleButton = nullptr;
    std::string m_path;
    bool m_perCycle = false;
    SummaryTable m_summary;
};
