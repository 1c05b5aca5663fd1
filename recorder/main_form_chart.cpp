// The chart as the window is built, with its cursor kept for the end of a drag.
#include "chart/chart.h"
#include "recorder/main_form.h"
#include "recorder/trace_chart.h"

namespace recorder {

void TMainForm::BuildChart(QWidget* parent) {
    Chart = new chart::TChart(parent);
    Chart->setObjectName(QStringLiteral("Chart"));
    Series1 = SetUpTraceChart(*Chart);
    Chart->SetIdleCursor(Chart->cursor());
}

} // namespace recorder
