// A day's recording at the shortest sample period in the window: the time from choosing the file
// to its first whole picture, the repaint time of zoom and scroll steps at several zooms, the
// window's resident memory while viewing, and whether the picture at a sweep's length of samples
// or fewer is the picture of those samples drawn literally, pixel for pixel.
//
//   bench_recording_view [FILE [WIDTH HEIGHT]]
//       FILE defaults to /tmp/talvir-day.tlr, made once when missing as talvir-devsim --source
//       glitch:3600000:30 --make-recording FILE --seconds 86400 makes it; the window has its first
//       run's size unless WIDTH and HEIGHT are given. Build it optimised.
//
// The first picture is timed twice: with the file's pages dropped from the page cache first
// (posix_fadvise), as after a reboot, and again with them cached. The steps are timed with the
// file dropped from the page cache, then again with all of it read into the cache. Every zoom's
// steps start at places of the day not shown before. A step is what one event of the chart's own
// gestures does: a scroll by 10 pixels or a zoom by 1.25 in or out about the middle, then the full
// repaint.

#include "capture/reader.h"
#include "chart/chart.h"
#include "chart/trace_chart.h"
#include "devsim/options.h"
#include "devsim/recording_maker.h"
#include "devsim/sources.h"
#include "recorder/main_form.h"
#include "recorder/recording_view.h"
#include "reference/reference_line_series.h"
#include "support/recording_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double PeriodMs = 108.0 / 11059.2;

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

