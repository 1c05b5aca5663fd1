// What a kill -9 of talvir-record costs a .tlr: the recorder records the simulator's PRBS at the
// shortest period, is killed after a few seconds, and the file is opened as a crashed one is (by
// scanning). The loss is the time from the first sample (the header's start) to the kill, less
// the samples in the file; the samples are checked against the PRBS too.
//
//   bench_record_kill [ROUNDS]    (default 10; build it optimised)

#include "capture/reader.h"
#include "support/child_process.h"
#include "support/recording_support.h"
#include "support/simulator_process.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: bench_record_kill [ROUNDS], at least 1\n");
        return 2;
    }
    const std::filesystem::path folder =
        std::filesystem::current_path() / ("bench-record-kill-" + std::to_string(getpid()));
    std::filesystem::create_directory(folder);
    const std::string path = (folder / "killed.tlr").string();
    std::mt19937 random(3);
    double worst = 0;
    std::printf("round  ran s  in file s  lost s  PRBS errors  used index\n");
    for (int round = 1; round <= rounds; ++round) {
        devsim_test::SimulatorProcess simulator({"--source", "prbs:9"});
        test_support::TChildProcess recorder({TALVIR_RECORD_PROGRAM, "--port",
                                              simulator.SlavePath(), "--baud", "230400",
                                              "--seconds", "0", "--out", path},
                                             (folder / "err.txt").string());
        const auto ran = std::chrono::milliseconds(3000 + random() % 5000);
        std::this_thread::sleep_for(ran);
        recorder.Signal(SIGKILL);
        const auto killed = std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
        recorder.Wait(std::chrono::seconds(5));
        const capture::TRecordingReader reader(path);
        const double inFile =
            static_cast<double>(reader.TotalSamples()) * reader.Header().SamplePeriodSeconds();
        const double lost = static_cast<double>(killed - reader.Header().StartMicroseconds) / 1e6 -
                            inFile;
        const std::vector<std::uint8_t> levels =
            reader.ReadLevels(0, static_cast<std::size_t>(reader.TotalSamples()));
        recording_test::TPrbs prbs(9);
        std::size_t wrong = 0;
        for (std::size_t j = 0; j < levels.size(); ++j)
            wrong += levels[j] != prbs[j];
        worst = std::max(worst, lost);
        std::printf("%5d  %5.2f  %9.3f  %6.3f  %11zu  %s\n", round,
                    std::chrono::duration<double>(ran).count(), inFile, lost, wrong,
                    reader.UsedIndex() ? "yes" : "no");
    }
    std::printf("most lost: %.3f s\n", worst);
    std::filesystem::remove_all(folder);
    return 0;
}
