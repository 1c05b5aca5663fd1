// Building the port list: PortPresent for COM1 to COM50, as the port dialog's list builder and the
// "Select Port" prompt do. Every number leads to a missing device, to a free pseudo-terminal, or
// to one another program holds; "Default" is this machine without a ports.ini (/dev/ttySn).

#include "support/pty_pair.h"

#include "serial/port_map.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include <sys/file.h>

using namespace serial;
using namespace serial::test;

namespace {

enum TWorld { wMissing, wFree, wHeld, wDefault };

void BM_PresentPorts(benchmark::State& State) {
    const auto World = static_cast<TWorld>(State.range(0));
    TPortsIni Ini;
    std::vector<std::unique_ptr<TPty>> Lines;
    for (uint16_t N = 1; N <= MaxComNumber && World != wDefault; ++N) {
        if (World == wMissing) {
            Ini.Map(N, "/nonexistent/talvir-tty" + std::to_string(N));
            continue;
        }
        Lines.push_back(std::make_unique<TPty>());
        Ini.Map(N, Lines.back()->SlavePath());
        // Held as the port holds a device it opened: a lock on its own descriptor.
        if (World == wHeld)
            ::flock(Lines.back()->Slave(), LOCK_EX | LOCK_NB);
    }
    std::size_t Present = 0;
    for (auto _ : State)
        Present = PresentPorts().size();
    State.counters["present"] = static_cast<double>(Present);
}

} // namespace

BENCHMARK(BM_PresentPorts)
    ->ArgName("world")
    ->Arg(wMissing)
    ->Arg(wFree)
    ->Arg(wHeld)
    ->Arg(wDefault)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
