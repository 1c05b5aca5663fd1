#include "record/output.h"

#include "acquisition/sweep.h"
#include "chart/chart.h"
#include "chart/series.h"
#include "chart/trace_chart.h"
#include "files/file_io.h"
#include "files/io_error.h"
#include "numbers/number_format.h"
#include "trace/csv.h"
#include "trace/data_file.h"
#include "trace/vcd.h"

#include <QApplication>
#include <QDateTime>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace record {

namespace {

// The size of the picture: about the window's chart on a wide screen.
constexpr int PictureWidth = 1200;
constexpr int PictureHeight = 400;

struct TPoints {
    std::vector<double> Times, Levels;
};

TPoints Points(const TRecording& recording) {
    TPoints points;
    points.Times.reserve(recording.Levels.size());
    points.Levels.reserve(recording.Levels.size());
    for (std::size_t j = 0; j < recording.Levels.size(); ++j) {
        // Each time from its own index, so that nothing accumulates over long recordings.
        points.Times.push_back(
            static_cast<double>(static_cast<long double>(j) * recording.PeriodMs));
        points.Levels.push_back(recording.Levels[j]);
    }
    return points;
}

void WritePicture(const TRecordOptions& options, const TPoints& points) {
    // No window is shown: the chart is drawn off screen whatever display there is.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "talvir-record";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    chart::TChart chart;
    chart::TFastLineSeries* series = chart::SetUpTraceChart(chart);
    chart.resize(PictureWidth, PictureHeight);
    chart.SetAxisVisible(true);
    chart.BottomAxis().SetRange(0, points.Times.back());
    series->AddPoints(points.Times, points.Levels);
    chart.WritePictureFile(QString::fromStdString(options.Out), chart::TPictureFormat::Png);
}

} // namespace

std::optional<std::string> OutputProblem(const TRecordOptions& options) {
    try {
        files::CheckFileReplaceable(options.Out);
        return std::nullopt;
    } catch (const files::EInOutError& error) {
        const std::filesystem::path folder = std::filesystem::path(options.Out).parent_path();
        std::error_code ignored;
        const std::string why = !folder.empty() && !std::filesystem::is_directory(folder, ignored)
                                    ? "there is no folder " + folder.string()
                                    : error.Text();
        return "cannot write " + options.Out + ": " + why +
               "; nothing was recorded (choose another --out)";
    }
}

std::string WriteFailure(const TRecordOptions& options, const std::exception& error) {
    // The error's first line says what failed and its second names the file, which the line
    // names already. A file is replaced only once the new one is whole, unless a further line
    // says where the new content was kept instead.
    std::string text = error.what();
    if (const auto* file = dynamic_cast<const files::EInOutError*>(&error)) {
        const std::string detail = text.substr(std::min(text.size(), file->Text().size() + 1));
        const std::size_t more = detail.find('\n');
        text = file->Text() +
               (more == std::string::npos ? "; the file is left as it was" : detail.substr(more));
    }
    for (std::size_t at; (at = text.find('\n')) != std::string::npos;)
        text.replace(at, 1, ". ");
    return "cannot write " + options.Out + ": " + text;
}

void WriteRecording(const TRecordOptions& options, const TRecording& recording) {
    const TPoints points = Points(recording);
    switch (options.Output) {
    case TOutputKind::DataFile:
        files::ReplaceFileContent(
            options.Out,
            trace::FormatDataFile(points.Times, points.Levels, numbers::DataFileDecimalPoint()));
        return;
    case TOutputKind::Csv:
        files::ReplaceFileContent(options.Out, trace::FormatCsv(points.Times, points.Levels));
        return;
    case TOutputKind::Vcd:
        files::ReplaceFileContent(
            options.Out,
            trace::FormatVcd(points.Times, points.Levels,
                             {QDateTime::currentDateTime().toString(Qt::ISODate).toStdString(),
                              "Тальвир " TALVIR_VERSION, static_cast<double>(recording.PeriodMs),
                              acquisition::SweepText(options.Mode, recording.CompletedSweeps,
                                                     options.DurationS, points.Times.size()),
                              recording.Totals.Seconds >= ShortestCountedRecording
                                  ? acquisition::IntegrityComment(recording.Totals)
                                  : std::string()}));
        return;
    case TOutputKind::Png:
        WritePicture(options, points);
        return;
    }
}

} // namespace record
