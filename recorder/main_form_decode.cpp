// Protocol decoders on the trace: the "Декодер" panel, the decodings in the decoder host off the
// window thread, and their annotations under the trace and in the panel's table.

#include "capture/reader.h"
#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/series.h"
#include "decode/annotation_csv.h"
#include "decode/host_program.h"
#include "decode/protocol.h"
#include "decode/worker.h"
#include "files/file_io.h"
#include "measure/trace_timing.h"
#include "recorder/decoder_panel.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/progress_task.h"
#include "recorder/recording_view.h"
#include "recorder/report.h"
#include "serial/message_loop.h"

#include <QAction>
#include <QCoreApplication>
#include <QDockWidget>
#include <QTimer>
#include <QFileDialog>
#include <QToolBar>

#include <algorithm>
#include <cmath>

namespace recorder {

namespace {

// The shortest time between two decodings of a changing trace.
constexpr std::chrono::milliseconds kDecodeInterval{200};
// How long the host may go without a word before it is taken to hang.
constexpr std::chrono::milliseconds kHostLimit{5000};
// Around the view of a recording, so that a frame cut by the view's edge is decoded whole.
constexpr double kContextShare = 0.25;
// The most samples of a recording the view's decoding reads: beyond, the whole-recording pass.
constexpr std::uint64_t kViewSampleLimit = 8'000'000;
// The most annotations a pass over a whole recording keeps, so the window stays light.
constexpr std::size_t kWholeAnnotationLimit = 2'000'000;

std::vector<std::uint8_t> PackedLevels(std::span<const double> levels) {
    std::vector<std::uint8_t> packed((levels.size() + 7) / 8);
    for (std::size_t i = 0; i < levels.size(); ++i)
        if (levels[i] >= 0.5)
            packed[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    return packed;
}

std::uint64_t RateOf(double periodMs) {
    return periodMs > 0 ? static_cast<std::uint64_t>(std::llround(1000.0 / periodMs)) : 0;
}

} // namespace

void TMainForm::WireDecoder() {
    const QString hint = QStringLiteral("Декодер");
    actViewDecoder = new QAction(QIcon(QStringLiteral(":/icons/decoder.svg")), hint, this);
    actViewDecoder->setObjectName(QStringLiteral("actViewDecoder"));
    actViewDecoder->setToolTip(QStringLiteral("Декодер протокола"));
    actViewDecoder->setStatusTip(QStringLiteral("Декодер протокола"));
    actViewDecoder->setCheckable(true);
    ToolBar1->addAction(actViewDecoder);
    ToolBar1->widgetForAction(actViewDecoder)->setObjectName(QStringLiteral("tbtViewDecoder"));

    DecoderDock = new QDockWidget(hint, this);
    DecoderDock->setObjectName(QStringLiteral("DecoderDock"));
    DecoderDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    DecoderDock->setAllowedAreas(Qt::BottomDockWidgetArea);
    DecoderPanel = new TDecoderPanel(DecoderDock);
    DecoderDock->setWidget(DecoderPanel);
    addDockWidget(Qt::BottomDockWidgetArea, DecoderDock);
    DecoderDock->hide();

    DecoderPanel->OnStackChanged = [this] {
        ClearDecoded();
        if (RecordingView)
            Chart->RequestRedraw(); // the view's decoding follows the paint
        DecodeTrace();
    };
    DecoderPanel->OnLineChosen = [this](const TAnnotationLine& line) {
        const double width = line.EndMs - line.StartMs;
        CentreView((line.StartMs + line.EndMs) / 2, std::max(ViewSpan(), width * 1.5));
    };
    DecoderPanel->OnExport = [this] { RunReporting([this] { ExportAnnotations(); }); };
    DecoderPanel->OnWholeRecording = [this] { RunReporting([this] { DecodeWholeRecording(); }); };

    connect(actViewDecoder, &QAction::toggled, this, [this](bool shown) {
        DecoderDock->setVisible(shown);
        if (!shown)
            return;
        // A third of the window at most: the trace stays the larger part.
        resizeDocks({DecoderDock}, {height() / 3}, Qt::Vertical);
        if (!DecodeWorker)
            StartDecoding();
    });
    SweepBuffers.OnShown = [this] { DecodeWanted = true; };
    // A trace is decoded once it has been painted, and then at most five times a second: sweeps
    // that come faster change their annotations faster than anyone reads them, and each decoding
    // costs the host its decoder's time and the window the annotations' reading and drawing.
    DecodeTimer = new QTimer(this);
    DecodeTimer->setSingleShot(true);
    DecodeTimer->setInterval(kDecodeInterval);
    const auto decodeWanted = [this] {
        if (!DecodeWanted || DecodeTimer->isActive())
            return;
        DecodeWanted = false;
        DecodeTimer->start();
        DecodeTrace();
    };
    connect(Chart, &chart::TChart::painted, this, decodeWanted);
    connect(DecodeTimer, &QTimer::timeout, this, decodeWanted);
}

void TMainForm::StartDecoding() {
    DecoderPanel->ShowStatus(QStringLiteral("Чтение списка декодеров…"));
    // The worker only wakes the window thread; the results cross under its own lock.
    DecodeNotify = serial::DefaultMessageLoop().CreateNotifyWindow(
        [this](const serial::TDispatchMessage&) { TakeDecodings(); });
    DecodeWorker = std::make_unique<decode::TDecodeWorker>(
        decode::HostProgram(QCoreApplication::applicationFilePath().toStdString()), kHostLimit,
        [notify = DecodeNotify.get()] { notify->Post({}); });
    DecodeWorker->RequestList();
}

void TMainForm::TakeDecodings() {
    if (auto list = DecodeWorker->TakeList()) {
        if (!list->Error.empty()) {
            DecoderPanel->ShowStatus(QStringLiteral("Декодеры недоступны: ") +
                                     QString::fromStdString(list->Error));
        } else {
            DecoderPanel->SetDecoders(std::move(list->Decoders));
            DecoderPanel->ShowStatus(QStringLiteral("Декодер не выбран"));
        }
    }
    if (auto result = DecodeWorker->TakeDecoded())
        ShowDecoded(std::move(*result));
}

void TMainForm::DecodeTrace() {
    if (!DecodeWorker || DecoderPanel->Stack().empty() || WholeRecordingDecoded)
        return;
    decode::TDecodeRequest request;
    request.Tag = ++DecodeTag;
    request.Stack = DecoderPanel->Stack();
    TDecodePlace place{request.Tag, 0, 0};
    if (RecordingView) {
        const capture::TRecordingReader& reader = RecordingView->Reader();
        const double period = RecordingView->PeriodMs();
        const chart::TChartAxis& axis = Chart->BottomAxis();
        const double context = (axis.Maximum() - axis.Minimum()) * kContextShare;
        const auto sampleAt = [&](double ms) {
            return static_cast<std::uint64_t>(
                std::clamp(std::floor(ms / period), 0.0, double(reader.TotalSamples())));
        };
        // Whole bytes, as the file holds them.
        const std::uint64_t first = sampleAt(axis.Minimum() - context) / 8 * 8;
        const std::uint64_t last = sampleAt(axis.Maximum() + context);
        if (last - first > kViewSampleLimit) {
            DecoderPanel->ShowStatus(QStringLiteral(
                "На экране слишком много отсчётов для декодера: приблизьте или декодируйте "
                "всю запись"));
            return;
        }
        try {
            request.Packed = reader.ReadBytes(first / 8, (last - first + 7) / 8);
        } catch (const std::exception&) {
            DecoderPanel->ShowStatus(
                QStringLiteral("На экране есть повреждённые блоки: декодер их не читает"));
            return;
        }
        request.Samples = std::min<std::uint64_t>(last - first, request.Packed.size() * 8);
        request.RateHz = decode::SampleRateHz(reader.Header().Divider);
        place.OffsetMs = double(first) * period;
        place.MsPerSample = period;
    } else {
        const std::span<const double> times = Series1->XValues().Raw();
        if (times.size() < 2)
            return;
        place.MsPerSample = measure::TraceStep(times, static_cast<double>(SamplePeriod()));
        place.OffsetMs = times.front();
        request.Packed = PackedLevels(Series1->YValues().Raw());
        request.Samples = times.size();
        request.RateHz = RateOf(place.MsPerSample);
    }
    if (request.RateHz == 0) {
        DecoderPanel->ShowStatus(QStringLiteral("Период отсчётов слишком велик для декодера"));
        return;
    }
    DecodePlaces.push_back(place);
    DecoderPanel->ShowStatus(QStringLiteral("Декодирование…"));
    DecodeWorker->Post(std::move(request));
}

void TMainForm::ShowDecoded(decode::TDecodeResult result) {
    // A result is shown only for a request since the annotations were last cleared.
    while (!DecodePlaces.empty() && DecodePlaces.front().Tag < result.Tag)
        DecodePlaces.pop_front();
    if (DecodePlaces.empty() || DecodePlaces.front().Tag != result.Tag)
        return;
    const TDecodePlace place = DecodePlaces.front();
    DecodePlaces.pop_front();
    // Only sweeps are skipped for a decoder that cannot keep up; other requests replaced are
    // the operator's changes, overtaken by the next.
    if (RecordingState.State() == acquisition::TRecorderState::Recording)
        SkippedDecodings += result.Skipped;
    QString status;
    if (!result.Error.empty()) {
        status = QStringLiteral("Ошибка декодера: ") + QString::fromStdString(result.Error);
        result.Annotations.clear();
    } else {
        status = QStringLiteral("Аннотаций: %1").arg(result.Annotations.size());
    }
    if (SkippedDecodings > 0)
        status += QStringLiteral("\nПропущено развёрток: %1 (декодер не успевает)")
                      .arg(SkippedDecodings);
    DecoderPanel->ShowStatus(status);
    ShowAnnotations({std::move(result.Annotations), place.OffsetMs, place.MsPerSample});
}

void TMainForm::ShowAnnotations(TDecoded decoded) {
    Decoded = std::move(decoded);
    TDecodedView view = ViewOf(Decoded, DecoderPanel->Decoders(), DecoderPanel->Stack());
    Chart->SetStrip(std::move(view.Rows));
    DecoderPanel->ShowLines(std::move(view.Lines));
}

void TMainForm::ClearDecoded() {
    DecodePlaces.clear();
    SkippedDecodings = 0;
    WholeRecordingDecoded = false;
    Decoded = {};
    if (!Chart->Strip().empty())
        Chart->SetStrip({});
    DecoderPanel->ShowLines({});
    DecoderPanel->OfferWholeRecording(RecordingView != nullptr && !DecoderPanel->Stack().empty());
    if (DecodeWorker && !DecoderPanel->Stack().empty())
        DecoderPanel->ShowStatus(QString());
}

void TMainForm::ExportAnnotations() {
    const auto path = ChooseFile(this, "ExportAnnotationsDialog", QFileDialog::AcceptSave,
                                 QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"));
    if (!path)
        return;
    std::string text = decode::AnnotationCsvHeader();
    for (const decode::TAnnotation& a : Decoded.Annotations)
        text += decode::AnnotationCsvLine(a, Decoded.OffsetMs, Decoded.MsPerSample);
    files::ReplaceFileContent(*path, text);
}

void TMainForm::DecodeWholeRecording() {
    if (!RecordingView || DecoderPanel->Stack().empty())
        return;
    const capture::TRecordingReader& reader = RecordingView->Reader();
    const auto stack = DecoderPanel->Stack();
    const std::uint64_t rate = decode::SampleRateHz(reader.Header().Divider);
    const std::string program =
        decode::HostProgram(QCoreApplication::applicationFilePath().toStdString());
    std::vector<decode::TAnnotation> annotations;
    bool cut = false;
    const bool done = RunWithProgress(
        this, QStringLiteral("Декодирование всей записи…"),
        [&](const capture::TScanControl& control) {
            decode::THostProcess host(program, kHostLimit);
            host.SetCancel(control.Cancel);
            try {
            const auto take = [&](std::vector<decode::TAnnotation> more, std::uint64_t offset) {
                for (decode::TAnnotation& a : more) {
                    a.Start += offset;
                    a.End += offset;
                }
                annotations.insert(annotations.end(), std::make_move_iterator(more.begin()),
                                   std::make_move_iterator(more.end()));
                cut = cut || annotations.size() >= kWholeAnnotationLimit;
            };
            // A damaged block or a hole ends one decoding; the next begins after it.
            std::uint64_t next = 0;
            std::uint64_t offset = 0;
            bool open = false;
            for (std::size_t b = 0; b < reader.Blocks().size() && !cut; ++b) {
                const capture::TBlockInfo& block = reader.Blocks()[b];
                const auto bytes = reader.BlockBytes(b);
                if (open && (!bytes || block.FirstSample != next)) {
                    take(host.Finish(), offset);
                    open = false;
                }
                if (!bytes)
                    continue;
                if (!open) {
                    host.Begin(stack, rate);
                    offset = block.FirstSample;
                    open = true;
                }
                take(host.Feed(*bytes, block.SampleCount), offset);
                next = block.FirstSample + block.SampleCount;
                if (control.Progress)
                    control.Progress(double(next) / double(std::max<std::uint64_t>(reader.TotalSamples(), 1)));
            }
            if (open)
                take(host.Finish(), offset);
            } catch (const decode::TDecodeError&) {
                // Cancelled, the host was stopped on purpose: nothing to report.
                if (!control.Cancel->load())
                    throw;
            }
        });
    if (!done)
        return;
    if (cut)
        annotations.resize(std::min(annotations.size(), kWholeAnnotationLimit));
    DecodePlaces.clear();
    ShowAnnotations({std::move(annotations), 0, RecordingView->PeriodMs()});
    WholeRecordingDecoded = true;
    DecoderPanel->ShowStatus(
        QStringLiteral("По всей записи, аннотаций: %1").arg(Decoded.Annotations.size()) +
        (cut ? QStringLiteral("\nОстановлено на %1 аннотациях").arg(kWholeAnnotationLimit)
             : QString()));
}

} // namespace recorder
