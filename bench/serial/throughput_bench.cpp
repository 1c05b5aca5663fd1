// Received-data throughput: a pseudo-terminal fed as fast as the kernel takes bytes, read once by a
// plain reader on its slave side and once through the port, its dispatcher and an avail handler
// that takes every byte. Both check a known sequence; "errors" counts lost or reordered bytes.

#include "support/pty_pair.h"

#include "serial/serial_port.h"

#include <benchmark/benchmark.h>

#include <poll.h>
#include <unistd.h>

#include <thread>

using namespace serial;
using namespace serial::test;

namespace {

constexpr std::size_t StreamBytes = 8 << 20;

uint8_t Expected(std::size_t Index) {
    return static_cast<uint8_t>(Index % 251); // a prime period shows any slip
}

// Feeds the master side with the sequence until Bytes are written.
std::thread Feed(TPty& Pty) {
    return std::thread([&Pty] {
        std::vector<char> Chunk(4096);
        for (std::size_t Done = 0; Done < StreamBytes;) {
            const std::size_t N = std::min(Chunk.size(), StreamBytes - Done);
            for (std::size_t I = 0; I < N; ++I)
                Chunk[I] = static_cast<char>(Expected(Done + I));
            Pty.Send(std::string(Chunk.data(), N));
            Done += N;
        }
    });
}

// MB/s of the plain reader, for the ratio the dispatcher run reports beside its own rate.
double PlainRate = 0;

double Seconds(std::chrono::steady_clock::time_point Start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void Report(benchmark::State& State, double TotalSeconds, std::size_t Errors) {
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations() * StreamBytes));
    State.counters["MB/s"] =
        static_cast<double>(State.iterations() * StreamBytes) / 1e6 / TotalSeconds;
    State.counters["errors"] = static_cast<double>(Errors);
}

void BM_PlainReader(benchmark::State& State) {
    std::size_t Errors = 0;
    double Total = 0;
    for (auto _ : State) {
        TPty Pty;
        const auto Start = std::chrono::steady_clock::now();
        std::thread Writer = Feed(Pty);
        std::vector<uint8_t> Buffer(8192);
        std::size_t Got = 0;
        while (Got < StreamBytes) {
            pollfd P{Pty.Slave(), POLLIN, 0};
            if (::poll(&P, 1, 1000) <= 0)
                break;
            const ssize_t N = ::read(Pty.Slave(), Buffer.data(), Buffer.size());
            for (ssize_t I = 0; I < N; ++I)
                Errors += Buffer[static_cast<std::size_t>(I)] !=
                          Expected(Got + static_cast<std::size_t>(I));
            Got += static_cast<std::size_t>(std::max<ssize_t>(N, 0));
        }
        Writer.join();
        Total += Seconds(Start);
        Errors += StreamBytes - Got;
    }
    Report(State, Total, Errors);
    PlainRate = State.counters["MB/s"];
}

void BM_Dispatcher(benchmark::State& State) {
    std::size_t Errors = 0;
    std::size_t Deliveries = 0;
    double Total = 0;
    TPortsIni Ini;
    for (auto _ : State) {
        TPty Pty;
        Ini.Map(7, Pty.SlavePath());
        TPlainMessageLoop Loop;
        TSerialPort Port(&Loop);
        Port.SetComNumber(7);
        Port.SetInSize(65535);
        std::size_t Got = 0;
        Port.OnTriggerAvail = [&](TSerialPort* CP, uint16_t Count) {
            ++Deliveries;
            for (uint16_t I = 0; I < Count; ++I)
                Errors += CP->ReadChar() != Expected(Got++);
        };
        Port.SetOpen(true);
        const auto Start = std::chrono::steady_clock::now();
        std::thread Writer = Feed(Pty);
        Loop.ProcessUntil([&] { return Got >= StreamBytes; }, std::chrono::seconds(60));
        Writer.join();
        Total += Seconds(Start);
        Errors += StreamBytes - std::min(Got, StreamBytes);
        Port.SetOpen(false);
    }
    Report(State, Total, Errors);
    State.counters["bytes_per_delivery"] =
        static_cast<double>(State.iterations() * StreamBytes) / static_cast<double>(Deliveries);
    if (PlainRate > 0)
        State.counters["ratio_to_plain"] = State.counters["MB/s"] / PlainRate;
}

} // namespace

BENCHMARK(BM_PlainReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Dispatcher)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_MAIN();
