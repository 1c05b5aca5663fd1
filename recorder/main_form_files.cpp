// The data file: the trace saved as text and loaded back, with the time axis and the timing fields
// taken from the points read.

#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "files/file_io.h"
#include "files/io_error.h"
#include "numbers/number_format.h"
#include "recorder/axis_bounds.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/report.h"
#include "trace/data_file.h"

#include <QAction>
#include <QFileDialog>

#include <algorithm>

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

// The start of a token for a message: a file of random bytes may hold a token of a megabyte. Cut
// before a UTF-8 continuation byte, so that the text stays whole letters.
std::string TokenStart(const std::string& token) {
    constexpr std::size_t Shown = 40;
    if (token.size() <= Shown)
        return token;
    std::size_t cut = Shown;
    while (cut > 0 && (static_cast<unsigned char>(token[cut]) & 0xC0) == 0x80)
        --cut;
    return token.substr(0, cut) + "…";
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
    if (points.BadToken) {
        throw files::EInOutError("Invalid numeric input",
                                 path + ", line " + std::to_string(points.BadToken->Line) + ": \"" +
                                     TokenStart(points.BadToken->Token) + "\"");
    }
    if (points.LongLine) {
        throw files::EInOutError("Line too long",
                                 path + ", line " + std::to_string(*points.LongLine) + ": over " +
                                     std::to_string(trace::DataFileLineLimit) + " bytes");
    }
    if (points.LimitExceeded)
        ShowErrorBox(this, QStringLiteral("Количество точек превысило допустимое"));
    FollowLoadedPoints(points.Times);
}

void TMainForm::ShowLoadedPoints(const std::vector<double>& times,
                                 const std::vector<double>& levels) {
    Series1->ClearPoints();
    Series1->AddPoints(times, levels);
    // The trace is no longer the last recording's: an export names no recording counts.
    IntegrityTotals = {};
}

void TMainForm::FollowLoadedPoints(const std::vector<double>& times) {
    // The range always holds 0, where a sweep starts.
    const double tmin = times.empty() ? 0.0 : std::min(0.0, times.front());
    const double tmax = times.empty() ? 0.0 : std::max(0.0, times.back());
    const long double span = static_cast<long double>(tmax) - tmin;
    SetAxisBounds(Chart->BottomAxis(), tmin, tmax);
    // One point has no period of its own: the field keeps the one it shows.
    if (times.size() != 1)
        SetSamplePeriod(span / (static_cast<long double>(times.size()) - 1));
    SetDeflectTimeMax(SamplePeriod() * trace::DataFilePointLimit / 1000);
    SetDeflectTime(span / 1000);
    chart::SetValueListCapacity(static_cast<int>(times.size()));
    Series1->RequestRedraw();
}

} // namespace recorder
