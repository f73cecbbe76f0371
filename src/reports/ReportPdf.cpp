#include "reports/ReportPdf.h"

#include "common/AtomicFile.h"
#include "common/RegularFile.h"
#include "common/TextLines.h"
#include "protocol/ProtocolTable.h"
#include "protocol/SequenceDisplay.h"
#include "protocol/SequenceRules.h"
#include "recordings/PlotData.h"
#include "recordings/TestDataAccess.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

QColor WellColour(int well) {
    static const QRgb colours[] = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0xd62728, 0x9467bd,
                                   0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22};
    return well >= 1 && well <= 9 ? QColor(colours[well - 1]) : QColor(Qt::black);
}

namespace {

constexpr std::size_t kProtocolLimit = std::size_t{1} << 20;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Fixed(double value, int decimals) {
    if (std::isnan(value))
        return std::string();
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The hardware block on one line: its lines after the tag, as the protocol copy holds them.
std::string HardwareLine(const HardwareDescription& hardware) {
    std::string line;
    const std::string block = HardwareBlockText(hardware);
    const auto lines = SplitTextLines(block);
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        if (!line.empty())
            line += ";  ";
        line += std::string(lines[i]);
    }
    return line;
}

// A series of a picture: points in order, NaN y breaks the line.
struct ChartSeries {
    QColor colour;
    std::vector<PlotSegment> segments;
};

// Draws on A4 pages in points, top down, starting a page when the next piece does not fit.
class PageWriter {
public:
    PageWriter(QPdfWriter& writer, const QString& title) : m_writer(writer) {
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(72);
        writer.setPageMargins(QMarginsF(36, 36, 36, 36), QPageLayout::Point);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Kelvastra"));
        m_painter.begin(&writer);
        const QRectF page = writer.pageLayout().paintRectPoints();
        m_width = page.width();
        m_height = page.height();
    }
    ~PageWriter() { m_painter.end(); }

    double Width() const { return m_width; }

    void Room(double height) {
        if (m_y > 0 && m_y + height > m_height) {
            m_writer.newPage();
            m_y = 0;
        }
    }
    void Skip(double height) { m_y += height; }

