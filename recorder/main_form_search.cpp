// Finding the odd pulse: "Найти импульс…" asks for a level and a width, F3 / Shift+F3 find the
// next / previous match with the same criteria, Ctrl+→ / Ctrl+← bring the next / previous edge
// to the middle of the view. A match is shown centred with its surroundings and marked.

#include "chart/chart.h"
#include "measure/pulse_search.h"
#include "recorder/axis_bounds.h"
#include "recorder/main_form.h"
#include "recorder/progress_task.h"
#include "recorder/pulse_search_dialog.h"
#include "recorder/recording_view.h"
#include "recorder/report.h"

#include <QAction>
#include <QKeySequence>
#include <QToolBar>

#include <cmath>

namespace recorder {

namespace {

// A pulse found takes this share of the view's width, so its neighbours show on both sides.
constexpr double PulseShareOfView = 1.0 / 3.0;

const QString NoPulseNote = QStringLiteral("Импульс не найден");
const QString NoEdgeNote = QStringLiteral("Фронт не найден");

// The samples a search over a recording goes on from: the last at or before `time` for a search
// forward, the first at or after it for one back. A time a search put on a sample may come back
// from the axis a rounding away from it; a millionth of a sample is far below any such drift and
// far above the gap between two samples.
std::uint64_t SampleBefore(double time, double periodMs) {
    return static_cast<std::uint64_t>(std::max(std::floor(time / periodMs + 1e-6), 0.0));
}
std::uint64_t SampleAfter(double time, double periodMs, std::uint64_t total) {
    return std::min(static_cast<std::uint64_t>(std::max(std::ceil(time / periodMs - 1e-6), 0.0)),
                    total);
}

} // namespace

void TMainForm::WireSearch() {
    const QString hint = QStringLiteral("Найти импульс по уровню и длительности (F3 — следующий, "
                                        "Shift+F3 — предыдущий; Ctrl+→, Ctrl+← — к фронту)");
    actFindPulse = new QAction(QIcon(QStringLiteral(":/icons/find-pulse.svg")),
                               QStringLiteral("Найти импульс…"), this);
    actFindPulse->setObjectName(QStringLiteral("actFindPulse"));
    actFindPulse->setToolTip(hint);
    actFindPulse->setStatusTip(hint);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actFindPulse);
    ToolBar1->widgetForAction(actFindPulse)->setObjectName(QStringLiteral("tbtFindPulse"));
    PulseSearchDialog = new TPulseSearchDialog(this);

    // The keys work wherever the window has the focus; a spin edit keeps Ctrl+arrows for its text.
    const auto addKey = [this](QAction*& action, const char* name, QKeySequence key,
                               const std::function<void()>& handler) {
        action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(key);
        addAction(action);
        connect(action, &QAction::triggered, this, [handler] { RunReporting(handler); });
    };
    addKey(actFindNext, "actFindNext", QKeySequence(Qt::Key_F3), [this] { FindPulse(true); });
    addKey(actFindPrevious, "actFindPrevious", QKeySequence(Qt::SHIFT | Qt::Key_F3),
           [this] { FindPulse(false); });
    addKey(actNextEdge, "actNextEdge", QKeySequence(Qt::CTRL | Qt::Key_Right),
           [this] { MoveToEdge(true); });
    addKey(actPreviousEdge, "actPreviousEdge", QKeySequence(Qt::CTRL | Qt::Key_Left),
           [this] { MoveToEdge(false); });
    connect(actFindPulse, &QAction::triggered, this,
            [this] { RunReporting([this] { actFindPulseExecute(actFindPulse); }); });
}

void TMainForm::actFindPulseExecute(QObject*) {
    if (PulseSearchDialog->exec() != QDialog::Accepted)
        return;
    PulseCriteria = PulseSearchDialog->Criteria();
    FindPulse(true);
}

