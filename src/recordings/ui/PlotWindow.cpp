#include "recordings/ui/PlotWindow.h"

#include "common/AtomicFile.h"
#include "reports/ReportPdf.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Room around the values on an axis; a flat series gets room by its size, so that its axis
// shows distinct labels instead of one value repeated.
double AxisMargin(double low, double high) {
    const double span = high - low;
    if (span > 0)
        return span * 0.05;
    return std::max(std::max(std::fabs(low), std::fabs(high)) * 0.05, 1e-3);
}

// One colour per well (WellColour); the quantity is told by the line style.
QPen SeriesPen(const PlotSeriesInfo& info) {
    QPen pen(WellColour(info.well));
    pen.setWidthF(1.2);
    switch (info.quantity) {
    case PlotQuantity::FactoryForce:
        pen.setStyle(Qt::DashLine);
        break;
    case PlotQuantity::CalibratedForce:
        pen.setStyle(Qt::DotLine);
        break;
    case PlotQuantity::SpecifiedPressure:
        pen.setColor(QColor(0x40, 0x40, 0x40));
        pen.setStyle(Qt::DashLine);
        break;
    case PlotQuantity::ActualPressure:
        pen.setColor(Qt::black);
        break;
    case PlotQuantity::SpringForce:
        pen.setColor(QColor(0xb8, 0x86, 0x0b));
        break;
    case PlotQuantity::Position:
        break;
    }
    return pen;
}

bool IsPressure(PlotQuantity quantity) {
    return quantity == PlotQuantity::SpecifiedPressure || quantity == PlotQuantity::ActualPressure;
}

QValueAxis* MakeAxis(const QString& title) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setLabelFormat(QStringLiteral("%g"));
    return axis;
}

} // namespace

CPlotWindow::CPlotWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Plot"));
    resize(1100, 650);

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignRight);
    m_xAxis = MakeAxis(QStringLiteral("Time (mS)"));
    m_xAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_positionAxis = MakeAxis(QStringLiteral("Position (um)"));
    m_forceAxis = MakeAxis(QStringLiteral("Force (N)"));
    m_pressureAxis = MakeAxis(QStringLiteral("Pressure (MPa)"));
    m_chart->addAxis(m_xAxis, Qt::AlignBottom);
    m_chart->addAxis(m_positionAxis, Qt::AlignLeft);
    m_chart->addAxis(m_forceAxis, Qt::AlignRight);
    m_chart->addAxis(m_pressureAxis, Qt::AlignRight);

    m_view = new QChartView(m_chart);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setRubberBand(QChartView::HorizontalRubberBand);

    m_refresh = new QTimer(this);
    m_refresh->setSingleShot(true);
    m_refresh->setInterval(0);
    connect(m_refresh, &QTimer::timeout, this, &CPlotWindow::RefreshNow);
    connect(m_xAxis, &QValueAxis::rangeChanged, this, &CPlotWindow::ScheduleRefresh);

    m_boxPanel = new QWidget;
    auto* scroll = new QScrollArea;
    scroll->setWidget(m_boxPanel);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(300);

    auto* reset = new QPushButton(QStringLiteral("Reset Zoom"));
    auto* save = new QPushButton(QStringLiteral("Save PNG..."));
    auto* close = new QPushButton(QStringLiteral("Close"));
    m_perCycleButton = new QPushButton(QStringLiteral("Per cycle"));
    m_reportButton = new QPushButton(QStringLiteral("Report"));
    connect(reset, &QPushButton::clicked, this, &CPlotWindow::ResetZoom);
    connect(save, &QPushButton::clicked, this, &CPlotWindow::OnSave);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(m_perCycleButton, &QPushButton::clicked, this, &CPlotWindow::OnPerCycle);
    connect(m_reportButton, &QPushButton::clicked, this, &CPlotWindow::OnReport);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(reset);
    buttons->addWidget(save);
    buttons->addWidget(m_perCycleButton);
    buttons->addWidget(m_reportButton);
    buttons->addStretch();
    buttons->addWidget(close);

    auto* side = new QVBoxLayout;
    side->addWidget(scroll, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(m_view, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    m_chooseFile = [this](const std::string& suggested) -> std::optional<std::string> {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Plot"),
                                                          QString::fromStdString(suggested),
                                                          QStringLiteral("PNG image (*.png)"));
        return path.isEmpty() ? std::nullopt : std::optional(path.toStdString());
    };
}

