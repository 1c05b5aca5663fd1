// Full repaint of the chart into its back buffer: the fast line series beside the literal
// reference renderer, on the recorder's kind of data (levels 0 and 1, one sample period apart).
// Then the window's repaints while the recorder asks for one per completed sweep, and the repaint
// with an annotation strip under the trace.
#include "chart/chart.h"
#include "reference/reference_line_series.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

enum class Signal { EverySample, Every10000, Random };

const char* SignalName(Signal s) {
    switch (s) {
    case Signal::EverySample:
        return "toggle_every_sample";
    case Signal::Every10000:
        return "toggle_every_10000";
    case Signal::Random:
        return "random";
    }
    return "";
}

double Level(Signal s, int i, std::mt19937& rng) {
    switch (s) {
    case Signal::EverySample:
        return i & 1;
    case Signal::Every10000:
        return (i / 10000) & 1;
    case Signal::Random:
        return static_cast<double>(rng() & 1u);
    }
    return 0;
}

constexpr double Period = 0.0976;

// A chart as the recorder shows it with the grid on: white, axes with labels, level axis -1..2.
template <class Series> std::unique_ptr<chart::TChart> MakeChart(int width, int n, Signal signal) {
    auto c = std::make_unique<chart::TChart>();
    c->resize(width, 400);
    c->SetColor(Qt::white);
    c->SetView3D(false);
    c->BottomAxis().SetAutomatic(false);
    c->BottomAxis().SetMaximum(n * Period);
    c->LeftAxis().SetAutomatic(false);
    c->LeftAxis().SetMinimum(-1);
    c->LeftAxis().SetMaximum(2);
    auto* s = new Series(c.get());
    s->SetSeriesColor(Qt::red);
    chart::SetValueListCapacity(n);
    s->ClearPoints();
    std::mt19937 rng(12345);
    for (int i = 0; i < n; ++i)
        s->AddPoint(i * Period, Level(signal, i, rng));
    return c;
}

QImage Repaint(chart::TChart& c) {
    QImage image(c.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    c.DrawChart(painter, QRect(QPoint(0, 0), c.size()));
    return image;
}

template <class Series>
void BM_Repaint(benchmark::State& state, int width, int n, Signal signal, bool compare) {
    auto c = MakeChart<Series>(width, n, signal);
    QImage image(c->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        c->DrawChart(painter, QRect(QPoint(0, 0), c->size()));
    }
    state.counters["plot_width"] = c->PlotRect().width();
    if (compare) {
        auto reference = MakeChart<chart_reference::TReferenceLineSeries>(width, n, signal);
        state.counters["same_pixels"] = Repaint(*reference) == image ? 1 : 0;
    }
}

// The same repaint with an annotation strip under the trace: two rows of as many items in all,
// spread over the whole bottom axis, which shows all of them (a long decode zoomed out).
void BM_StripRepaint(benchmark::State& state) {
    constexpr int Points = 102401;
    const int items = static_cast<int>(state.range(0));
    auto c = MakeChart<chart::TFastLineSeries>(1100, Points, Signal::Random);
    if (items > 0) {
        std::vector<chart::TStripRow> rows(2);
        rows[0].Name = QStringLiteral("bytes");
        rows[1].Name = QStringLiteral("bits");
        const double span = Points * Period;
        for (int i = 0; i < items; ++i) {
            const double start = span * i / items;
            rows[i % 2].Items.push_back({start,
                                         start + 0.5 * span / items,
                                         {QStringLiteral("0x55 'U'"), QStringLiteral("55")},
                                         i % 2});
        }
        c->SetStrip(std::move(rows));
    }
    QImage image(c->size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&image);
        c->DrawChart(painter, QRect(QPoint(0, 0), c->size()));
    }
    state.counters["strip_items"] = items;
}

// The shortest sweep period completes about 900 sweeps a second, each asking for a repaint from an
// event of its own. A frame of 0 paints every request; 17 (the default) merges those of one display
// frame. The CPU time is the window thread's, which waits in the event loop between sweeps.
void BM_SweepRedraws(benchmark::State& state) {
    constexpr int SweepsPerSecond = 900;
    int requests = 0, paints = 0;
    auto c = MakeChart<chart::TFastLineSeries>(1100, 102401, Signal::Random);
    c->SetFrameInterval(static_cast<int>(state.range(0)));
    c->show();
    QObject::connect(c.get(), &chart::TChart::painted, [&] { ++paints; });
    for (auto _ : state) {
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QElapsedTimer clock;
        int sweeps = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 due = clock.nsecsElapsed() * SweepsPerSecond / 1000000000;
            for (; sweeps < due && sweeps < SweepsPerSecond; ++sweeps) {
                c->Series(0)->RequestRedraw();
                ++requests;
            }
            if (sweeps == SweepsPerSecond)
                loop.quit();
        });
        clock.start();
        tick.start(1);
        loop.exec();
    }
    state.counters["requests"] = benchmark::Counter(requests, benchmark::Counter::kIsRate);
    state.counters["paints"] = benchmark::Counter(paints, benchmark::Counter::kIsRate);
}

void RegisterAll() {
    // Widget widths whose plot rectangles are about 700, 1000 and 1900 pixels wide.
    for (int width : {780, 1100, 2050})
        for (int n : {103, 102401, 500001})
            for (Signal s : {Signal::EverySample, Signal::Every10000, Signal::Random}) {
                const std::string suffix =
                    "/w" + std::to_string(width) + "/n" + std::to_string(n) + "/" + SignalName(s);
                benchmark::RegisterBenchmark(("fast" + suffix).c_str(),
                                             BM_Repaint<chart::TFastLineSeries>, width, n, s, true)
                    ->Unit(benchmark::kMillisecond);
                benchmark::RegisterBenchmark(("reference" + suffix).c_str(),
                                             BM_Repaint<chart_reference::TReferenceLineSeries>,
                                             width, n, s, false)
                    ->Unit(benchmark::kMillisecond);
            }
    benchmark::RegisterBenchmark("strip", BM_StripRepaint)
        ->ArgName("items")
        ->Arg(0)
        ->Arg(200000)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("sweep_redraws", BM_SweepRedraws)
        ->ArgName("frame_ms")
        ->Arg(0)
        ->Arg(17)
        ->Iterations(3)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