    void Text(const QString& text, double size, bool bold = false) {
        QFont font = Font(size, bold);
        const QFontMetricsF metrics(font);
        const QRectF bounds =
            metrics.boundingRect(QRectF(0, 0, m_width, 1e6), Qt::TextWordWrap, text);
        Room(bounds.height());
        m_painter.setFont(font);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, m_y, m_width, bounds.height()), Qt::TextWordWrap, text);
        m_y += bounds.height() + size * 0.3;
    }

    // A table with a header row; long tables go on over pages with the header again. Widths are
    // shares of the page width.
    void Table(const std::vector<QString>& header, const std::vector<std::vector<QString>>& rows,
               const std::vector<double>& shares, double size) {
        double total = 0.0;
        for (double share : shares)
            total += share;
        std::vector<double> widths;
        for (double share : shares)
            widths.push_back(share / total * m_width);
        const double rowHeight = size * 1.6;
        auto drawRow = [&](const std::vector<QString>& cells, bool bold) {
            m_painter.setFont(Font(size, bold));
            double x = 0;
            for (size_t c = 0; c < widths.size(); ++c) {
                const QRectF cell(x, m_y, widths[c], rowHeight);
                m_painter.setPen(QColor(0xa0, 0xa0, 0xa0));
                m_painter.drawRect(cell);
                m_painter.setPen(Qt::black);
                if (c < cells.size())
                    m_painter.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft,
                                       cells[c]);
                x += widths[c];
            }
            m_y += rowHeight;
        };
        Room(rowHeight * 2);
        drawRow(header, true);
        for (const auto& row : rows) {
            if (m_y + rowHeight > m_height) {
                Room(m_height);
                drawRow(header, true);
            }
            drawRow(row, false);
        }
        m_y += size * 0.8;
    }

    // A picture of series against x, with its axes' end values and titles.
    void Chart(const QString& title, const QString& xTitle, const QString& yTitle,
               const std::vector<ChartSeries>& series, double x0, double x1, double height) {
        Room(height + 24);
        m_painter.setFont(Font(9, true));
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(0, m_y, m_width, 14), Qt::AlignLeft, title);
        m_y += 14;
        double low = INFINITY, high = -INFINITY;
        for (const ChartSeries& s : series)
            for (const PlotSegment& segment : s.segments)
                for (const PlotPoint& p : segment) {
                    low = std::min(low, p.y);
                    high = std::max(high, p.y);
                }
        if (!(low <= high)) {
            low = 0;
            high = 1;
        }
        if (high - low < 1e-9) {
            low -= 1;
            high += 1;
        }
        const double margin = (high - low) * 0.05;
        low -= margin;
        high += margin;
        if (!(x1 > x0))
            x1 = x0 + 1;
        const QRectF area(44, m_y, m_width - 50, height - 16);
        m_painter.setPen(QColor(0x60, 0x60, 0x60));
        m_painter.drawRect(area);
        m_painter.setFont(Font(7));
        m_painter.drawText(QRectF(0, area.top() - 4, 42, 10), Qt::AlignRight, Number(high));
        m_painter.drawText(QRectF(0, area.bottom() - 6, 42, 10), Qt::AlignRight, Number(low));
        m_painter.drawText(QRectF(0, area.center().y() - 5, 42, 10), Qt::AlignRight, yTitle);
        m_painter.drawText(QRectF(area.left(), area.bottom() + 1, 80, 10), Qt::AlignLeft,
                           Number(x0));
        m_painter.drawText(QRectF(area.right() - 80, area.bottom() + 1, 80, 10), Qt::AlignRight,
                           Number(x1));
        m_painter.drawText(QRectF(area.left(), area.bottom() + 1, area.width(), 10),
                           Qt::AlignHCenter, xTitle);
        m_painter.save();
        m_painter.setClipRect(area);
        m_painter.setRenderHint(QPainter::Antialiasing);
        for (const ChartSeries& s : series) {
            QPen pen(s.colour);
            pen.setWidthF(0.7);
            m_painter.setPen(pen);
            for (const PlotSegment& segment : s.segments) {
                QPolygonF line;
                line.reserve(static_cast<qsizetype>(segment.size()));
                for (const PlotPoint& p : segment)
                    line.append(
                        QPointF(area.left() + (p.x - x0) / (x1 - x0) * area.width(),
                                area.bottom() - (p.y - low) / (high - low) * area.height()));
                if (line.size() == 1)
                    m_painter.drawPoint(line.front());
                else
                    m_painter.drawPolyline(line);
            }
        }
        m_painter.restore();
        m_y += height + 6;
    }

    // A coloured mark and the number of each well.
    void Legend(const std::vector<int>& wells) {
        Room(12);
        m_painter.setFont(Font(8));
        double x = 0;
        m_painter.setPen(Qt::black);
        m_painter.drawText(QRectF(x, m_y, 40, 10), Qt::AlignLeft, QStringLiteral("Wells:"));
        x += 34;
        for (int well : wells) {
            m_painter.fillRect(QRectF(x, m_y + 3, 14, 4), WellColour(well));
            m_painter.drawText(QRectF(x + 17, m_y, 20, 10), Qt::AlignLeft, QString::number(well));
            x += 36;
        }
        m_y += 14;
    }

private:
    static QFont Font(double size, bool bold = false) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSizeF(size);
        font.setBold(bold);
        return font;
    }
    static QString Number(double value) { return QString::number(value, 'g', 5); }

    QPdfWriter& m_writer;
    QPainter m_painter;
    double m_width = 0;
    double m_height = 0;
    double m_y = 0;
};

QByteArray Render(const QString& title, const std::function<void(PageWriter&)>& draw) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        PageWriter page(writer, title);
        draw(page);
    }
    buffer.close();
    return bytes;
}