bool CPlotWindow::Open(const std::string& path, std::string& error) {
    if (IsSummaryFileName(path))
        return OpenSummary(path, error);
    if (!m_data.Load(path, error))
        return false;
    m_path = path;
    setWindowTitle(QFileInfo(QString::fromStdString(path)).fileName() + QStringLiteral(" - Plot"));

    // Per well: position, factory and calibrated force in three columns; the rest below.
    auto* grid = new QGridLayout(m_boxPanel);
    grid->addWidget(new QLabel(QStringLiteral("Well")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Position")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Force\n(factory)")), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Force\n(calibrated)")), 0, 3);
    for (int well = 1; well <= 9; ++well)
        grid->addWidget(new QLabel(QString::number(well)), well, 0);
    int nextRow = 10;
    const auto& series = m_data.Series();
    m_boxes.assign(series.size(), nullptr);
    for (size_t i = 0; i < series.size(); ++i) {
        const PlotSeriesInfo& info = series[i];
        auto* box = new QCheckBox;
        box->setEnabled(m_data.HasValues(static_cast<int>(i)));
        box->setChecked(info.quantity == PlotQuantity::Position && box->isEnabled());
        QPalette palette = box->palette();
        palette.setColor(QPalette::WindowText, SeriesPen(info).color());
        box->setPalette(palette);
        connect(box, &QCheckBox::toggled, this, &CPlotWindow::ScheduleRefresh);
        m_boxes[i] = box;
        const int column = info.quantity == PlotQuantity::Position          ? 1
                           : info.quantity == PlotQuantity::FactoryForce    ? 2
                           : info.quantity == PlotQuantity::CalibratedForce ? 3
                                                                            : -1;
        if (column > 0) {
            grid->addWidget(box, info.well, column);
        } else {
            box->setText(QString::fromStdString(info.title));
            grid->addWidget(box, nextRow++, 0, 1, 4);
        }
    }
    grid->setRowStretch(nextRow, 1);
    ResetZoom();
    RefreshNow();
    return true;
}

void CPlotWindow::ResetZoom() {
    m_chart->zoomReset();
    if (!m_perCycle) {
        m_xAxis->setRange(m_data.XMin(), m_data.XMax());
        return;
    }
    double low = 0.0, high = 1.0;
    if (!m_summary.cycles.empty()) {
        low = m_summary.cycles.front().startMs;
        high = m_summary.cycles.back().startMs;
    }
    m_xAxis->setRange(low, high > low ? high : low + 1.0);
}

namespace {
// The result folder of a file in it or in its "TestLogs".
std::filesystem::path ResultFolderOf(const std::filesystem::path& file) {
    std::filesystem::path folder = file.parent_path();
    if (folder.filename() == "TestLogs")
        folder = folder.parent_path();
    return folder;
}

// "Test_0001" for ".../Test_0001.csv", ".../TestLogs/Test_0001_Full.csv" or a summary.
std::string TestStem(const std::filesystem::path& file) {
    std::string stem = file.stem().string();
    for (const std::string suffix : {"_Full", "_Raw", "_Summary"}) {
        if (stem.size() > suffix.size() && stem.ends_with(suffix))
            return stem.substr(0, stem.size() - suffix.size());
    }
    return stem;
}
} // namespace

std::string CPlotWindow::ResultFolder() const {
    return m_path.empty() ? std::string() : ResultFolderOf(m_path).string();
}

bool CPlotWindow::OpenPerCycle(const std::string& path, std::string& error) {
    if (IsSummaryFileName(path))
        return OpenSummary(path, error);
    const std::filesystem::path folder = ResultFolderOf(path);
    const std::string stem = TestStem(path);
    const std::filesystem::path summary = folder / (stem + "_Summary.csv");
    std::error_code status;
    if (std::filesystem::is_regular_file(summary, status))
        return OpenSummary(summary.string(), error);
    SummaryTable table;
    if (!SummaryFromFullFile(folder / "TestLogs" / (stem + "_Full.csv"), summary, table, error))
        return false;
    m_summary = std::move(table);
    const bool opened = OpenSummary(std::string(), error);
    m_path = path;
    return opened;
}

