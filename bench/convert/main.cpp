// Conversion throughput and memory: generates raw test data files of 100 k and 2 M lines with
// realistic readings (several sets and cycles, a gold spring in well 1), converts each with both
// passes to a real file and to /dev/null, and compares with reading the file by `cat`. The full
// pass is measured again with the per-cycle summary riding on it, and the summary is made once
// more from the full file alone.
//
// bench_convert [--keep] [--lines N ...] [--dir FOLDER] [--raw FILE] [--summary-only]
// (--raw measures an existing raw file instead of generated ones; --summary-only only the
// summary's figures)
#include "common/AtomicFile.h"
#include "hardware/HardwareDescription.h"
#include "recordings/ConvertFile.h"
#include "recordings/CycleSummary.h"
#include "recordings/ForceModel.h"
#include "recordings/SpringModel.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Usage {
    double wall = 0.0;
    double user = 0.0;
    double system = 0.0;
    double Cpu() const { return user + system; }
};

void CpuSeconds(double& user, double& system) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    user = seconds(usage.ru_utime);
    system = seconds(usage.ru_stime);
}

double PeakResidentMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0; // kilobytes on Linux
}

template <typename F> Usage Measure(F&& work) {
    double user0 = 0.0;
    double system0 = 0.0;
    CpuSeconds(user0, system0);
    const auto wall0 = std::chrono::steady_clock::now();
    work();
    Usage usage;
    usage.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    CpuSeconds(usage.user, usage.system);
    usage.user -= user0;
    usage.system -= system0;
    return usage;
}

// What merely writing `bytes` to a new file in `folder` costs here, in 1 MB pieces: the floor
// under any conversion that writes that much.
Usage WriteOnly(const fs::path& folder, uintmax_t bytes) {
    const fs::path path = folder / "bench_write_only.bin";
    std::vector<char> block(1 << 20, 'x');
    Usage usage = Measure([&] {
        std::FILE* out = std::fopen(path.string().c_str(), "wb");
        if (out == nullptr) {
            return;
        }
        for (uintmax_t done = 0; done < bytes; done += block.size()) {
            const size_t size =
                static_cast<size_t>(std::min<uintmax_t>(block.size(), bytes - done));
            std::fwrite(block.data(), 1, size, out);
        }
        std::fclose(out);
    });
    fs::remove(path);
    return usage;
}

long CountLines(const fs::path& path) {
    std::FILE* in = std::fopen(path.string().c_str(), "rb");
    if (in == nullptr) {
        return 0;
    }
    std::vector<char> block(1 << 20);
    long lines = 0;
    size_t got = 0;
    while ((got = std::fread(block.data(), 1, block.size(), in)) > 0) {
        lines += std::count(block.begin(), block.begin() + static_cast<long>(got), '\n');
    }
    std::fclose(in);
    return lines > 0 ? lines - 1 : 0; // without the header
}

// Well positions follow the pressure; the sensor counts are the inverse of the default model
// (magnet A100_25, gold spring in well 1), stored times 100 with a little noise.
void GenerateRaw(const fs::path& path, long lines) {
    const double m2[9] = {-2.549679059e-05, -2.3942e-05, -1.3605e-05, -7.884e-06, -8.559e-06,
                          -2.0434e-05,      -4.847e-06,  -7.856e-06,  -9.549e-06};
    const double m1[9] = {4153.14583235, 3582.88781221285, 5457.55237,  8580.669711, 7197.394555,
                          3869.041793,   14318.13493,      8342.668024, 7540.05655};
    const double m0[9] = {1460.16984283, 1414.200491, 1533.039264, 1744.607306, 1631.940498,
                          1481.586444,   2128.165564, 1727.158462, 1706.424072};
    const char* names[] = {"Warm|Up", "Stretch", "Hold", "Stretch|Fast", "Recover"};
    const double scale = 0.000144875;

    std::FILE* out = std::fopen(path.string().c_str(), "wb");
    if (out == nullptr) {
        std::perror(path.string().c_str());
        std::exit(1);
    }
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 8.0);
    std::string buffer;
    buffer.reserve(1 << 20);
    buffer += "Time(mS),Set,Name,Cycle,SpecifiedPressure,ActualPressure,"
              "Disp1,Disp2,Disp3,Disp4,Disp5,Disp6,Disp7,Disp8,Disp9\n";
    const int samplesPerCycle = 200;
    const int cyclesPerSet = 40;
    long time = 0;
    for (long i = 0; i < lines; ++i) {
        const long cycleIndex = i / samplesPerCycle;
        const int set = static_cast<int>(cycleIndex / cyclesPerSet) % 5 + 1;
        const int cycle = static_cast<int>(cycleIndex % cyclesPerSet) + 1;
        const int sample = static_cast<int>(i % samplesPerCycle);
        // Up for the first half of the cycle, down for the second.
        const double phase = sample < samplesPerCycle / 2 ? sample / (samplesPerCycle / 2.0)
                                                          : 2.0 - sample / (samplesPerCycle / 2.0);
        const double pressure = 0.02 + 0.33 * phase * (0.6 + 0.1 * set);
        time += 10;
        char line[256];
        int n = std::snprintf(
            line, sizeof line, "%ld,%d,%s,%d,%ld,%ld", time, set, names[set - 1], cycle,
            std::lround(pressure / scale),
            std::lround(((pressure * 0.98) / scale + 1530.312) / 1.25616 * 100 + noise(random)));
        buffer.append(line, static_cast<size_t>(n));
        for (int k = 0; k < 9; ++k) {
            const double position = 120.0 + 4500.0 * pressure * (1.0 + 0.03 * k);
            const double reading = m0[k] + m2[k] * (m1[k] - position) * (m1[k] - position);
            n = std::snprintf(line, sizeof line, ",%ld",
                              std::lround(reading * 100 + noise(random)));
            buffer.append(line, static_cast<size_t>(n));
        }
        buffer += '\n';
        if (buffer.size() > (1 << 20) - 512) {
            std::fwrite(buffer.data(), 1, buffer.size(), out);
            buffer.clear();
        }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), out);
    std::fclose(out);
}

