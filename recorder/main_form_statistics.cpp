// Pulse statistics beside the chart: figures of the whole trace or of t1 .. t2, refreshed when a
// picture of changed data has been painted, so at most at the chart's own rate.

#include "chart/chart.h"
#include "measure/pulse_statistics.h"
#include "measure/recording_statistics.h"
#include "recorder/main_form.h"
#include "recorder/progress_task.h"
#include "recorder/recording_view.h"
#include "recorder/report.h"
#include "recorder/statistics_panel.h"
#include "settings/form_placement.h"

#include <QAction>
#include <QDockWidget>
#include <QToolBar>

#include <algorithm>
#include <utility>

namespace recorder {

void TMainForm::WireStatistics() {
    const QString hint = QStringLiteral("Статистика импульсов");
    actViewStatistics =
        new QAction(QIcon(QStringLiteral(":/icons/pulse-statistics.svg")), hint, this);
    actViewStatistics->setObjectName(QStringLiteral("actViewStatistics"));
    actViewStatistics->setToolTip(hint);
    actViewStatistics->setStatusTip(hint);
    actViewStatistics->setCheckable(true);
    ToolBar1->addSeparator();
    ToolBar1->addAction(actViewStatistics);
    ToolBar1->widgetForAction(actViewStatistics)
        ->setObjectName(QStringLiteral("tbtViewStatistics"));

    StatisticsDock = new QDockWidget(hint, this);
    StatisticsDock->setObjectName(QStringLiteral("StatisticsDock"));
    // Only the tool button shows and hides it, so that its state is the panel's.
    StatisticsDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    StatisticsDock->setAllowedAreas(Qt::RightDockWidgetArea);
    StatisticsPanel = new TStatisticsPanel(StatisticsDock);
    StatisticsDock->setWidget(StatisticsPanel);
    StatisticsPanel->OnWholeRecording = [this] { RunReporting([this] { CountWholeRecording(); }); };
    addDockWidget(Qt::RightDockWidgetArea, StatisticsDock);
    StatisticsDock->hide();

    connect(actViewStatistics, &QAction::toggled, this, [this](bool shown) {
        StatisticsDock->setVisible(shown);
        if (shown)
            UpdateStatistics();
    });
    connect(actViewStatistics, &QAction::triggered, this,
            [this](bool shown) { FitWindowToStatistics(shown); });
    // Shown or hidden, the markers choose between t1 .. t2 and the whole trace.
    connect(actViewMarkers, &QAction::toggled, this, [this] {
        if (StatisticsDock->isVisible())
            UpdateStatistics();
    });
    // Every other change of the trace or of the markers asks the chart for a redraw.
    connect(Chart, &chart::TChart::redrawRequested, this, [this] { StatisticsStale = true; });
    connect(Chart, &chart::TChart::painted, this, [this] {
        if (StatisticsStale && StatisticsDock->isVisible())
            UpdateStatistics();
    });
}

// Shown by the operator, the panel widens the window by its own width rather than narrow the trace
// and the controls beneath it; a window near the screen's right edge moves left to make room, and
// none grows past the screen's free area. Hidden, it gives back what it added.
void TMainForm::FitWindowToStatistics(bool shown) {
    if (isMaximized() || isFullScreen())
        return;
    if (shown) {
        const int before = width();
        setGeometry(settings::FitOnScreen(
            *this, geometry().adjusted(0, 0, StatisticsDock->sizeHint().width(), 0)));
        StatisticsWidening = std::max(width() - before, 0);
    } else {
        resize(width() - std::exchange(StatisticsWidening, 0), height());
    }
}

void TMainForm::UpdateStatistics() {
    StatisticsStale = false;
    StatisticsPanel->OfferWholeRecording(RecordingView != nullptr);
    // Columns of a recording are no samples: their figures would be wrong, not rough.
    if (RecordingView && !RecordingView->HoldsSamples()) {
        if (WholeRecordingStatistics)
            StatisticsPanel->Show(*WholeRecordingStatistics, QStringLiteral("По всей записи"));
        else
            StatisticsPanel->ShowNone(QStringLiteral(
                "На экране больше 500 001 отсчёта: приблизьте или посчитайте по всей записи"));
        return;
    }
    const auto [first, last] = ExportRange();
    StatisticsPanel->Show(
        measure::PulseStatistics(Series1->XValues().Raw(), Series1->YValues().Raw(), first, last));
}

void TMainForm::CountWholeRecording() {
    if (!RecordingView)
        return;
    const capture::TRecordingReader& reader = RecordingView->Reader();
    std::optional<measure::TPulseStatistics> figures;
    if (!RunWithProgress(this, QStringLiteral("Статистика по всей записи…"),
                         [&](const capture::TScanControl& control) {
                             figures = measure::RecordingPulseStatistics(reader, control);
                         }))
        return;
    WholeRecordingStatistics = figures;
    if (figures)
        StatisticsPanel->Show(*figures, QStringLiteral("По всей записи"));
}

} // namespace recorder
