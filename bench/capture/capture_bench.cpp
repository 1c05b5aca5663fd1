// The recording file's hot paths: writing the device's bytes in one-second blocks (the shortest
// period gives 12.8 kB a second), reading them back whole, and the block summary alone. Bytes per
// second are the device's bytes; build optimised.
//
//   bench_capture [--benchmark_filter=...]   (writes its file under /tmp)

#include "capture/reader.h"
#include "capture/summary.h"
#include "capture/writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kSecondBytes = 12'800;
constexpr std::size_t kFileBytes = 64 * 1024 * 1024;

// A line with an edge every `run` samples on average: 1 changes at every sample (the busiest
// line), 8 about once a byte, 1000 is a slow signal.
std::vector<std::uint8_t> Line(std::size_t size, int run) {
    std::mt19937 random(1);
    std::vector<std::uint8_t> bytes(size);
    int level = 0;
    for (std::uint8_t& byte : bytes)
        for (int k = 7; k >= 0; --k) {
            if (random() % static_cast<unsigned>(run) == 0)
                level ^= 1;
            byte = static_cast<std::uint8_t>(byte | level << k);
        }
    return bytes;
}

std::string FilePath() {
    return "/tmp/bench_capture_" + std::to_string(::getpid()) + ".tlr";
}

void Write(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    capture::TRecordingWriter writer(path, capture::THeader{});
    for (std::size_t at = 0; at < bytes.size(); at += kSecondBytes) {
        writer.Append(bytes.data() + at, std::min(kSecondBytes, bytes.size() - at));
        writer.EndBlock();
    }
    writer.Close();
}

void BM_Write(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Line(kFileBytes, static_cast<int>(state.range(0)));
    const std::string path = FilePath();
    for (auto _ : state)
        Write(path, bytes);
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_ReadAll(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Line(kFileBytes, static_cast<int>(state.range(0)));
    const std::string path = FilePath();
    Write(path, bytes);
    for (auto _ : state) {
        const capture::TRecordingReader reader(path);
        benchmark::DoNotOptimize(reader.ReadBytes(0, bytes.size()));
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_OpenByIndex(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Line(kFileBytes, 1000);
    const std::string path = FilePath();
    Write(path, bytes);
    for (auto _ : state) {
        const capture::TRecordingReader reader(path, capture::TRecordingReader::TCheck::Index);
        benchmark::DoNotOptimize(reader.TotalSamples());
    }
    std::remove(path.c_str());
}

void BM_Summary(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = Line(kSecondBytes, static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(capture::Summarise(bytes.data(), bytes.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

} // namespace

BENCHMARK(BM_Write)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAll)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenByIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Summary)->Arg(1)->Arg(8)->Arg(1000);
BENCHMARK_MAIN();