double CatSeconds(const fs::path& path) {
    const std::string command = "cat '" + path.string() + "' > /dev/null";
    // Once to have the file in the page cache like the conversion has, then timed.
    if (std::system(command.c_str()) != 0) {
        return 0.0;
    }
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            return 0.0;
        }
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// The output is never renamed over a device: the passes "to /dev/null" write to a name in the
// bench folder whose bytes the writer sends to /dev/null, and the empty file left is removed.
fs::path NullTarget(const fs::path& folder) {
    AtomicFile::RedirectWritesForTests("bench_Null.csv", "/dev/null");
    return folder / "bench_Null.csv";
}

// The full pass to /dev/null without and with the summary, alternately, best of five each (a
// shared machine's noise only ever adds), in processor seconds, which other programs on the
// machine disturb far less than the wall clock; then `summarize` of the full file `full` against
// the full pass.
void MeasureSummary(ForceModel& model, const SpringModel& spring, const fs::path& raw,
                    const fs::path& full, const fs::path& folder, long lines) {
    const fs::path summaryPath = folder / "bench_Summary.csv";
    Usage without{1e9, 0, 1e9};
    Usage with{1e9, 0, 1e9};
    auto best = [](Usage& kept, const Usage& usage) {
        if (usage.Cpu() < kept.Cpu())
            kept = usage;
    };
    const fs::path null = NullTarget(folder);
    for (int round = 0; round < 5; ++round) {
        best(without, Measure([&] { ConvertFile(model, raw, null, spring.valid, true); }));
        CycleSummary summary(summaryPath);
        bool committed = false;
        int converted = -1;
        best(with, Measure([&] {
                 committed = summary.Open() &&
                             (converted = ConvertFile(model, raw, null, spring.valid, true, {},
                                                      &summary)) == ConvertSuccess &&
                             summary.Commit();
             }));
        if (!committed) {
            std::fprintf(stderr, "summary failed (conversion %d): %s\n", converted,
                         summary.Error().c_str());
            std::exit(1);
        }
    }
    fs::remove(null);
    std::printf("        full pass to /dev/null, best of 5: without the summary %.3f cpu s "
                "(%.3f wall), with it %.3f cpu s (%.3f wall): %.3f x (%s)\n",
                without.Cpu(), without.wall, with.Cpu(), with.wall, with.Cpu() / without.Cpu(),
                with.Cpu() <= 1.10 * without.Cpu() ? "ok" : "OVER 1.10");
    const double fullMB = static_cast<double>(fs::file_size(full)) / 1e6;
    std::string error;
    int result = 0;
    const Usage usage = Measure([&] { result = SummarizeFullFile(full, summaryPath, error); });
    if (result != 0) {
        std::fprintf(stderr, "summarize failed: %s\n", error.c_str());
        std::exit(1);
    }
    std::printf("        summarize of the %.1f MB full file: %.3f cpu s (%.3f wall; %.1f MB/cpu-s, "
                "%.0f lines/cpu-s), %.2f x the full pass's speed (%s); summary %.1f kB\n",
                fullMB, usage.Cpu(), usage.wall, fullMB / usage.Cpu(), lines / usage.Cpu(),
                without.Cpu() / usage.Cpu(),
                without.Cpu() / usage.Cpu() >= 0.5 ? "ok" : "UNDER 0.5",
                static_cast<double>(fs::file_size(summaryPath)) / 1e3);
    fs::remove(summaryPath);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    fs::path folder;
    bool keep = false;
    bool summaryOnly = false;
    fs::path givenRaw;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) {
            sizes.push_back(std::atol(argv[++i]));
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            folder = argv[++i];
        } else if (std::strcmp(argv[i], "--raw") == 0 && i + 1 < argc) {
            givenRaw = argv[++i];
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else if (std::strcmp(argv[i], "--summary-only") == 0) {
            summaryOnly = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--lines N]... [--dir FOLDER] [--keep] [--raw FILE] "
                         "[--summary-only]\n",
                         argv[0]);
            return 2;
        }
    }
    if (!givenRaw.empty()) {
        sizes = {0};
        keep = true;
    } else if (sizes.empty()) {
        sizes = {100000, 2000000};
    }
    if (folder.empty()) {
        folder =
            fs::temp_directory_path() / ("kelvastra-bench-convert-" + std::to_string(getpid()));
    }
    fs::create_directories(folder);

    HardwareDescription hardware; // A100_25, 70A_794um, SMC1050, gold spring
    const SpringModel spring(hardware.SpringType);
    ForceModel model(hardware, &spring);

    std::printf("Conversion benchmark (one core; MB = 10^6 bytes); targets: >= 150 MB/s to a "
                "file, >= 200 MB/s to /dev/null, peak memory at 2 M lines <= 10 MB above 100 k; "
                "full pass with the summary <= 1.10 x without; summarize >= 0.5 x the "
                "conversion's speed\n");
    double previousPeak = 0.0;
    for (long lines : sizes) {
        // Lines are counted by the conversion when an existing file is measured.
        fs::path raw = givenRaw;
        if (raw.empty()) {
            raw = folder / ("bench_" + std::to_string(lines) + "_Raw.csv");
            GenerateRaw(raw, lines);
        }
        if (!givenRaw.empty()) {
            lines = CountLines(raw);
        }
        if (summaryOnly) {
            const fs::path full = folder / "bench_Full.csv";
            if (ConvertFile(model, raw, full, spring.valid, true) != ConvertSuccess) {
                return 1;
            }
            std::printf("\n%ld lines\n", lines);
            MeasureSummary(model, spring, raw, full, folder, lines);
            fs::remove(full);
            if (!keep) {
                fs::remove(raw);
            }
            continue;
        }
        const double megabytes = static_cast<double>(fs::file_size(raw)) / 1e6;
        const double cat = CatSeconds(raw);
        std::printf("\n%ld lines, %.1f MB input; cat > /dev/null: %.4f s (%.0f MB/s)\n", lines,
                    megabytes, cat, cat > 0 ? megabytes / cat : 0.0);
        std::printf("  %-5s %-9s %8s %8s %11s %7s %7s %7s %9s %6s\n", "pass", "output", "wall s",
                    "MB/s", "lines/s", "user s", "sys s", "cpu s", "MB/cpu-s", "x cat");
        for (bool full : {false, true}) {
            for (bool toFile : {true, false}) {
                const fs::path out =
                    toFile ? folder / (full ? "bench_Full.csv" : "bench.csv") : NullTarget(folder);
                // Earlier runs' dirty pages would otherwise be written back at this run's cost.
                ::sync();
                int result = 0;
                Usage usage =
                    Measure([&] { result = ConvertFile(model, raw, out, spring.valid, full); });
                if (result != ConvertSuccess) {
                    std::fprintf(stderr, "conversion failed: %d\n", result);
                    return 1;
                }
                std::printf("  %-5s %-9s %8.3f %8.1f %11.0f %7.3f %7.3f %7.3f %9.1f %6.1f\n",
                            full ? "full" : "short", toFile ? "file" : "/dev/null", usage.wall,
                            megabytes / usage.wall, lines / usage.wall, usage.user, usage.system,
                            usage.Cpu(), megabytes / usage.Cpu(), cat > 0 ? usage.wall / cat : 0.0);
                if (toFile && full) {
                    MeasureSummary(model, spring, raw, out, folder, lines);
                }
                if (toFile) {
                    const uintmax_t bytes = fs::file_size(out);
                    fs::remove(out);
                    ::sync();
                    const Usage write = WriteOnly(folder, bytes);
                    std::printf("        output %.1f MB; writing that much alone to a new file: "
                                "%.3f s wall, %.3f s cpu (%.3f sys)\n",
                                static_cast<double>(bytes) / 1e6, write.wall, write.Cpu(),
                                write.system);
                } else {
                    fs::remove(out);
                }
            }
        }
        const double peak = PeakResidentMB();
        std::printf("  peak resident memory so far: %.1f MB", peak);
        if (previousPeak > 0.0) {
            std::printf(" (%+.1f MB over the previous size)", peak - previousPeak);
        }
        std::printf("\n");
        previousPeak = peak;
        if (!keep) {
            fs::remove(raw);
        }
    }
    if (!keep || !givenRaw.empty()) {
        std::error_code error;
        fs::remove(folder / "bench.csv", error);
        fs::remove(folder / "bench_Full.csv", error);
        fs::remove(folder, error); // only when empty
    }
    return 0;
}