bool CPlotWindow::OpenSummary(const std::string& path, std::string& error) {
    if (!path.empty() && !ReadSummaryFile(path, m_summary, error))
        return false;
    m_perCycle = true;
    m_path = path;
    m_perCycleButton->hide();
    setWindowTitle(QFileInfo(QString::fromStdString(path)).fileName() +
                   QStringLiteral(" - Per cycle"));
    m_xAxis->setTitleText(QStringLiteral("Cycle start (mS)"));
    m_positionAxis->setTitleText(QStringLiteral("Amplitude (um)"));
    m_forceAxis->setTitleText(QStringLiteral("Max force (N)"));
    m_pressureAxis->setVisible(false);

    auto* grid = new QGridLayout(m_boxPanel);
    grid->addWidget(new QLabel(QStringLiteral("Well")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Amplitude")), 0, 1);
    grid->addWidget(new QLabel(m_summary.calibratedForce ? QStringLiteral("Max force\n(calibrated)")
                                                         : QStringLiteral("Max force\n(factory)")),
                    0, 2);
    m_boxes.assign(2 * kSummaryWells, nullptr);
    for (int k = 0; k < kSummaryWells; ++k) {
        grid->addWidget(new QLabel(QString::number(k + 1)), k + 1, 0);
        for (int force = 0; force < 2; ++force) {
            auto* box = new QCheckBox;
            box->setEnabled(force ? m_summary.hasForce[k] : m_summary.hasAmplitude[k]);
            box->setChecked(!force && box->isEnabled());
            QPalette palette = box->palette();
            palette.setColor(QPalette::WindowText, WellColour(k + 1));
            box->setPalette(palette);
            connect(box, &QCheckBox::toggled, this, &CPlotWindow::ScheduleRefresh);
            m_boxes[static_cast<size_t>(2 * k + force)] = box;
            grid->addWidget(box, k + 1, 1 + force);
        }
    }
    grid->setRowStretch(kSummaryWells + 1, 1);
    ResetZoom();
    RefreshNow();
    return true;
}

void CPlotWindow::RefreshPerCycle() {
    m_chart->removeAllSeries();
    m_drawnPoints.assign(m_boxes.size(), 0);
    std::vector<double> x, y;
    x.reserve(m_summary.cycles.size());
    for (const SummaryCycle& cycle : m_summary.cycles)
        x.push_back(cycle.startMs);
    y.resize(x.size());
    const double plotWidth = m_chart->plotArea().width();
    const int columns = std::max(100, static_cast<int>(plotWidth > 0 ? plotWidth : width()));
    double low[2] = {INFINITY, INFINITY}, high[2] = {-INFINITY, -INFINITY};
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        if (!m_boxes[i]->isChecked())
            continue;
        const int well = static_cast<int>(i / 2);
        const int force = static_cast<int>(i % 2);
        for (size_t c = 0; c < x.size(); ++c)
            y[c] = force ? m_summary.cycles[c].maxForce[well] : m_summary.cycles[c].amplitude[well];
        QPen pen(WellColour(well + 1));
        pen.setWidthF(1.2);
        if (force)
            pen.setStyle(Qt::DashLine);
        const QString name = QStringLiteral("%1 %2").arg(force ? QStringLiteral("Max Force")
                                                               : QStringLiteral("Amplitude"),
                                                         QString::number(well + 1));
        bool first = true;
        for (const PlotSegment& segment :
             ReduceToColumns(x, y, m_xAxis->min(), m_xAxis->max(), columns)) {
            QList<QPointF> points;
            points.reserve(static_cast<qsizetype>(segment.size()));
            for (const PlotPoint& p : segment) {
                points.append(QPointF(p.x, p.y));
                low[force] = std::min(low[force], p.y);
                high[force] = std::max(high[force], p.y);
            }
            m_drawnPoints[i] += static_cast<int>(points.size());
            auto* line = new QLineSeries;
            line->setName(name);
            line->setPen(pen);
            line->replace(points);
            m_chart->addSeries(line);
            line->attachAxis(m_xAxis);
            line->attachAxis(force ? m_forceAxis : m_positionAxis);
            if (!first) {
                for (QLegendMarker* marker : m_chart->legend()->markers(line))
                    marker->setVisible(false);
            }
            first = false;
        }
    }
    QValueAxis* axes[2] = {m_positionAxis, m_forceAxis};
    for (int a = 0; a < 2; ++a) {
        axes[a]->setVisible(low[a] <= high[a]);
        if (low[a] > high[a])
            continue;
        const double margin = AxisMargin(low[a], high[a]);
        axes[a]->setRange(low[a] - margin, high[a] + margin);
        axes[a]->applyNiceNumbers();
    }
}

bool CPlotWindow::WriteReport(std::string& written, std::string& error) {
    const std::string folder = ResultFolder();
    if (folder.empty()) {
        error = "The plotted file lies in no result folder.";
        return false;
    }
    std::filesystem::path out;
    if (!WriteTestReport(folder, {}, out, error))
        return false;
    written = out.string();
    return true;
}

void CPlotWindow::OnReport() {
    std::string written, error;
    if (!WriteReport(written, error)) {
        QMessageBox::critical(this, QStringLiteral("Kelvastra"),
                              QStringLiteral("Error:  ") + QString::fromStdString(error));
        return;
    }
    QMessageBox::information(this, QStringLiteral("Kelvastra"),
                             QStringLiteral("Report written to ") +
                                 QString::fromStdString(written));
}

void CPlotWindow::OnPerCycle() {
    auto* window = new CPlotWindow(parentWidget());
    window->setAttribute(Qt::WA_DeleteOnClose);
    std::string error;
    if (!window->OpenPerCycle(m_path, error)) {
        delete window;
        QMessageBox::critical(this, QStringLiteral("Kelvastra"),
                              QStringLiteral("Error:  ") + QString::fromStdString(error));
        return;
    }
    window->show();
}

void CPlotWindow::ScheduleRefresh() {
    m_refresh->start();
}

int CPlotWindow::DrawnPoints(int series) const {
    return series >= 0 && static_cast<size_t>(series) < m_drawnPoints.size()
               ? m_drawnPoints[static_cast<size_t>(series)]
               : 0;
}

void CPlotWindow::RefreshNow() {
    m_refresh->stop();
    if (m_perCycle) {
        RefreshPerCycle();
        return;
    }
    m_chart->removeAllSeries();
    const auto& infos = m_data.Series();
    m_drawnPoints.assign(infos.size(), 0);
    std::vector<int> shown;
    for (size_t i = 0; i < m_boxes.size(); ++i) {
        if (m_boxes[i] && m_boxes[i]->isChecked())
            shown.push_back(static_cast<int>(i));
    }
    const double plotWidth = m_chart->plotArea().width();
    const int columns = std::max(100, static_cast<int>(plotWidth > 0 ? plotWidth : width()));
    const auto reduced = m_data.Reduce(shown, m_xAxis->min(), m_xAxis->max(), columns);

    struct Range {
        double low = std::numeric_limits<double>::infinity();
        double high = -std::numeric_limits<double>::infinity();
    };
    Range position, force, pressure;
    for (size_t k = 0; k < shown.size(); ++k) {
        const PlotSeriesInfo& info = infos[static_cast<size_t>(shown[k])];
        QValueAxis* yAxis = info.quantity == PlotQuantity::Position ? m_positionAxis
                            : IsPressure(info.quantity)             ? m_pressureAxis
                                                                    : m_forceAxis;
        Range& range = info.quantity == PlotQuantity::Position ? position
                       : IsPressure(info.quantity)             ? pressure
                                                               : force;
        const QString name = QString::fromStdString(info.title);
        bool first = true;
        for (const PlotSegment& segment : reduced[k]) {
            QList<QPointF> points;
            points.reserve(static_cast<qsizetype>(segment.size()));
            for (const PlotPoint& p : segment) {
                points.append(QPointF(p.x, p.y));
                range.low = std::min(range.low, p.y);
                range.high = std::max(range.high, p.y);
            }
            m_drawnPoints[static_cast<size_t>(shown[k])] += static_cast<int>(points.size());
            auto* line = new QLineSeries;
            line->setName(name);
            line->setPen(SeriesPen(info));
            line->replace(points);
            m_chart->addSeries(line);
            line->attachAxis(m_xAxis);
            line->attachAxis(yAxis);
            // One legend entry per quantity, however many pieces its gaps cut it into.
            if (!first) {
                for (QLegendMarker* marker : m_chart->legend()->markers(line))
                    marker->setVisible(false);
            }
            first = false;
        }
    }
    auto fit = [](QValueAxis* axis, const Range& range) {
        axis->setVisible(range.low <= range.high);
        if (range.low > range.high)
            return;
        const double margin = AxisMargin(range.low, range.high);
        axis->setRange(range.low - margin, range.high + margin);
        axis->applyNiceNumbers();
    };
    fit(m_positionAxis, position);
    fit(m_forceAxis, force);
    fit(m_pressureAxis, pressure);
}

bool SaveWidgetPng(QWidget& widget, const std::string& path, std::string& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!widget.grab().save(&buffer, "PNG")) {
        error = "Cannot make the picture";
        return false;
    }
    return WriteFileAtomically(path, std::string_view(bytes.constData(), bytes.size()), &error);
}

bool CPlotWindow::SavePng(const std::string& path, std::string& error) {
    return SaveWidgetPng(*m_view, path, error);
}

void CPlotWindow::OnSave() {
    std::string suggested = m_path;
    if (suggested.size() > 4)
        suggested = suggested.substr(0, suggested.size() - 4);
    const auto path = m_chooseFile(suggested + ".png");
    if (!path)
        return;
    std::string error;
    if (!SavePng(*path, error))
        QMessageBox::critical(this, QStringLiteral("Kelvastra"),
                              QStringLiteral("Error:  ") + QString::fromStdString(error));
}