void DrawProtocol(PageWriter& page, const ProtocolPrintout& printout) {
    const bool hydrostatic =
        printout.hardware && printout.hardware->MembraneStyle == Membrane::Hydrostatic;
    const auto& titles = SequenceListTitles();
    std::vector<QString> header;
    for (const std::string& title : titles)
        header.push_back(Q(title));
    std::vector<std::vector<QString>> rows;
    for (size_t i = 0; i < printout.sequence.sets.size(); ++i) {
        const auto cells = SequenceListRow(printout.sequence, static_cast<int>(i), hydrostatic);
        rows.emplace_back();
        for (const std::string& cell : cells)
            rows.back().push_back(Q(cell));
    }
    page.Table(header, rows, {1.8, 1.3, 1, 1.1, 1.2, 1, 1.3, 1, 1.2, 1}, 7);
    page.Text(QStringLiteral("Total Time:  ") + Q(TimeText(TotalSeconds(printout.sequence))) +
                  QStringLiteral("     Used Memory (%):  ") +
                  Q(UsedMemoryText(UsedMemory(static_cast<int>(printout.sequence.sets.size())))),
              9);
    page.Text(QStringLiteral("Hardware:  ") +
                  (printout.hardware ? Q(HardwareLine(*printout.hardware))
                                     : QStringLiteral("no ##HARDWARE block in the protocol")),
              8);
}

std::vector<PlotSegment> Reduced(const std::vector<double>& x, const std::vector<double>& y,
                                 double x0, double x1) {
    return ReduceToColumns(x, y, x0, x1, 1200);
}

void DrawSummaryPictures(PageWriter& page, const SummaryTable& summary) {
    std::vector<double> x;
    x.reserve(summary.cycles.size());
    for (const SummaryCycle& cycle : summary.cycles)
        x.push_back(cycle.startMs / 1000.0);
    const double x0 = x.empty() ? 0.0 : *std::min_element(x.begin(), x.end());
    const double x1 = x.empty() ? 1.0 : *std::max_element(x.begin(), x.end());
    std::vector<ChartSeries> positions, amplitudes;
    std::vector<double> y(x.size());
    auto column = [&](auto member, int k) {
        for (size_t i = 0; i < summary.cycles.size(); ++i)
            y[i] = (summary.cycles[i].*member)[k];
        return Reduced(x, y, x0, x1);
    };
    for (int k = 0; k < kSummaryWells; ++k) {
        if (!summary.hasAmplitude[k])
            continue;
        positions.push_back({WellColour(k + 1), column(&SummaryCycle::maxPosition, k)});
        positions.push_back({WellColour(k + 1), column(&SummaryCycle::minPosition, k)});
        amplitudes.push_back({WellColour(k + 1), column(&SummaryCycle::amplitude, k)});
    }
    page.Chart(QStringLiteral("Position over time (each cycle's highest and lowest position)"),
               QStringLiteral("Time (s)"), QStringLiteral("um"), positions, x0, x1, 170);
    page.Chart(QStringLiteral("Amplitude per cycle"), QStringLiteral("Cycle start (s)"),
               QStringLiteral("um"), amplitudes, x0, x1, 170);
    std::vector<int> wells;
    for (int k = 0; k < kSummaryWells; ++k)
        if (summary.hasAmplitude[k])
            wells.push_back(k + 1);
    page.Legend(wells);
}

