// Interchange with logic analyser programs, waveform viewers and spreadsheets: the trace exported
// as a Value Change Dump or a CSV table, and a Value Change Dump of another tool imported.

#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "files/file_io.h"
#include "files/io_error.h"
#include "measure/export_range.h"
#include "measure/trace_timing.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/radio_group.h"
#include "recorder/report.h"
#include "trace/csv.h"
#include "trace/data_file.h"
#include "trace/vcd.h"
#include "trace/vcd_import.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>
#include <QToolButton>

#include <optional>

namespace recorder {

namespace {

const QString ImportTitle = QStringLiteral("Импорт VCD");

// Asks the operator which of several signals to import, with the busy cursor put aside meanwhile.
std::optional<std::size_t> ChooseSignal(QWidget* parent,
                                        const std::vector<trace::TVcdVariable>& variables) {
    QStringList names;
    for (const trace::TVcdVariable& variable : variables)
        names << QString::fromStdString(variable.Name);
    QApplication::restoreOverrideCursor();
    bool chosen = false;
    const QString name = QInputDialog::getItem(parent, ImportTitle, QStringLiteral("Сигнал:"),
                                               names, 0, false, &chosen);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!chosen)
        return std::nullopt;
    return static_cast<std::size_t>(names.indexOf(name));
}

// The file's points, of the signal the operator picks where it holds several; read under the
// busy cursor.
trace::TVcdImport ReadVcdFile(QWidget* parent, const std::string& path) {
    TBusyCursor busy;
    const files::TFileContent file(path);
    trace::TVcdImport import = trace::ImportVcd(file.View(), path, [parent](const auto& variables) {
        return ChooseSignal(parent, variables);
    });
    if (import.Error)
        throw files::EInOutError("Invalid VCD file", *import.Error);
    return import;
}

} // namespace

void TMainForm::WireInterchange() {
    auto* menu = new QMenu(this);
    actExportVcd = menu->addAction(QStringLiteral("Экспорт VCD…"));
    actExportVcd->setObjectName(QStringLiteral("actExportVcd"));
    actImportVcd = menu->addAction(QStringLiteral("Импорт VCD…"));
    actImportVcd->setObjectName(QStringLiteral("actImportVcd"));
    actExportCsv = menu->addAction(QStringLiteral("Экспорт CSV…"));
    actExportCsv->setObjectName(QStringLiteral("actExportCsv"));
    auto* button = new QToolButton(ToolBar1);
    button->setObjectName(QStringLiteral("tbtInterchange"));
    button->setText(QStringLiteral("VCD/CSV"));
    button->setToolTip(QStringLiteral("Обмен с анализаторами и таблицами: VCD и CSV"));
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    ToolBar1->addSeparator();
    ToolBar1->addWidget(button);
    connect(actExportVcd, &QAction::triggered, this,
            [this] { RunReporting([this] { actExportVcdExecute(actExportVcd); }); });
    connect(actImportVcd, &QAction::triggered, this,
            [this] { RunReporting([this] { actImportVcdExecute(actImportVcd); }); });
    connect(actExportCsv, &QAction::triggered, this,
            [this] { RunReporting([this] { actExportCsvExecute(actExportCsv); }); });
}

std::pair<std::size_t, std::size_t> TMainForm::ExportRange() const {
    return measure::ExportRange(Series1->XValues().Raw(), actViewMarkers->isChecked(), Marker1Time,
                                Marker2Time);
}

void TMainForm::actExportVcdExecute(QObject*) {
    ExportTrace("ExportVcdDialog", QStringLiteral("Value Change Dump (*.vcd)"),
                QStringLiteral("vcd"), convert::TFormat::Vcd, [this](auto times, auto levels) {
                    const double period = measure::TraceStep(
                        Series1->XValues().Raw(), static_cast<double>(spedSamplePeriod->Value()));
                    const std::string sweep = acquisition::SweepText(
                        rgrpDeflectOptions->ItemIndex() == 0 ? acquisition::TSweep::smSingle
                                                             : acquisition::TSweep::smPeriodic,
                        1, spedDeflectTime->Value(), times.size());
                    return trace::FormatVcd(
                        times, levels,
                        {QDateTime::currentDateTime().toString(Qt::ISODate).toStdString(),
                         "Тальвир " TALVIR_VERSION, period, sweep,
                         IntegrityTotals.Seconds > 0
                             ? acquisition::IntegrityComment(IntegrityTotals)
                             : ""});
                });
}

void TMainForm::actExportCsvExecute(QObject*) {
    ExportTrace("ExportCsvDialog", QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"),
                convert::TFormat::Csv,
                [](auto times, auto levels) { return trace::FormatCsv(times, levels); });
}

void TMainForm::ExportTrace(
    const char* dialogName, const QString& filter, const QString& suffix,
    convert::TFormat recordingFormat,
    const std::function<std::string(std::span<const double>, std::span<const double>)>& format) {
    const auto [first, last] = ExportRange();
    if (first >= last) {
        ShowErrorBox(this, QStringLiteral("График не содержит данных"));
        return;
    }
    const auto path = ChooseFile(this, dialogName, QFileDialog::AcceptSave, filter, suffix);
    if (!path)
        return;
    if (RecordingView) {
        ExportRecording(*path, recordingFormat);
        return;
    }
    // The range as it is when the operator confirms: a recording may have gone on meanwhile.
    const auto [from, to] = ExportRange();
    const std::span<const double> times(Series1->XValues().Raw());
    const std::span<const double> levels(Series1->YValues().Raw());
    files::ReplaceFileContent(
        *path, format(times.subspan(from, to - from), levels.subspan(from, to - from)));
}

void TMainForm::actImportVcdExecute(QObject*) {
    if (RecordingState.State() != acquisition::TRecorderState::Stopped) {
        ShowErrorBox(this, QStringLiteral("Остановите запись перед загрузкой файла"));
        return;
    }
    const auto path =
        ChooseFile(this, "ImportVcdDialog", QFileDialog::AcceptOpen,
                   QStringLiteral("Value Change Dump (*.vcd)"), QStringLiteral("vcd"));
    if (!path)
        return;
    const trace::TVcdImport import = ReadVcdFile(this, *path);
    if (!import.Chosen)
        return;
    ShowLoadedPoints(import.Points.Times, import.Points.Levels);
    FollowLoadedPoints(import.Points.Times, import.Points.LimitExceeded);
    if (const auto note = trace::UnknownValuesNote(import.Unknown))
        QMessageBox::information(this, ImportTitle, QString::fromStdString(*note));
}

} // namespace recorder