void TMainForm::FindPulse(bool forward) {
    // F3 before any search asks for the criteria first.
    if (!PulseCriteria) {
        actFindPulseExecute(actFindPulse);
        return;
    }
    std::optional<measure::TPulse> pulse;
    if (RecordingView) {
        if (!SearchRecording(forward, pulse))
            return;
    } else {
        const auto times = Series1->XValues().Raw();
        const auto levels = Series1->YValues().Raw();
        pulse = forward ? measure::NextPulse(times, levels, ViewCentre(), *PulseCriteria)
                        : measure::PreviousPulse(times, levels, ViewCentre(), *PulseCriteria);
    }
    if (!pulse) {
        ShowStatusNote(NoPulseNote);
        return;
    }
    ClearSearchNote();
    const double width = pulse->Width();
    CentreView((pulse->Start + pulse->End) / 2, width > 0 ? width / PulseShareOfView : ViewSpan());
    Marker1Time = pulse->Start;
    Marker2Time = pulse->End;
    if (!actViewMarkers->isChecked())
        actViewMarkers->trigger();
    ShowMarkerReadout();
}

void TMainForm::MoveToEdge(bool forward) {
    std::optional<double> edge;
    if (RecordingView) {
        if (!SearchRecordingEdge(forward, edge))
            return;
    } else {
        const auto times = Series1->XValues().Raw();
        const auto levels = Series1->YValues().Raw();
        edge = forward ? measure::NextEdgeTime(times, levels, ViewCentre())
                       : measure::PreviousEdgeTime(times, levels, ViewCentre());
    }
    if (!edge) {
        ShowStatusNote(NoEdgeNote);
        return;
    }
    ClearSearchNote();
    CentreView(*edge, ViewSpan());
    Chart->RedrawNow();
}

bool TMainForm::SearchRecording(bool forward, std::optional<measure::TPulse>& pulse) {
    const capture::TRecordingReader& reader = RecordingView->Reader();
    const double period = RecordingView->PeriodMs();
    const capture::TSearchCriteria criteria = measure::InSamples(*PulseCriteria, period);
    const double centre = ViewCentre();
    std::optional<capture::TFoundPulse> found;
    if (!RunWithProgress(this, QStringLiteral("Поиск импульса в записи…"),
                         [&](const capture::TScanControl& control) {
                             found = forward
                                         ? capture::NextPulse(reader, SampleBefore(centre, period),
                                                              criteria, control)
                                         : capture::PreviousPulse(
                                               reader,
                                               SampleAfter(centre, period, reader.TotalSamples()),
                                               criteria, control);
                         }))
        return false;
    if (found)
        pulse = measure::TPulse{static_cast<double>(found->First) * period,
                                static_cast<double>(found->First + found->Width) * period,
                                found->High};
    return true;
}

bool TMainForm::SearchRecordingEdge(bool forward, std::optional<double>& edge) {
    const capture::TRecordingReader& reader = RecordingView->Reader();
    const double period = RecordingView->PeriodMs();
    const double centre = ViewCentre();
    std::optional<std::uint64_t> found;
    if (!RunWithProgress(this, QStringLiteral("Поиск фронта в записи…"),
                         [&](const capture::TScanControl& control) {
                             found = forward
                                         ? capture::NextEdge(reader, SampleBefore(centre, period),
                                                             control)
                                         : capture::PreviousEdge(
                                               reader,
                                               SampleAfter(centre, period, reader.TotalSamples()),
                                               control);
                         }))
        return false;
    if (found)
        edge = static_cast<double>(*found) * period;
    return true;
}

// The time the search goes on from: the middle of the time axis, or exactly the time a search
// put there while the axis still shows what the search set (the middle computed back from the
// axis's ends may fall a rounding short of it, and the same edge would be found again).
double TMainForm::ViewCentre() const {
    const chart::TChartAxis& axis = Chart->BottomAxis();
    if (ShownCentre && ShownCentre->Minimum == axis.Minimum() &&
        ShownCentre->Maximum == axis.Maximum())
        return ShownCentre->Time;
    return (axis.Minimum() + axis.Maximum()) / 2;
}

double TMainForm::ViewSpan() const {
    return Chart->BottomAxis().Maximum() - Chart->BottomAxis().Minimum();
}

void TMainForm::CentreView(double time, double span) {
    // A reverse drag on the chart undoes it as it undoes a zoom.
    Chart->SaveRangesForUndo();
    chart::TChartAxis& axis = Chart->BottomAxis();
    SetAxisBounds(axis, time - span / 2, time + span / 2);
    ShownCentre = TShownCentre{axis.Minimum(), axis.Maximum(), time};
}

// A search that succeeds takes back its own note of a failed one, and only that.
void TMainForm::ClearSearchNote() {
    if (StatusNote == NoPulseNote || StatusNote == NoEdgeNote)
        ShowStatusNote(QString());
}

} // namespace recorder
