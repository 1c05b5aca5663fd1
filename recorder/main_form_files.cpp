// The data file: the trace saved as text and loaded back, with the time axis and the timing fields
// taken from the points read.

#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "files/file_io.h"
#include "files/io_error.h"
#include "measure/trace_timing.h"
#include "numbers/number_format.h"
#include "recorder/axis_bounds.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/report.h"
#include "trace/data_file.h"

#include <QAction>
#include <QFileDialog>

namespace recorder {

namespace {

const QString TextFileFilter = QStringLiteral("Text file (*.txt)");

QFileDialog* MakeFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode) {
    auto* dialog = new QFileDialog(parent);
    dialog->setObjectName(QString::fromLatin1(name));
    dialog->setAcceptMode(mode);
    dialog->setNameFilter(TextFileFilter);
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    return dialog;
}

} // namespace

void TMainForm::WireFiles() {
    SaveDialog = MakeFileDialog(this, "SaveDialog", QFileDialog::AcceptSave);
    SaveDialog->setFileMode(QFileDialog::AnyFile);
    SaveDialog->selectFile(QStringLiteral("Data"));
    OpenDialog = MakeFileDialog(this, "OpenDialog", QFileDialog::AcceptOpen);
    OpenDialog->setFileMode(QFileDialog::ExistingFile);
    connect(actSave, &QAction::triggered, this,
            [this] { RunReporting([this] { actSaveExecute(actSave); }); });
    connect(actLoad, &QAction::triggered, this,
            [this] { RunReporting([this] { actLoadExecute(actLoad); }); });
}

void TMainForm::actSaveExecute(QObject*) {
    if (Series1->YValues().ValueCount() == 0) {
        ShowErrorBox(this, QStringLiteral("График не содержит данных"));
        return;
    }
    if (SaveDialog->exec() != QDialog::Accepted || SaveDialog->selectedFiles().isEmpty())
        return;
    if (RecordingView) {
        ExportRecording(SaveDialog->selectedFiles().front().toStdString(),
                        convert::TFormat::DataFile);
        return;
    }
    // What the trace holds when the operator confirms: a recording may have gone on meanwhile.
    const std::string text = trace::FormatDataFile(
        Series1->XValues().Raw(), Series1->YValues().Raw(), numbers::DataFileDecimalPoint());
    files::ReplaceFileContent(SaveDialog->selectedFiles().front().toStdString(), text);
}

void TMainForm::actLoadExecute(QObject*) {
    // The running handlers write into the trace; replacing it under them would scramble both.
    if (RecordingState.State() != acquisition::TRecorderState::Stopped) {
        ShowErrorBox(this, QStringLiteral("Остановите запись перед загрузкой файла"));
        return;
    }
    if (OpenDialog->exec() != QDialog::Accepted || OpenDialog->selectedFiles().isEmpty())
        return;
    const std::string path = OpenDialog->selectedFiles().front().toStdString();
    trace::TDataFileContents points;
    {
        TBusyCursor busy;
        points = trace::ReadDataFile(path);
        trace::SortByTime(points.Times, points.Levels);
        ShowLoadedPoints(points.Times, points.Levels);
    }
    // The points before a bad token or an endless line stay; the axis and the timing fields keep
    // what they showed.
    if (const auto error = trace::ReadingError(points, path))
        throw files::EInOutError(error->Text, error->Detail);
    FollowLoadedPoints(points.Times, points.LimitExceeded);
}

void TMainForm::ShowLoadedPoints(const std::vector<double>& times,
                                 const std::vector<double>& levels) {
    LeaveRecordingView();
    Series1->ClearPoints();
    Series1->AddPoints(times, levels);
    // The trace is no longer the last recording's: an export names no recording counts.
    IntegrityTotals = {};
    DecodeWanted = true;
}

void TMainForm::FollowLoadedPoints(const std::vector<double>& times, bool limitExceeded) {
    if (limitExceeded)
        ShowErrorBox(this, QStringLiteral("Количество точек превысило допустимое"));
    const measure::TLoadedTiming timing = measure::LoadedTiming(times);
    SetAxisBounds(Chart->BottomAxis(), timing.AxisMinimum, timing.AxisMaximum);
    if (timing.SamplePeriodMs)
        SetSamplePeriod(*timing.SamplePeriodMs);
    // The period as the field took it, within the device's range.
    SetDeflectTimeMax(measure::LoadedDeflectTimeMax(SamplePeriod(), trace::DataFilePointLimit));
    SetDeflectTime(timing.DeflectTimeS);
    chart::SetValueListCapacity(static_cast<int>(times.size()));
    Series1->RequestRedraw();
}

} // namespace recorder
