// talvir-record's resident memory over a long recording at the shortest period: one recording per
// streamed kind (.tlr, .vcd, .csv, .txt) at once, each from its own talvir-devsim at 230400 baud
// (which carries every byte), the resident set read from /proc at minute 1 and shortly before the end.
// The files go to a temporary folder beside the working folder (they take about 1.7 GB a minute
// together) and are removed at the end.
//
//   bench_record_memory [MINUTES]    (default 10; build it optimised)

#include "support/child_process.h"
#include "support/simulator_process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

long ResidentKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

struct TRun {
    std::string Kind;
    std::unique_ptr<devsim_test::SimulatorProcess> Simulator;
    std::unique_ptr<test_support::TChildProcess> Recorder;
    long AtMinuteOne = 0, AtEnd = 0;
};

} // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::atoi(argv[1]) : 10;
    if (minutes < 2) {
        std::fprintf(stderr, "usage: bench_record_memory [MINUTES], at least 2\n");
        return 2;
    }
    const std::filesystem::path folder =
        std::filesystem::current_path() / ("bench-record-memory-" + std::to_string(getpid()));
    std::filesystem::create_directory(folder);
    std::vector<TRun> runs;
    for (const std::string kind : {"tlr", "vcd", "csv", "txt"}) {
        TRun run{kind, std::make_unique<devsim_test::SimulatorProcess>(
                           std::vector<std::string>{"--source", "prbs:11"}),
                 nullptr};
        run.Recorder = std::make_unique<test_support::TChildProcess>(
            std::vector<std::string>{TALVIR_RECORD_PROGRAM, "--port", run.Simulator->SlavePath(),
                                     "--baud", "230400", "--seconds",
                                     std::to_string(minutes * 60), "--out",
                                     (folder / ("long." + kind)).string()},
            (folder / (kind + ".err")).string());
        runs.push_back(std::move(run));
    }
    std::this_thread::sleep_for(std::chrono::minutes(1));
    for (TRun& run : runs)
        run.AtMinuteOne = ResidentKb(run.Recorder->Pid());
    std::this_thread::sleep_for(std::chrono::minutes(minutes - 1) - std::chrono::seconds(10));
    for (TRun& run : runs)
        run.AtEnd = ResidentKb(run.Recorder->Pid());
    std::printf("talvir-record --seconds %d at the shortest period, resident set in kB\n",
                minutes * 60);
    std::printf("kind  minute 1  minute %d-  growth  status  file bytes\n", minutes);
    for (TRun& run : runs) {
        const std::optional<int> status = run.Recorder->Wait(std::chrono::minutes(1));
        const std::filesystem::path file = folder / ("long." + run.Kind);
        std::error_code error;
        const auto size = std::filesystem::file_size(file, error);
        std::printf("%-4s  %8ld  %9ld  %6ld  %6d  %llu\n", run.Kind.c_str(), run.AtMinuteOne,
                    run.AtEnd, run.AtEnd - run.AtMinuteOne, status.value_or(-1),
                    error ? 0ULL : static_cast<unsigned long long>(size));
    }
    std::filesystem::remove_all(folder);
    return 0;
}