void DrawStatistics(PageWriter& page, const SummaryTable& summary) {
    std::vector<int> wells;
    for (int k = 0; k < kSummaryWells; ++k)
        if (summary.hasAmplitude[k] || summary.hasForce[k])
            wells.push_back(k);
    std::vector<QString> header = {QStringLiteral("Set"), QStringLiteral("Name"),
                                   QStringLiteral("Cycles"), QStringLiteral("Mean ± SD")};
    std::vector<double> shares = {0.8, 1.6, 1.2, 2.4};
    for (int k : wells) {
        header.push_back(QStringLiteral("Well %1").arg(k + 1));
        shares.push_back(2.1);
    }
    const QString forceTitle = summary.calibratedForce ? QStringLiteral("Max force (N) cal.")
                                                       : QStringLiteral("Max force (N) fac.");
    auto cell = [](const MeanDeviation& value, int decimals) {
        if (value.count == 0)
            return QString();
        return Q(Fixed(value.mean, decimals)) + QStringLiteral(" ± ") +
               Q(Fixed(value.deviation, decimals));
    };
    std::vector<std::vector<QString>> rows;
    for (const SetStatistics& set : PerSetStatistics(summary)) {
        std::vector<QString> amplitude = {QString::number(set.set), Q(set.setName),
                                          QString::number(set.cycles),
                                          QStringLiteral("Amplitude (um)")};
        std::vector<QString> force = {QString(), QString(), QString(), forceTitle};
        for (int k : wells) {
            amplitude.push_back(cell(set.amplitude[k], 1));
            force.push_back(cell(set.maxForce[k], 3));
        }
        rows.push_back(std::move(amplitude));
        rows.push_back(std::move(force));
    }
    page.Text(QStringLiteral("Per set: mean and standard deviation over the set's cycles"), 10,
              true);
    page.Table(header, rows, shares, 5.5);
}

std::string FirstLineOf(const fs::path& path) {
    std::string error;
    const auto text = ReadRegularFile(path, 4096, error);
    if (!text)
        return std::string();
    const auto lines = SplitTextLines(*text);
    return lines.empty() ? std::string() : PrintableName(lines.front());
}

// The files of a folder whose names end with `suffix` (any case), sorted by name.
std::vector<fs::path> FilesEndingWith(const fs::path& folder, std::string suffix) {
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::string name = entry.path().filename().string();
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file(error) && name.size() > suffix.size() && name.ends_with(suffix))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

bool ReadProtocolPrintout(const fs::path& path, ProtocolPrintout& printout, std::string& error) {
    std::string why;
    const auto text = ReadRegularFile(path, kProtocolLimit, why);
    if (!text) {
        error = "Cannot read " + path.string() + ": " + why;
        return false;
    }
    printout = ProtocolPrintout{};
    printout.name = path.filename().string();
    HardwareDescription hardware;
    const ProtocolReadResult result = ReadProtocolText(*text, printout.sequence, &hardware);
    if (result.noTable) {
        error = path.string() + " is not a protocol file.";
        return false;
    }
    if (result.hardwareBlock)
        printout.hardware = hardware;
    return true;
}

bool GatherTestReport(const fs::path& resultFolder, TestReportContent& content,
                      std::string& error) {
    content = TestReportContent{};
    std::error_code status;
    if (!fs::is_directory(resultFolder, status)) {
        error = resultFolder.string() + " is not a result folder.";
        return false;
    }
    std::vector<fs::path> summaries;
    fs::path converted;
    for (const fs::path& csv : FilesEndingWith(resultFolder, ".csv")) {
        if (IsSummaryFileName(csv))
            summaries.push_back(csv);
        else if (converted.empty())
            converted = csv;
    }
    std::string stem;
    if (!converted.empty()) {
        stem = converted.stem().string();
    } else if (!summaries.empty()) {
        stem = summaries.front().stem().string();
        stem.resize(stem.size() - std::string_view("_Summary").size());
    } else {
        error = "No converted test in " + resultFolder.string() + ".";
        return false;
    }
    content.displayName = stem;
    const fs::path logs = resultFolder / "TestLogs";
    content.cardName = FirstLineOf(logs / kResultOwnerFile);
    const ResultSource source = ReadResultSource(resultFolder);
    content.dataDate = source.dataDate;
    content.serial = source.serial;
    content.firmware = source.firmware;

    const auto protocols = FilesEndingWith(resultFolder, ".tmt");
    if (!protocols.empty()) {
        ProtocolPrintout printout;
        std::string ignored;
        if (ReadProtocolPrintout(protocols.front(), printout, ignored)) {
            // The controller's own report of its firmware is better than the copy's block.
            if (printout.hardware && source.firmware.empty())
                content.firmware = std::to_string(printout.hardware->FirmwareVersion);
            content.protocol = std::move(printout);
        }
    }

    fs::path summary = resultFolder / (SafeFileName(stem) + "_Summary.csv");
    if (!fs::is_regular_file(summary, status) && !summaries.empty())
        summary = summaries.front();
    std::string problem;
    if (fs::is_regular_file(summary, status)) {
        if (!ReadSummaryFile(summary, content.summary, problem))
            content.summaryProblem = problem;
    } else if (!SummaryFromFullFile(logs / (SafeFileName(stem) + "_Full.csv"), summary,
                                    content.summary, problem)) {
        content.summaryProblem = problem;
    }
    return true;
}

