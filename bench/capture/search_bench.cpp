// Finding the one odd pulse in an hour and in a day at the shortest period, beside reading every
// block for it (what a search without the summaries does), with the page cache dropped for the
// file (cold-ish: POSIX_FADV_DONTNEED, no root needed) and with it warm; and the pulse statistics
// of the whole hour. The recordings are the simulator's glitch source, one 30 us pulse in each,
// made once (a minute or two for the day) and kept in the folder given, /tmp/talvir-search-bench
// by default. Build optimised.
//
//   bench_capture_search [FOLDER]

#include "capture/reader.h"
#include "capture/search.h"
#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"
#include "measure/recording_statistics.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using capture::TFoundPulse;
using capture::TRecordingReader;

// The recording of `seconds` of glitch:PERIOD:30 with its one pulse, made when missing.
std::string Recording(const std::string& folder, const std::string& name, unsigned seconds) {
    const std::string path = folder + "/" + name + ".tlr";
    if (std::filesystem::exists(path))
        return path;
    std::printf("making %s (%u s of samples)...\n", path.c_str(), seconds);
    std::fflush(stdout);
    const devsim::SignalFactory signals(
        devsim::ParseSource("glitch:" + std::to_string(seconds * 1000ull) + ":30"));
    const std::string part = path + ".part";
    devsim::MakeRecording(signals, devsim::OfflineRecording{part, 16, double(seconds)}, 0,
                          "bench_capture_search");
    std::filesystem::rename(part, path);
    return path;
}

void DropCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

double Milliseconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The median of `runs` timings, the file's cache dropped before each when cold.
double Median(const std::string& path, bool cold, int runs, const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (cold)
            DropCache(path);
        times.push_back(Milliseconds(run));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The brute-force scan: every block read and every pair of edges looked at.
std::optional<TFoundPulse> ReadEveryBlock(const TRecordingReader& reader,
                                          const capture::TSearchCriteria& criteria) {
    std::optional<TFoundPulse> found;
    std::optional<capture::TRecordedEdge> last;
    capture::ForEachRecordedEdge(reader, [&](const capture::TEdgeBatch& batch) {
        if (batch.AfterHole)
            last.reset();
        for (const capture::TRecordedEdge& edge : batch.Edges) {
            if (last && !found &&
                capture::PulseMatches(criteria.Level, criteria.Limit,
                                      static_cast<double>(criteria.Width), last->Level != 0,
                                      static_cast<double>(edge.Sample - last->Sample)))
                found = TFoundPulse{last->Sample, edge.Sample - last->Sample, last->Level != 0};
            last = edge;
        }
    });
    return found;
}

std::string Text(const std::optional<TFoundPulse>& pulse) {
    if (!pulse)
        return "none";
    return "sample " + std::to_string(pulse->First) + " +" + std::to_string(pulse->Width);
}

void Row(const std::string& path, const char* what, int runs, const std::function<void()>& run) {
    const double cold = Median(path, true, runs, run);
    const double warm = Median(path, false, runs, run);
    std::printf("  %-44s %10.2f ms cold %10.2f ms warm\n", what, cold, warm);
}

void Bench(const std::string& path, int runs) {
    const std::uintmax_t size = std::filesystem::file_size(path);
    std::printf("%s: %.1f MB\n", path.c_str(), static_cast<double>(size) / 1e6);
    Row(path, "open (index believed)", runs,
        [&] { TRecordingReader reader(path, TRecordingReader::TCheck::Index); });
    const TRecordingReader reader(path, TRecordingReader::TCheck::Index);
    // 40 us at the shortest period is 4.1 samples: shorter than 4 finds the 3-sample glitch and
    // nothing of the 1 kHz square wave around it.
    const capture::TSearchCriteria glitch{capture::TPulseLevel::High,
                                          capture::TWidthLimit::Shorter, 4};
    const auto first = capture::NextPulse(reader, 0, glitch);
    const auto fromEnd = capture::PreviousPulse(reader, reader.TotalSamples(), glitch);
    const auto brute = ReadEveryBlock(reader, glitch);
    std::printf("  found: next from the start %s; previous from the end %s; every block %s\n",
                Text(first).c_str(), Text(fromEnd).c_str(), Text(brute).c_str());
    Row(path, "next pulse from the start", runs,
        [&] { capture::NextPulse(reader, 0, glitch); });
    Row(path, "previous pulse from the end (every summary)", runs,
        [&] { capture::PreviousPulse(reader, reader.TotalSamples(), glitch); });
    Row(path, "next pulse after it: none (every summary)", runs,
        [&] { capture::NextPulse(reader, first ? first->First : 0, glitch); });
    Row(path, "next edge from the middle", runs,
        [&] { capture::NextEdge(reader, reader.TotalSamples() / 2); });
    Row(path, "brute force: read every block", std::max(1, runs / 3),
        [&] { ReadEveryBlock(reader, glitch); });
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp/talvir-search-bench";
    std::filesystem::create_directories(folder);
    const std::string hour = Recording(folder, "hour", 3600);
    const std::string day = Recording(folder, "day", 86400);
    Bench(hour, 9);
    const TRecordingReader reader(hour, TRecordingReader::TCheck::Index);
    std::optional<measure::TPulseStatistics> statistics;
    Row(hour, "pulse statistics of the whole hour", 3,
        [&] { statistics = measure::RecordingPulseStatistics(reader); });
    std::printf("  %zu rising edges, mean period %.6f ms, high %.6f .. %.6f ms\n",
                statistics->RisingEdges, *statistics->Period.Mean(), statistics->High.Min,
                statistics->High.Max);
    Bench(day, 3);
    return 0;
}
