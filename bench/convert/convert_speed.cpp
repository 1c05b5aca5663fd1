// talvir-convert over a long recording at the shortest period: a file of random bytes (every other
// sample an edge, the worst case for a VCD) written through the recording writer, then converted to
// each kind by the program itself; each conversion's time, speed, output size and peak resident
// set. The files go to a temporary folder beside the working folder and are removed at the end.
//
//   bench_convert_speed [SECONDS]    (default 3600, an hour; build it optimised)

#include "capture/writer.h"
#include "support/child_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// The shortest period's divider: 102,400 samples a second.
constexpr std::uint32_t Divider = 16;
constexpr std::uint64_t SamplesPerSecond = 102400;

struct TResult {
    double Seconds = 0;
    long PeakKb = 0;
    std::optional<int> Status;
};

TResult Convert(const std::string& in, const std::string& out, const std::string& errPath) {
    const auto start = std::chrono::steady_clock::now();
    test_support::TChildProcess convert({TALVIR_CONVERT_PROGRAM, in, out}, errPath);
    TResult result;
    result.Status = convert.Wait(std::chrono::hours(1));
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.PeakKb = convert.PeakResidentKb();
    return result;
}

} // namespace

int main(int argc, char** argv) {
    const long seconds = argc > 1 ? std::atol(argv[1]) : 3600;
    if (seconds < 1) {
        std::fprintf(stderr, "usage: bench_convert_speed [SECONDS], at least 1\n");
        return 2;
    }
    const std::filesystem::path folder =
        std::filesystem::current_path() / ("bench-convert-" + std::to_string(getpid()));
    std::filesystem::create_directory(folder);
    const std::string in = (folder / "long.tlr").string();
    {
        capture::THeader header;
        header.Divider = Divider;
        header.ProgramVersion = "bench_convert_speed";
        capture::TRecordingWriter writer(in, header);
        std::mt19937_64 random(11);
        std::vector<std::uint8_t> second(SamplesPerSecond / 8);
        for (long s = 0; s < seconds; ++s) {
            for (std::uint8_t& byte : second)
                byte = static_cast<std::uint8_t>(random());
            writer.Append(second.data(), second.size());
            writer.EndBlock();
        }
        writer.Close();
    }
    const double samples = static_cast<double>(seconds) * SamplesPerSecond;
    std::printf("talvir-convert of %ld s at the shortest period (%.0f samples, %ju bytes of .tlr)\n",
                seconds, samples, static_cast<std::uintmax_t>(std::filesystem::file_size(in)));
    std::printf("kind  seconds  Msamples/s  output bytes  peak kB  status\n");
    for (const char* kind : {"sr", "vcd", "csv", "txt"}) {
        const std::string out = (folder / (std::string("long.") + kind)).string();
        const TResult result = Convert(in, out, (folder / "err.txt").string());
        std::error_code error;
        const auto size = std::filesystem::file_size(out, error);
        std::printf("%-4s  %7.1f  %10.1f  %12ju  %7ld  %6d\n", kind, result.Seconds,
                    samples / result.Seconds / 1e6,
                    static_cast<std::uintmax_t>(error ? 0 : size), result.PeakKb,
                    result.Status.value_or(-1));
        std::filesystem::remove(out, error);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
