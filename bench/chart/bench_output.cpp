// Each picture output of a chart about 1000 pixels wide showing a 500,001-point trace that
// changes level every 100 samples, with the grid on: time per picture and the picture's size.
#include "chart/chart.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int Points = 500001;

std::unique_ptr<chart::TChart> MakeChart() {
    auto c = std::make_unique<chart::TChart>();
    c->resize(1000, 330);
    c->SetColor(Qt::white);
    c->SetView3D(false);
    c->BottomAxis().SetAutomatic(false);
    c->BottomAxis().SetMaximum(Points - 1);
    c->BottomAxis().SetIncrement(50000);
    c->LeftAxis().SetAutomatic(false);
    c->LeftAxis().SetMinimum(-1);
    c->LeftAxis().SetMaximum(2);
    c->BottomAxis().Title().SetCaption(QStringLiteral("Время, мс"));
    auto* s = new chart::TFastLineSeries(c.get());
    s->SetSeriesColor(Qt::red);
    std::vector<double> xs(Points), ys(Points);
    for (int i = 0; i < Points; ++i)
        xs[i] = i, ys[i] = (i / 100) & 1;
    s->AddPoints(xs, ys);
    return c;
}

void BM_Picture(benchmark::State& state, chart::TPictureFormat format) {
    auto c = MakeChart();
    qint64 bytes = 0;
    for (auto _ : state)
        bytes = c->PictureBytes(format).size();
    state.counters["bytes"] = static_cast<double>(bytes);
}

void BM_Clipboard(benchmark::State& state) {
    auto c = MakeChart();
    for (auto _ : state)
        c->CopyPictureToClipboard(true);
}

void BM_PrintToPdf(benchmark::State& state) {
    auto c = MakeChart();
    QTemporaryDir dir;
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
    for (auto _ : state)
        c->PrintChart(printer);
    state.counters["bytes"] = static_cast<double>(QFileInfo(printer.outputFileName()).size());
}

} // namespace

BENCHMARK_CAPTURE(BM_Picture, bmp, chart::TPictureFormat::Bitmap)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Picture, png, chart::TPictureFormat::Png)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Picture, svg, chart::TPictureFormat::Svg)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Picture, pdf, chart::TPictureFormat::Pdf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Picture, emf, chart::TPictureFormat::EnhancedMetafile)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Picture, wmf, chart::TPictureFormat::Metafile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Clipboard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrintToPdf)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
