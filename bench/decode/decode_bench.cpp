// A sweep of 500,001 samples of dense UART text (25600 baud, no idle but a frame's time between
// repetitions, at the shortest sample period) decoded by uart, side by side:
//   Pipeline/Bits our client: the samples sent to a running host, the annotations read back;
//   Pipeline/Runs the same with the sweep sent as the lengths of its runs;
//   HostAlone    the host reading the same request from a file, its answers thrown away,
//                from its start to its end;
//   HostStartup  the host starting and ending with no request, to subtract from HostAlone.
// HostAlone - HostStartup is the host's own time (unpacking the bits and the library decoding);
// Pipeline less that is what the client's feeding and reading cost. Build optimised.
// The counter host_cpu is the host's CPU time (user and system) an iteration; CPU is the
// client's. On a busy machine the real times wander with the other loads, the CPU times less.
//
//   bench_decode [--benchmark_filter=...]   (writes its request file under /tmp)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "decode/client.h"
#include "decode/protocol.h"
#include "devsim/options.h"
#include "devsim/sources.h"

namespace {

constexpr std::uint64_t kSamples = 500'001;
const std::vector<decode::TStackedDecoder> kStack{{"uart", {{"baudrate", "25600"}}}};

std::vector<std::uint8_t> Sweep() {
    const devsim::SignalFactory factory(devsim::ParseSource(
        "uart:25600:The quick brown fox jumps over the lazy dog 0123456789\\r\\n"));
    const auto source = factory.Start(devsim::Command{false, 16});
    std::vector<std::uint8_t> bytes((kSamples + 7) / 8);
    for (auto& byte : bytes)
        byte = source->NextByte();
    return bytes;
}

// The lengths of the sweep's runs, the first at the first sample's level.
std::vector<std::uint64_t> Runs(const std::vector<std::uint8_t>& sweep) {
    std::vector<std::uint64_t> lengths;
    int level = -1;
    for (std::uint64_t k = 0; k < kSamples; ++k) {
        const int now = (sweep[k / 8] >> (7 - k % 8)) & 1;
        if (now != level)
            lengths.push_back(0);
        ++lengths.back();
        level = now;
    }
    return lengths;
}

// The CPU time so far, user and system, of our only child: the host the client started.
double ChildCpuMs() {
    std::ifstream children("/proc/self/task/" + std::to_string(::getpid()) + "/children");
    pid_t pid = 0;
    children >> pid;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    // The fields after the program's name, which is in parentheses and may hold spaces; user
    // and system time are the 12th and 13th of them, in clock ticks.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skipped;
    for (int i = 0; i < 11; ++i)
        fields >> skipped;
    double user = 0;
    double system = 0;
    fields >> user >> system;
    return (user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void Pipeline(benchmark::State& state, bool asRuns) {
    const auto sweep = Sweep();
    const auto lengths = Runs(sweep);
    decode::THostProcess host(TALVIR_DECODE_PROGRAM, std::chrono::seconds(60));
    host.ListDecoders(); // started before the clock runs
    const double hostCpuBefore = ChildCpuMs();
    std::size_t annotations = 0;
    for (auto _ : state)
        annotations = (asRuns ? host.DecodeRuns(kStack, decode::SampleRateHz(16),
                                                (sweep[0] & 0x80) != 0, lengths)
                              : host.Decode(kStack, decode::SampleRateHz(16), sweep, kSamples))
                          .size();
    state.counters["annotations"] = static_cast<double>(annotations);
    state.counters["host_cpu"] =
        benchmark::Counter(ChildCpuMs() - hostCpuBefore, benchmark::Counter::kAvgIterations);
}
BENCHMARK_CAPTURE(Pipeline, Bits, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(Pipeline, Runs, true)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs the host with `input` as its standard input and its output thrown away; returns its CPU
// time in ms.
double RunHost(const std::string& input) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open(input.c_str(), O_RDONLY), STDIN_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execl(TALVIR_DECODE_PROGRAM, TALVIR_DECODE_PROGRAM, static_cast<char*>(nullptr));
        _exit(127);
    }
    rusage usage{};
    wait4(pid, nullptr, 0, &usage);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

std::string RequestFile(bool withSweep) {
    const std::string path = "/tmp/bench_decode_" + std::to_string(::getpid()) +
                             (withSweep ? ".in" : ".empty");
    std::ofstream file(path, std::ios::binary);
    if (withSweep) {
        const auto sweep = Sweep();
        file << decode::JoinFields({"stack", "uart", "baudrate=25600"})
             << decode::JoinFields({"samplerate", std::to_string(decode::SampleRateHz(16))})
             << decode::JoinFields({"bits", std::to_string(kSamples)});
        file.write(reinterpret_cast<const char*>(sweep.data()),
                   static_cast<std::streamsize>(sweep.size()));
        file << "end\n";
    }
    return path;
}

// The host from its start to its end: with the sweep's request (HostAlone), or with none
// (HostStartup).
void RunHostOn(benchmark::State& state, bool withSweep) {
    const std::string path = RequestFile(withSweep);
    double cpuMs = 0;
    for (auto _ : state)
        cpuMs += RunHost(path);
    state.counters["host_cpu"] = benchmark::Counter(cpuMs, benchmark::Counter::kAvgIterations);
    std::remove(path.c_str());
}
BENCHMARK_CAPTURE(RunHostOn, HostAlone, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunHostOn, HostStartup, false)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
