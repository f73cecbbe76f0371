// A plot of a converted test data file against time: check boxes choose the series (each well's
// position, factory and calibrated force; the pressures and the spring force when the file has
// them). Series are reduced to what the plot's width can show, again after every zoom (drag
// across the plot to zoom in, right click or Reset Zoom to go back). The picture can be saved as
// PNG.
#pragma once

#include "recordings/PlotData.h"

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

    // Loads the file and shows the positions. False with a message when it cannot be plotted.
    bool Open(const std::string& path, std::string& error);
    // Saves the plot as PNG (through a temporary file). False with a message on failure.
    bool SavePng(const std::string& path, std::string& error);

    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }
    // The check box of a series (index into Data().Series()).
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

private:
    void ScheduleRefresh();
    void OnSave();

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
};