fs::path DefaultReportPath(const fs::path& resultFolder, const TestReportContent& content) {
    return resultFolder / (SafeFileName(content.displayName) + "_Report.pdf");
}

QByteArray TestReportPdf(const TestReportContent& content) {
    return Render(Q(content.displayName), [&](PageWriter& page) {
        page.Text(QStringLiteral("Test report:  ") + Q(content.displayName), 15, true);
        QString about;
        auto add = [&](const char* label, const std::string& value) {
            if (!value.empty())
                about += QString::fromUtf8(label) + Q(value) + QStringLiteral("\n");
        };
        add("Card file:  ", content.cardName);
        add("Data file date:  ", content.dataDate);
        add("Controller serial number:  ", content.serial);
        add("Firmware version:  ", content.firmware);
        if (!about.isEmpty())
            page.Text(about.trimmed(), 9);
        if (content.protocol) {
            page.Text(QStringLiteral("Protocol:  ") + Q(content.protocol->name), 11, true);
            DrawProtocol(page, *content.protocol);
        } else {
            page.Text(QStringLiteral("No protocol copy in the result folder."), 9);
        }
        if (!content.summaryProblem.empty()) {
            page.Text(Q(content.summaryProblem), 9);
            return;
        }
        DrawStatistics(page, content.summary);
        DrawSummaryPictures(page, content.summary);
    });
}

QByteArray ProtocolPdf(const ProtocolPrintout& printout) {
    return Render(Q(printout.name), [&](PageWriter& page) {
        page.Text(QStringLiteral("Protocol:  ") + Q(printout.name), 15, true);
        DrawProtocol(page, printout);
    });
}

namespace {
bool WriteBytes(const fs::path& out, const QByteArray& bytes, std::string& error) {
    std::string why;
    if (bytes.isEmpty()) {
        error = "Cannot make the PDF for " + out.string();
        return false;
    }
    if (!WriteFileAtomically(out, std::string_view(bytes.constData(), bytes.size()), &why)) {
        error = "Cannot write " + out.string() + ": " + why;
        return false;
    }
    return true;
}
} // namespace

bool WriteTestReport(const fs::path& resultFolder, const fs::path& out, fs::path& written,
                     std::string& error) {
    TestReportContent content;
    if (!GatherTestReport(resultFolder, content, error))
        return false;
    written = out.empty() ? DefaultReportPath(resultFolder, content) : out;
    return WriteBytes(written, TestReportPdf(content), error);
}

bool WriteProtocolPdf(const fs::path& protocolFile, const fs::path& out, std::string& error) {
    ProtocolPrintout printout;
    if (!ReadProtocolPrintout(protocolFile, printout, error))
        return false;
    return WriteProtocolPdf(printout, out, error);
}

bool WriteProtocolPdf(const ProtocolPrintout& printout, const fs::path& out, std::string& error) {
    return WriteBytes(out, ProtocolPdf(printout), error);
}
