// Plot loading: writes a converted test data file of many lines (full form, every column), then
// loads and reduces it as the plot window does and reports the time and the peak memory; then a
// deep zoom that reads a stretch of the file again.
//   bench_plot [--lines N] [--file PATH] [--keep]
#include "recordings/PlotData.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Peak resident memory of this process in MB (VmHWM).
double PeakMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    }
    return 0.0;
}

// A full-form file: time, set, name, cycle, two pressures, then per well position, factory and
// calibrated force, with the spring force after well 1. Written in pieces, so writing it costs
// little memory.
void WriteFile(const std::filesystem::path& path, long lines) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::string header = "Time (mS),Set,Set Name,Cycle,Specified Pressure (MPa),Pressure (MPa)";
    for (int k = 1; k <= 9; ++k) {
        header += ",Position " + std::to_string(k) + " (um),Force " + std::to_string(k) +
                  " (N) (factory),Force " + std::to_string(k) + " (N) (calibrated)";
        if (k == 1)
            header += ",Spring Force (N)";
    }
    std::fprintf(out, "%s\r\n", header.c_str());
    unsigned seed = 12345;
    for (long i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        const double phase = static_cast<double>(i % 2000) / 2000.0;
        const double pressure = 0.05 * phase;
        std::fprintf(out, "%ld,%ld,Stretch,%ld,%.4f,%.4f", i * 10, 1 + i / 500000,
                     1 + (i / 2000) % 1000, pressure, pressure * 0.98);
        for (int k = 1; k <= 9; ++k) {
            const double position = 1200.0 * phase + k * 10 + (seed >> 28);
            std::fprintf(out, ",%.0f,%.2f,%.2f", position, 4.0 * phase + 0.1 * k,
                         3.9 * phase + 0.1 * k);
            if (k == 1)
                std::fprintf(out, ",%.2f", 2.5 * phase);
        }
        std::fputs("\r\n", out);
    }
    std::fclose(out);
}

} // namespace

int main(int argc, char** argv) {
    long lines = 2000000;
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("bench-plot-" + std::to_string(::getpid()) + ".csv");
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc)
            lines = std::atol(argv[++i]);
        else if (std::strcmp(argv[i], "--file") == 0 && i + 1 < argc)
            path = argv[++i];
        else if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
    }
    if (!std::filesystem::exists(path))
        WriteFile(path, lines);
    const double before = PeakMb();
    const auto size = std::filesystem::file_size(path);

    // Read once so the timing below is the loader's, not the disk's.
    {
        std::ifstream warm(path, std::ios::binary);
        std::string chunk(1 << 20, '\0');
        while (warm.read(chunk.data(), static_cast<std::streamsize>(chunk.size())))
            ;
    }

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = CpuSeconds();
    PlotData data;
    std::string error;
    if (!data.Load(path, error)) {
        std::fprintf(stderr, "bench_plot: %s\n", error.c_str());
        return 1;
    }
    std::vector<int> all;
    for (size_t i = 0; i < data.Series().size(); ++i)
        all.push_back(static_cast<int>(i));
    const auto whole = data.Reduce(all, data.XMin(), data.XMax(), 1920);
    const double loadSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double loadCpu = CpuSeconds() - cpuStart;

    const double span = data.XMax() - data.XMin();
    const auto zoomStart = std::chrono::steady_clock::now();
    const auto zoomed =
        data.Reduce(all, data.XMin() + span * 0.5, data.XMin() + span * 0.505, 1920);
    const double zoomSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - zoomStart).count();

    size_t points = 0;
    for (const auto& series : whole)
        for (const auto& segment : series)
            points += segment.size();
    std::printf("file %lld lines, %.1f MB, %zu series\n", data.Lines(), size / 1e6,
                data.Series().size());
    std::printf("load and reduce to 1920 columns: %.3f s (%.0f MB/s; %.3f s cpu on %u threads), "
                "%zu points drawn\n",
                loadSeconds, size / 1e6 / loadSeconds, loadCpu,
                std::thread::hardware_concurrency() > 1 ? 2u : 1u, points);
    std::printf("zoom to 0.5%% (file read again): %.3f s\n", zoomSeconds);
    std::printf("peak memory: %.1f MB (%.1f MB before loading)\n", PeakMb(), before);
    (void)zoomed;
    if (!keep)
        std::filesystem::remove(path);
    return 0;
}
