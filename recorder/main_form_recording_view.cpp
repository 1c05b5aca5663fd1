// A recording file of any length on the chart: "Открыть запись…" shows the whole of it, and every
// paint refills the trace with what the time axis shows (see TRecordingView), so that the chart's
// own zoom and scroll reach down to single samples. A sweep, a data file or a VCD import ends the
// view. Damaged blocks are reported once each, with their times.

#include "chart/chart.h"
#include "recorder/axis_bounds.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/progress_task.h"
#include "recorder/recording_view.h"
#include "recorder/report.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeySequence>
#include <QLocale>
#include <QTimer>
#include <QToolBar>

#include <exception>

namespace recorder {

namespace {

// Damaged blocks listed in one message; the rest are counted.
constexpr std::size_t ListedDamagedBlocks = 10;

} // namespace

void TMainForm::WireRecordingView() {
    const QString hint = QStringLiteral("Открыть запись (.tlr) любой длины (Ctrl+O)");
    actOpenRecording = new QAction(QIcon(QStringLiteral(":/icons/open-recording.svg")),
                                   QStringLiteral("Открыть запись…"), this);
    actOpenRecording->setObjectName(QStringLiteral("actOpenRecording"));
    actOpenRecording->setToolTip(hint);
    actOpenRecording->setStatusTip(hint);
    actOpenRecording->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    // After the tool bar's own actions, which keep their places.
    ToolBar1->addSeparator();
    ToolBar1->addAction(actOpenRecording);
    ToolBar1->widgetForAction(actOpenRecording)->setObjectName(QStringLiteral("tbtOpenRecording"));

    // One dialog for the whole run: it opens in the folder last chosen.
    OpenRecordingDialog = new QFileDialog(this);
    OpenRecordingDialog->setObjectName(QStringLiteral("OpenRecordingDialog"));
    OpenRecordingDialog->setAcceptMode(QFileDialog::AcceptOpen);
    OpenRecordingDialog->setFileMode(QFileDialog::ExistingFile);
    OpenRecordingDialog->setNameFilter(QStringLiteral("Запись (*.tlr)"));

    Chart->OnBeforeDrawSeries = [this](QObject*) { ChartBeforeDrawSeries(); };
    connect(actOpenRecording, &QAction::triggered, this,
            [this] { RunReporting([this] { actOpenRecordingExecute(actOpenRecording); }); });
}

void TMainForm::actOpenRecordingExecute(QObject*) {
    // The running handlers write into the trace; replacing it under them would scramble both.
    if (RecordingState.State() != acquisition::TRecorderState::Stopped) {
        ShowErrorBox(this, QStringLiteral("Остановите запись перед загрузкой файла"));
        return;
    }
    if (OpenRecordingDialog->exec() != QDialog::Accepted ||
        OpenRecordingDialog->selectedFiles().isEmpty())
        return;
    const QString path = OpenRecordingDialog->selectedFiles().front();
    // A name typed in full leaves the dialog where it was: the next one opens beside this file.
    OpenRecordingDialog->setDirectory(QFileInfo(path).absolutePath());
    TBusyCursor busy;
    auto view = std::make_unique<TRecordingView>(path.toStdString());
    Series1->ClearPoints();
    // The trace is no longer the last recording's: an export names no recording counts.
    IntegrityTotals = {};
    RecordingView = std::move(view);
    WholeRecordingStatistics.reset();
    ClearDecoded();
    SetSamplePeriod(RecordingView->PeriodMs());
    SetAxisBounds(Chart->BottomAxis(), 0, RecordingView->SpanMs());
    Chart->RedrawNow();
    ReportDamagedBlocks();
}

void TMainForm::LeaveRecordingView() {
    RecordingView.reset();
    WholeRecordingStatistics.reset();
    ClearDecoded();
}

// The paint hands the trace what it is about to show; a failure to read the file ends the view
// and is reported once the paint is over.
void TMainForm::ChartBeforeDrawSeries() {
    if (!RecordingView)
        return;
    const QRect plot = Chart->PlotRect();
    bool filled = false;
    try {
        filled = RecordingView->Fill(*Series1, Chart->BottomAxis(), plot.left(), plot.right());
    } catch (...) {
        LeaveRecordingView();
        QTimer::singleShot(0, this, [error = std::current_exception()] {
            RunReporting([error] { std::rethrow_exception(error); });
        });
        return;
    }
    if (!filled)
        return;
    StatisticsStale = true;
    DecodeWanted = true;
    QTimer::singleShot(0, this, [this] { RunReporting([this] { ReportDamagedBlocks(); }); });
}

void TMainForm::ReportDamagedBlocks() {
    if (!RecordingView)
        return;
    const std::vector<capture::TBadBlock> fresh = RecordingView->TakeNewDamaged();
    if (fresh.empty())
        return;
    QString text = QStringLiteral("Повреждённые блоки записи пропущены (время от начала):");
    const QLocale locale;
    for (std::size_t i = 0; i < fresh.size() && i < ListedDamagedBlocks; ++i)
        text += QStringLiteral("\n%1 с").arg(locale.toString(fresh[i].Seconds, 'f', 3));
    if (fresh.size() > ListedDamagedBlocks)
        text += QStringLiteral("\nи ещё %1").arg(fresh.size() - ListedDamagedBlocks);
    ShowErrorBox(this, text);
}

void TMainForm::ExportRecording(const std::string& path, convert::TFormat format) {
    const capture::TRecordingReader& reader = RecordingView->Reader();
    const chart::TChartAxis& axis = Chart->BottomAxis();
    const bool markers = actViewMarkers->isChecked() && Marker1Time != Marker2Time;
    const double from = markers ? std::min(Marker1Time, Marker2Time) : axis.Minimum();
    const double to = markers ? std::max(Marker1Time, Marker2Time) : axis.Maximum();
    const convert::TRangeChoice choice = convert::ChooseRange(reader, from, to);
    if (!choice.Range) {
        ShowErrorBox(this, QStringLiteral("В выбранном участке записи нет отсчётов"));
        return;
    }
    RunWithProgress(this, QStringLiteral("Запись участка в файл…"),
                    [&](const capture::TScanControl& control) {
                        convert::WriteRange(reader, *choice.Range, path, format,
                                            [&control](std::uint64_t done, std::uint64_t total) {
                                                control.Progress(static_cast<double>(done) /
                                                                 static_cast<double>(total));
                                                return !*control.Cancel;
                                            });
                    });
}

} // namespace recorder