void DropFromPageCache(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

void ReadThrough(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (file.read(buffer.data(), static_cast<std::streamsize>(buffer.size())))
        ;
}

void MakeDayFile(const std::string& path) {
    std::printf("making %s (a day at the shortest period; a few minutes)...\n", path.c_str());
    std::fflush(stdout);
    const std::string part = path + ".part";
    devsim::MakeRecording(devsim::SignalFactory(devsim::ParseSource("glitch:3600000:30")),
                          devsim::OfflineRecording{part, 16, 86400}, 0, "bench_recording_view");
    std::filesystem::rename(part, path);
}

double Ms(const QElapsedTimer& clock) {
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

struct TSteps {
    std::vector<double> Scroll, Zoom;
};

double Max(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}
double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// The window's time axis at [from, from + span] ms, repainted at once; the milliseconds it took.
double ShowAndPaint(chart::TChart& chart, double from, double span) {
    QElapsedTimer clock;
    clock.start();
    chart.BottomAxis().SetRange(from, from + span);
    chart.RedrawNow();
    return Ms(clock);
}

TSteps StepsAt(chart::TChart& chart, double spanMs, double dayMs, std::mt19937_64& random) {
    TSteps steps;
    for (int place = 0; place < 4; ++place) {
        double from = std::uniform_real_distribution<double>(0, dayMs - spanMs * 2)(random);
        ShowAndPaint(chart, from, spanMs);
        const double pixelMs = spanMs / chart.PlotRect().width();
        for (int k = 0; k < 10; ++k) {
            from += 10 * pixelMs;
            steps.Scroll.push_back(ShowAndPaint(chart, from, spanMs));
        }
        double span = spanMs;
        for (int k = 0; k < 10; ++k) {
            const double next = k % 2 == 0 ? span / 1.25 : span * 1.25;
            from += (span - next) / 2;
            span = next;
            steps.Zoom.push_back(ShowAndPaint(chart, from, span));
        }
    }
    return steps;
}

// The recording's picture beside the literal drawing of its samples (with a margin of samples
// beyond either edge), on two charts set up as the window's: the differing pixels.
long DifferingPixels(const std::string& path, const capture::TRecordingReader& reader,
                     std::uint64_t first, std::uint64_t count, QSize size) {
    chart::TChart viewChart, literalChart;
    chart::TChartSeries* viewSeries = chart::SetUpTraceChart(viewChart);
    delete chart::SetUpTraceChart(literalChart);
    auto* literal = new chart_reference::TReferenceLineSeries(&literalChart);
    literal->SetSeriesColor(Qt::red);
    literal->XValues().SetOrder(chart::loAscending);
    recorder::TRecordingView view(path);
    viewChart.OnBeforeDrawSeries = [&](QObject*) {
        view.Fill(*viewSeries, viewChart.BottomAxis(), viewChart.PlotRect().left(),
                  viewChart.PlotRect().right());
    };
    const std::uint64_t margin = count / 4 + 10;
    const std::uint64_t from = first > margin ? first - margin : 0;
    const std::vector<std::uint8_t> levels = reader.ReadLevels(from, count + 2 * margin);
    std::vector<double> xs(levels.size()), ys(levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        xs[i] = static_cast<double>(from + i) * view.PeriodMs();
        ys[i] = levels[i];
    }
    chart::SetValueListCapacity(static_cast<int>(xs.size()));
    literal->AddPoints(xs, ys);
    QImage images[2];
    int i = 0;
    for (chart::TChart* c : {&viewChart, &literalChart}) {
        c->resize(size);
        c->BottomAxis().SetRange(static_cast<double>(first) * view.PeriodMs(),
                                 static_cast<double>(first + count - 1) * view.PeriodMs());
        images[i] = QImage(size, QImage::Format_RGB32);
        QPainter painter(&images[i]);
        c->DrawChart(painter, QRect(QPoint(0, 0), size));
        ++i;
    }
    long differing = 0;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            differing += images[0].pixel(x, y) != images[1].pixel(x, y);
    return differing;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string path = argc > 1 ? argv[1] : "/tmp/talvir-day.tlr";
    if (!std::filesystem::exists(path))
        MakeDayFile(path);

    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    recorder::TMainForm form;
    if (argc > 3)
        form.resize(std::atoi(argv[2]), std::atoi(argv[3]));
    form.show();
    QApplication::processEvents();
    auto* chart = recording_test::FindChild<chart::TChart>(form, "Chart");
    auto* dialog = recording_test::FindChild<QFileDialog>(form, "OpenRecordingDialog");
    const long rssBefore = StatusKb("VmRSS:");

    // From the dialog's confirmation to the end of the window's first paint of the recording.
    QElapsedTimer clock;
    double firstPicture[2] = {0, 0};
    QObject::connect(dialog, &QFileDialog::fileSelected, [&] { clock.start(); });
    for (int run = 0; run < 2; ++run) {
        if (run == 0)
            DropFromPageCache(path);
        bool painted = false;
        const auto connection = QObject::connect(chart, &chart::TChart::painted, [&] {
            if (!painted)
                firstPicture[run] = Ms(clock);
            painted = true;
        });
        recording_test::TriggerWithFile(form, "actOpenRecording", "OpenRecordingDialog",
                                        QString::fromStdString(path));
        QObject::disconnect(connection);
    }
    const double dayMs = chart->BottomAxis().Maximum();
    std::printf("file %s: %.0f s, plot %d pixels wide\n", path.c_str(), dayMs / 1000,
                chart->PlotRect().width());
    std::printf("first whole picture: %.1f ms (file not in the page cache), %.1f ms (cached)\n",
                firstPicture[0], firstPicture[1]);

    struct TZoom {
        const char* Name;
        double SpanMs;
    };
    const TZoom zooms[] = {
        {"whole day", dayMs},
        {"an hour", 3'600'000},
        {"5 minutes", 300'000},
        {"a minute", 60'000},
        {"400,000 samples", 400'000 * PeriodMs},
        {"10 samples", 10 * PeriodMs},
    };
    std::mt19937_64 random(24);
    for (const bool cached : {false, true}) {
        if (cached)
            ReadThrough(path);
        else
            DropFromPageCache(path);
        std::printf("%-18s %14s %14s %14s %14s  (file %s)\n", "view", "scroll median", "scroll max",
                    "zoom median", "zoom max",
                    cached ? "in the page cache" : "not in the page cache");
        for (const TZoom& zoom : zooms) {
            const TSteps steps = StepsAt(*chart, zoom.SpanMs, dayMs, random);
            std::printf("%-18s %11.2f ms %11.2f ms %11.2f ms %11.2f ms\n", zoom.Name,
                        Median(steps.Scroll), Max(steps.Scroll), Median(steps.Zoom),
                        Max(steps.Zoom));
        }
    }
    std::printf("resident memory: %ld kB before opening, %ld kB while viewing, peak %ld kB\n",
                rssBefore, StatusKb("VmRSS:"), StatusKb("VmHWM:"));
    std::printf("series points now: %d\n", chart->Series(0)->Count());

    const capture::TRecordingReader reader(path, capture::TRecordingReader::TCheck::Index);
    const QSize size = chart->size();
    std::printf("pixels differing from the samples drawn literally (%dx%d):\n", size.width(),
                size.height());
    for (const std::uint64_t count : {500'001ull, 400'000ull, 4'001ull, 10ull, 2'000'000ull})
        for (const std::uint64_t first : {1'000ull, 4'417'000'000ull, 8'844'000'000ull})
            std::printf("  %9llu samples from %10llu: %ld\n",
                        static_cast<unsigned long long>(count),
                        static_cast<unsigned long long>(first),
                        DifferingPixels(path, reader, first, count, size));
    return 0;
}
