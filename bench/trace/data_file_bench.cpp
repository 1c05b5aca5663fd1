// Save and load of a 500,000-point data file, each as the window does it, beside the plain C
// library loop that writes the same lines. Prints one "name seconds" line per measurement, the
// best of several runs; bench_files.py runs it beside pandas and numpy on the same files.
//
//   bench_data_file FOLDER      (writes its files there; build it optimised)

#include "chart/chart.h"
#include "files/file_io.h"
#include "trace/data_file.h"
#include "trace/vcd.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

double BestSeconds(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        best = std::min(
            best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void Report(const char* name, double seconds) {
    std::printf("%s %.6f\n", name, seconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_data_file FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    const std::string folder = argv[1];
    constexpr std::size_t n = trace::DataFilePointLimit;
    std::vector<double> times(n), levels(n);
    std::mt19937 rng(1);
    for (std::size_t i = 0; i < n; ++i) {
        // A recording at the shortest sample period, as the spin edit holds it.
        times[i] = static_cast<double>(i) * 0.0097656;
        levels[i] = rng() & 1;
    }

    const std::string sorted = folder + "/sorted.txt";
    Report("save", BestSeconds([&] {
               files::ReplaceFileContent(sorted, trace::FormatDataFile(times, levels, '.'));
           }));
    Report("save_snprintf", BestSeconds([&] {
               std::FILE* file = std::fopen((folder + "/snprintf.txt").c_str(), "wb");
               char line[64];
               for (std::size_t i = 0; i < n; ++i) {
                   const int length =
                       std::snprintf(line, sizeof line, "%.15g %.15g\r\n", times[i], levels[i]);
                   std::fwrite(line, 1, static_cast<std::size_t>(length), file);
               }
               std::fclose(file);
           }));

    std::vector<double> reversedTimes(times.rbegin(), times.rend());
    std::vector<double> reversedLevels(levels.rbegin(), levels.rend());
    const std::string reversed = folder + "/reversed.txt";
    files::ReplaceFileContent(reversed, trace::FormatDataFile(reversedTimes, reversedLevels, '.'));

    // Out of order everywhere: the general sort, not the turn of a file written newest first.
    std::vector<std::size_t> shuffle(n);
    for (std::size_t i = 0; i < n; ++i)
        shuffle[i] = i;
    std::shuffle(shuffle.begin(), shuffle.end(), rng);
    std::vector<double> shuffledTimes(n), shuffledLevels(n);
    for (std::size_t i = 0; i < n; ++i) {
        shuffledTimes[i] = times[shuffle[i]];
        shuffledLevels[i] = levels[shuffle[i]];
    }
    const std::string shuffled = folder + "/shuffled.txt";
    files::ReplaceFileContent(shuffled, trace::FormatDataFile(shuffledTimes, shuffledLevels, '.'));

    chart::TChart chart;
    auto* series = new chart::TFastLineSeries(&chart);
    const auto load = [&](const std::string& path) {
        return BestSeconds([&] {
            trace::TDataFileContents points = trace::ReadDataFile(path);
            trace::SortByTime(points.Times, points.Levels);
            series->ClearPoints();
            series->AddPoints(points.Times, points.Levels);
        });
    };
    Report("load", load(sorted));
    Report("load_reversed", load(reversed));
    Report("load_shuffled", load(shuffled));

    // A level change at every sample: the most a VCD can hold for a trace of this length.
    std::vector<double> toggleTimes(n + 1), toggleLevels(n + 1);
    for (std::size_t i = 0; i <= n; ++i) {
        toggleTimes[i] = static_cast<double>(i) * 0.009765625;
        toggleLevels[i] = static_cast<double>(i % 2);
    }
    const std::string vcd = folder + "/toggle.vcd";
    Report("vcd_export", BestSeconds([&] {
               files::ReplaceFileContent(
                   vcd, trace::FormatVcd(toggleTimes, toggleLevels,
                                         {"bench", "bench", 0.009765625, "bench", ""}));
           }));
    Report("vcd_import", BestSeconds([&] {
               const files::TFileContent file(vcd);
               const trace::TVcdHeaderRead header = trace::ReadVcdVariables(file.View());
               const trace::TVcdSignalRead read = trace::ReadVcdSignal(
                   file.View(), header.Variables.front().Code, trace::DataFilePointLimit);
               const trace::TVcdTrace points =
                   trace::VcdToTrace(read.Signal, trace::DataFilePointLimit);
               series->ClearPoints();
               series->AddPoints(points.Times, points.Levels);
           }));
    return series->Count() == static_cast<int>(n) ? 0 : 1;
}
