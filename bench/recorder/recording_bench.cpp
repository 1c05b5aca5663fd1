// Received bytes into Series1's levels through the window's own data handler: a recording started
// by the switch on a memory line, which then streams. The handler's time is measured alone (every
// ReadChar included); the port's threads and the event delivery around it are not. Two more runs
// put other handlers in its place: ReadChar alone, for the read's own share, and ReadChar with the
// sweep's decoding into a plain list, for what the series itself adds.

#include "acquisition/sweep.h"
#include "controls/spin_edit.h"
#include "controls/switch.h"
#include "measure/pulse_statistics.h"
#include "recorder/main_form.h"
#include "support/memory_device.h"

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t ChunkBytes = 1 << 20;

// A window recording a periodic sweep of 102401 points from a memory line that answered the
// prompt and echoed the command.
struct TRecording {
    recorder::TMainForm Form;
    std::shared_ptr<test_support::TMemoryDevice> Line =
        std::make_shared<test_support::TMemoryDevice>();

    explicit TRecording(int trigger = 0) {
        Form.findChild<QComboBox*>(QStringLiteral("cmbTrigger"))->setCurrentIndex(trigger);
        Form.Port().SetDeviceFactory([line = Line] { return line; });
        Form.findChild<controls::TSpinEdit*>(QStringLiteral("spedDeflectTime"))->SetValue(1.0L);
        std::atomic<bool> started = false;
        std::thread device([&] {
            std::size_t answered = 0;
            while (!started) {
                const std::size_t written = Line->Written().size();
                if (answered == 0 && written == 1) {
                    Line->Feed({'\r', '\n', '>'});
                    answered = 1;
                } else if (answered == 1 && written == 7) {
                    Line->Feed({'R', 'P', ' ', '1', '0', '\r'});
                    answered = 2;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        auto* start = Form.findChild<controls::TSwitch*>(QStringLiteral("swchStart"));
        start->SetStateOn(true);
        start->OnClick(start);
        started = true;
        device.join();
        if (!Form.Port().OnTriggerAvail)
            throw std::runtime_error("the recording did not start");
    }

    // Streams `bytes` through the handler in place and returns the time spent inside it.
    Clock::duration Stream(std::size_t bytes) {
        auto& port = Form.Port();
        const auto handler = port.OnTriggerAvail;
        Clock::duration inside{};
        std::size_t taken = 0;
        port.OnTriggerAvail = [&](serial::TSerialPort* cp, std::uint16_t count) {
            const auto begin = Clock::now();
            handler(cp, count);
            inside += Clock::now() - begin;
            taken += count;
        };
        std::vector<std::uint8_t> chunk(bytes);
        for (std::size_t i = 0; i < bytes; ++i)
            chunk[i] = static_cast<std::uint8_t>(i * 7919u >> 3);
        Line->Feed(chunk);
        while (taken < bytes)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        port.OnTriggerAvail = handler;
        return inside;
    }
};

void Report(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// The argument is the trigger: 0 free-running, 1 rising edge, 2 falling edge.
void BM_PeriodicHandler(benchmark::State& state) {
    TRecording recording(static_cast<int>(state.range(0)));
    for (auto _ : state)
        state.SetIterationTime(std::chrono::duration<double>(recording.Stream(ChunkBytes)).count());
    Report(state, ChunkBytes);
}
BENCHMARK(BM_PeriodicHandler)->DenseRange(0, 2)->UseManualTime()->Unit(benchmark::kMillisecond);

// ReadChar alone: the port's share of a byte.
void BM_ReadCharOnly(benchmark::State& state) {
    TRecording recording;
    auto& port = recording.Form.Port();
    port.OnTriggerAvail = [](serial::TSerialPort* cp, std::uint16_t count) {
        std::uint8_t sum = 0;
        for (std::uint16_t i = 0; i < count; ++i)
            sum = static_cast<std::uint8_t>(sum + cp->ReadChar());
        benchmark::DoNotOptimize(sum);
    };
    for (auto _ : state)
        state.SetIterationTime(std::chrono::duration<double>(recording.Stream(ChunkBytes)).count());
    Report(state, ChunkBytes);
}
BENCHMARK(BM_ReadCharOnly)->UseManualTime()->Unit(benchmark::kMillisecond);

// ReadChar and the sweep's decoding into a plain level list: what the handler would cost if the
// series' levels could be written as one span instead of through WriteValue point by point.
void BM_ReadCharAndDecodeIntoSpan(benchmark::State& state) {
    TRecording recording;
    constexpr std::int32_t points = 102401;
    std::vector<double> levels(points);
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, points);
    recording.Form.Port().OnTriggerAvail = [&](serial::TSerialPort* cp, std::uint16_t count) {
        for (std::uint16_t i = 0; i < count; ++i)
            sweep.Feed(cp->ReadChar(), levels);
    };
    for (auto _ : state)
        state.SetIterationTime(std::chrono::duration<double>(recording.Stream(ChunkBytes)).count());
    Report(state, ChunkBytes);
}
BENCHMARK(BM_ReadCharAndDecodeIntoSpan)->UseManualTime()->Unit(benchmark::kMillisecond);

// The sweep's decoding alone, per trigger (first argument). The second argument is the signal:
// 0 the bytes the handler benchmarks stream, with edges in nearly every byte, so that a triggered
// sweep finds its edge at once and writes nearly all the time; 1 a square of one and a half sweep
// lengths a period, so that a triggered sweep spends a third of its bytes waiting for the edge,
// where a byte without one costs a table look-up.
void BM_Decode(benchmark::State& state) {
    constexpr std::int32_t points = 102401;
    std::vector<double> levels(points);
    std::vector<std::uint8_t> bytes(ChunkBytes);
    constexpr std::size_t squareBytes = points * 3 / 2 / 8;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = state.range(1) == 0                 ? static_cast<std::uint8_t>(i * 7919u >> 3)
                   : i % squareBytes < squareBytes / 2 ? 0xFF
                                                       : 0x00;
    acquisition::TSweep sweep;
    sweep.Start(acquisition::TSweep::smPeriodic, points,
                static_cast<acquisition::TSweep::TTrigger>(state.range(0)));
    for (auto _ : state)
        for (std::uint8_t b : bytes)
            benchmark::DoNotOptimize(sweep.Feed(b, levels));
    Report(state, ChunkBytes);
}
BENCHMARK(BM_Decode)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->ArgNames({"trigger", "signal"})
    ->Unit(benchmark::kMillisecond);

// The pulse figures of the longest trace: a 1 kHz square at 25 % sampled every 0.01 ms.
void BM_PulseStatistics(benchmark::State& state) {
    constexpr std::size_t points = 500001;
    std::vector<double> times(points), levels(points);
    for (std::size_t i = 0; i < points; ++i) {
        times[i] = static_cast<double>(i) * 0.01;
        levels[i] = i % 100 < 25 ? 1.0 : 0.0;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(measure::PulseStatistics(times, levels, 0, points));
}
BENCHMARK(BM_PulseStatistics)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window keeps its settings in a folder of the run's own, not the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
