// Interchange with logic analyser programs, waveform viewers and spreadsheets: the trace exported
// as a Value Change Dump or a CSV table, and a Value Change Dump of another tool imported.

#include "chart/chart.h"
#include "controls/spin_edit.h"
#include "files/file_io.h"
#include "files/io_error.h"
#include "recorder/busy_cursor.h"
#include "recorder/main_form.h"
#include "recorder/message_box.h"
#include "recorder/radio_group.h"
#include "recorder/report.h"
#include "trace/data_file.h"
#include "trace/vcd.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <optional>

namespace recorder {

namespace {

// Runs a file dialog of its own name; the chosen path, or none when the operator cancels.
std::optional<std::string> ChooseFile(QWidget* parent, const char* name,
                                      QFileDialog::AcceptMode mode, const QString& filter,
                                      const QString& suffix) {
    QFileDialog dialog(parent);
    dialog.setObjectName(QString::fromLatin1(name));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile
                                                       : QFileDialog::ExistingFile);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}

[[noreturn]] void ThrowBadVcd(const std::string& path, const trace::TVcdError& error) {
    throw files::EInOutError("Invalid VCD file",
                             path + ", line " + std::to_string(error.Line) + ": " + error.Message);
}

// The sample period of a trace from its own times: an imported trace keeps the step it was
// written at, also where the period field, held to the device's range, shows another. One point
// has no step of its own and takes the field's.
double TraceStep(const std::vector<double>& times, double fieldPeriod) {
    if (times.size() < 2)
        return fieldPeriod;
    return static_cast<double>((static_cast<long double>(times.back()) - times.front()) /
                               static_cast<long double>(times.size() - 1));
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

// The whole trace, or t1 .. t2 while the markers are shown apart.
std::pair<std::size_t, std::size_t> TMainForm::ExportRange() const {
    const std::vector<double>& times = Series1->XValues().Raw();
    if (!actViewMarkers->isChecked() || Marker1Time == Marker2Time)
        return {0, times.size()};
    const auto [from, to] = std::minmax(Marker1Time, Marker2Time);
    return {
        static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), from) -
                                 times.begin()),
        static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), to) - times.begin())};
}

void TMainForm::actExportVcdExecute(QObject*) {
    ExportTrace(
        "ExportVcdDialog", QStringLiteral("Value Change Dump (*.vcd)"), QStringLiteral("vcd"),
        [this](auto times, auto levels) {
            const double period =
                TraceStep(Series1->XValues().Raw(), static_cast<double>(spedSamplePeriod->Value()));
            const std::string sweep = acquisition::SweepText(
                rgrpDeflectOptions->ItemIndex() == 0 ? acquisition::TSweep::smSingle
                                                     : acquisition::TSweep::smPeriodic,
                1, spedDeflectTime->Value(), times.size());
            return trace::FormatVcd(
                times, levels,
                {QDateTime::currentDateTime().toString(Qt::ISODate).toStdString(), "Тальвир 1.0",
                 period, sweep,
                 IntegrityTotals.Seconds > 0 ? acquisition::IntegrityComment(IntegrityTotals)
                                             : ""});
        });
}

void TMainForm::actExportCsvExecute(QObject*) {
    ExportTrace("ExportCsvDialog", QStringLiteral("CSV (*.csv)"), QStringLiteral("csv"),
                [](auto times, auto levels) { return trace::FormatCsv(times, levels); });
}

void TMainForm::ExportTrace(
    const char* dialogName, const QString& filter, const QString& suffix,
    const std::function<std::string(std::span<const double>, std::span<const double>)>& format) {
    const auto [first, last] = ExportRange();
    if (first >= last) {
        ShowErrorBox(this, QStringLiteral("График не содержит данных"));
        return;
    }
    const auto path = ChooseFile(this, dialogName, QFileDialog::AcceptSave, filter, suffix);
    if (!path)
        return;
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
    trace::TVcdTrace points;
    std::size_t unknown = 0;
    {
        TBusyCursor busy;
        const files::TFileContent file(*path);
        const trace::TVcdHeaderRead header = trace::ReadVcdVariables(file.View());
        if (header.Error)
            ThrowBadVcd(*path, *header.Error);
        if (header.Variables.empty())
            throw files::EInOutError("Invalid VCD file", *path + ": no 1-bit variable");
        std::string code = header.Variables.front().Code;
        if (header.Variables.size() > 1) {
            QStringList names;
            for (const trace::TVcdVariable& variable : header.Variables)
                names << QString::fromStdString(variable.Name);
            QApplication::restoreOverrideCursor();
            bool chosen = false;
            const QString name =
                QInputDialog::getItem(this, QStringLiteral("Импорт VCD"), QStringLiteral("Сигнал:"),
                                      names, 0, false, &chosen);
            QApplication::setOverrideCursor(Qt::WaitCursor);
            if (!chosen)
                return;
            code = header.Variables[static_cast<std::size_t>(names.indexOf(name))].Code;
        }
        const trace::TVcdSignalRead read =
            trace::ReadVcdSignal(file.View(), code, trace::DataFilePointLimit);
        if (read.Error)
            ThrowBadVcd(*path, *read.Error);
        unknown = read.Signal.Unknown;
        points = trace::VcdToTrace(read.Signal, trace::DataFilePointLimit);
        ShowLoadedPoints(points.Times, points.Levels);
    }
    if (points.LimitExceeded)
        ShowErrorBox(this, QStringLiteral("Количество точек превысило допустимое"));
    FollowLoadedPoints(points.Times);
    if (unknown > 0)
        QMessageBox::information(this, QStringLiteral("Импорт VCD"),
                                 QStringLiteral("Значения x и z прочитаны как 0: %1").arg(unknown));
}

} // namespace recorder
