#include "record/output.h"

#include "acquisition/sweep.h"
#include "acquisition/timing.h"
#include "chart/chart.h"
#include "chart/series.h"
#include "chart/trace_chart.h"
#include "files/file_io.h"
#include "files/io_error.h"

#include <QApplication>
#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace record {

namespace {

// The size of the picture: about the window's chart on a wide screen.
constexpr int PictureWidth = 1200;
constexpr int PictureHeight = 400;

// How often a .tlr's block is ended and put on the disk: what a kill or a power cut may lose.
constexpr auto SyncInterval = std::chrono::seconds(1);

struct TPoints {
    std::vector<double> Times, Levels;
};

double TimeOf(std::uint64_t j, long double periodMs) {
    return static_cast<double>(static_cast<long double>(j) * periodMs);
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

// A .tlr's header: the line as the session opens it (8 data bits, no parity, 1 stop bit).
capture::THeader RecordingHeader(const TRecordOptions& options, long double periodMs,
                                 std::int64_t startMicroseconds) {
    capture::THeader header;
    header.Divider = static_cast<std::uint32_t>(acquisition::PeriodToDivider(periodMs));
    header.StartMicroseconds = startMicroseconds;
    header.Baud = static_cast<std::uint32_t>(options.Baud);
    header.DataBits = 8;
    header.Parity = 0;
    header.StopHalfBits = 2;
    const bool single = options.Mode == acquisition::TSweep::smSingle;
    header.SweepMode = single ? capture::smSingle : capture::smPeriodic;
    header.Trigger = single ? capture::trFirstChange : capture::trNone;
    header.SweepMilliseconds = static_cast<std::uint32_t>(std::llround(options.DurationS * 1000));
    header.ProgramVersion = "talvir-record " TALVIR_VERSION;
    return header;
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
        const char* const kept = options.Output == TOutputKind::Recording
                                     ? "; the file keeps the recording up to its last whole block"
                                     : "; the file is left as it was";
        text = file->Text() + (more == std::string::npos ? kept : detail.substr(more));
    }
    for (std::size_t at; (at = text.find('\n')) != std::string::npos;)
        text.replace(at, 1, ". ");
    return "cannot write " + options.Out + ": " + text;
}

TOutput::TOutput(const TRecordOptions& options)
    : options_(options), periodMs_(acquisition::ConfirmedPeriod(options.PeriodMs)) {
    switch (options.Output) {
    case TOutputKind::DataFile:
        text_.emplace(options.Out, trace::TStreamKind::DataFile, periodMs_);
        break;
    case TOutputKind::Csv:
        text_.emplace(options.Out, trace::TStreamKind::Csv, periodMs_);
        break;
    case TOutputKind::Vcd:
        text_.emplace(options.Out, trace::TStreamKind::Vcd, periodMs_);
        break;
    case TOutputKind::Png:
    case TOutputKind::Recording:
        break;
    }
}

void TOutput::Start() {
    startMicroseconds_ = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
}

void TOutput::AddBytes(std::span<const std::uint8_t> bytes) {
    if (options_.Output != TOutputKind::Recording)
        return;
    broken_ = true; // until the write has not thrown
    const auto now = std::chrono::steady_clock::now();
    if (!recording_) {
        recording_.emplace(options_.Out, RecordingHeader(options_, periodMs_, startMicroseconds_));
        lastSync_ = now;
    }
    recording_->Append(bytes.data(), bytes.size());
    if (now - lastSync_ >= SyncInterval) {
        recording_->EndBlock();
        recording_->Sync();
        lastSync_ = now;
    }
    samples_ += 8 * bytes.size();
    broken_ = false;
}

void TOutput::Add(std::span<const double> levels) {
    if (text_) {
        text_->Add(levels);
        return;
    }
    if (options_.Output == TOutputKind::Png) {
        for (const double level : levels)
            picture_.push_back(static_cast<std::uint8_t>(level));
        samples_ += levels.size();
    }
}

std::uint64_t TOutput::Samples() const {
    return text_ ? text_->Samples() : samples_;
}

bool TOutput::Broken() const {
    return text_ ? text_->Broken() : broken_;
}

void TOutput::Finish(const TRecording& recording) {
    switch (options_.Output) {
    case TOutputKind::DataFile:
    case TOutputKind::Csv:
        text_->Finish();
        break;
    case TOutputKind::Vcd: {
        const int sweeps = recording.CompletedSweeps + (recording.LastSweepCut ? 1 : 0);
        text_->Finish(
            {QDateTime::currentDateTime().toString(Qt::ISODate).toStdString(),
             "Тальвир " TALVIR_VERSION, static_cast<double>(recording.PeriodMs),
             acquisition::SweepText(options_.Mode, sweeps, options_.DurationS, text_->Samples()),
             recording.Totals.Seconds >= ShortestCountedRecording
                 ? acquisition::IntegrityComment(recording.Totals)
                 : std::string()});
        break;
    }
    case TOutputKind::Png: {
        TPoints points;
        points.Times.reserve(picture_.size());
        points.Levels.reserve(picture_.size());
        for (std::size_t j = 0; j < picture_.size(); ++j) {
            points.Times.push_back(TimeOf(j, periodMs_));
            points.Levels.push_back(picture_[j]);
        }
        WritePicture(options_, points);
        break;
    }
    case TOutputKind::Recording:
        recording_->Close();
        break;
    }
}

} // namespace record
