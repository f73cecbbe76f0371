// A converted file read for a plot, as the plot window reads it: the first bytes choose how many
// columns the loading pass keeps and where the zoom goes, the rest is the file. A file that loads
// has lines with times, and every zoom (from the loaded columns or by reading again) stays inside
// the range asked for, give or take one loaded column.
#include "FuzzInput.h"

#include "recordings/PlotData.h"

#include <cmath>
#include <cstdlib>
#include <fstream>

namespace {

void CheckInside(const std::vector<std::vector<PlotSegment>>& series, double x0, double x1,
                 double slack) {
    for (const auto& segments : series) {
        for (const PlotSegment& segment : segments) {
            if (segment.empty())
                std::abort(); // a segment holds at least one point
            for (const PlotPoint& point : segment) {
                if (!(point.x >= x0 - slack && point.x <= x1 + slack))
                    std::abort();
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const int loadColumns = 1 + input.TakeByte() % 64;
    const double from = input.TakeByte() / 255.0;
    const double to = from + (1.0 - from) * (input.TakeByte() / 255.0);
    const std::filesystem::path path = ScratchFolder() / "plot.csv";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(input.Rest().data(), static_cast<std::streamsize>(input.Rest().size()));

    PlotData plot;
    std::string error;
    if (!plot.Load(path, error, loadColumns)) {
        if (error.empty())
            std::abort(); // a refusal says why
        return 0;
    }
    if (plot.Lines() <= 0 || !(plot.XMin() <= plot.XMax()))
        std::abort();
    std::vector<int> all;
    for (size_t s = 0; s < plot.Series().size(); ++s) {
        all.push_back(static_cast<int>(s));
        plot.HasValues(static_cast<int>(s));
    }
    plot.FullForm();
    const double span = plot.XMax() - plot.XMin();
    const double slack = span / loadColumns * 1.000001 + 1e-9 * std::fabs(plot.XMax());
    const double x0 = plot.XMin() + from * span, x1 = plot.XMin() + to * span;
    CheckInside(plot.Reduce(all, plot.XMin(), plot.XMax(), 48), plot.XMin(), plot.XMax(), slack);
    // The whole range from the loaded columns or read again (with fewer than 48 of them), and a
    // zoom finer than the loaded columns, which reads its stretch again.
    CheckInside(plot.Reduce(all, x0, x1, 100), x0, x1, slack);
    return 0;
}
