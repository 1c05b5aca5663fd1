// The chart as the window is built, with its cursor kept for the end of a drag.
#include "chart/chart.h"
#include "chart/trace_chart.h"
#include "recorder/main_form.h"

namespace recorder {

void TMainForm::BuildChart(QWidget* parent) {
    Chart = new chart::TChart(parent);
    Chart->setObjectName(QStringLiteral("Chart"));
    Series1 = chart::SetUpTraceChart(*Chart);
    Chart->SetIdleCursor(Chart->cursor());
}

} // namespace recorder
