// A sweep of 500,001 samples of dense UART text (25600 baud, no idle but a frame's time between
// repetitions, at the shortest sample period) decoded by uart, three ways side by side:
//   Pipeline     our client: the samples sent to a running host, the annotations read back;
//   HostAlone    the host reading the same request from a file, its answers thrown away,
//                from its start to its end;
//   HostStartup  the host starting and ending with no request, to subtract from HostAlone.
// HostAlone - HostStartup is the host's own time (unpacking the bits and the library decoding);
// Pipeline less that is what the client's feeding and reading cost. Build optimised.
//
//   bench_decode [--benchmark_filter=...]   (writes its request file under /tmp)

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
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

void Pipeline(benchmark::State& state) {
    const auto sweep = Sweep();
    decode::THostProcess host(TALVIR_DECODE_PROGRAM, std::chrono::seconds(60));
    host.ListDecoders(); // started before the clock runs
    std::size_t annotations = 0;
    for (auto _ : state)
        annotations = host.Decode(kStack, decode::SampleRateHz(16), sweep, kSamples).size();
    state.counters["annotations"] = static_cast<double>(annotations);
}
BENCHMARK(Pipeline)->Unit(benchmark::kMillisecond)->UseRealTime();

// Runs the host with `input` as its standard input and its output thrown away.
void RunHost(const std::string& input) {
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(open(input.c_str(), O_RDONLY), STDIN_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execl(TALVIR_DECODE_PROGRAM, TALVIR_DECODE_PROGRAM, static_cast<char*>(nullptr));
        _exit(127);
    }
    waitpid(pid, nullptr, 0);
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
    for (auto _ : state)
        RunHost(path);
    std::remove(path.c_str());
}
BENCHMARK_CAPTURE(RunHostOn, HostAlone, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(RunHostOn, HostStartup, false)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
