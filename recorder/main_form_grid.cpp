// The time grid and the level axis: the grid switch, period and offset, the label positions the
// chart asks for, the level axis's inversion and its return to -1..2 after zooms and scrolls.

#include "chart/chart.h"
#include "controls/slider.h"
#include "controls/spin_edit.h"
#include "measure/grid_labels.h"
#include "recorder/axis_bounds.h"
#include "recorder/main_form.h"

#include <QAction>
#include <QLabel>

namespace recorder {

namespace {

// The level axis shows the levels 0 and 1 with a level's room above and below.
constexpr double LevelAxisMinimum = -1.0;
constexpr double LevelAxisMaximum = 2.0;

} // namespace

void TMainForm::WireGrid() {
    connect(actViewGrid, &QAction::triggered, this, [this] { actViewGridExecute(actViewGrid); });
    connect(actInvertLeftAxis, &QAction::triggered, this,
            [this] { actInvertLeftAxisExecute(actInvertLeftAxis); });
    sldrGridOffset->OnChange = [this](QObject* sender) { sldrGridOffsetChange(sender); };
    sldrGridOffset->OnChanged = [this](QObject* sender) { sldrGridOffsetChanged(sender); };
    Chart->OnBeforeDrawAxes = [this](QObject* sender) { ChartBeforeDrawAxes(sender); };
    Chart->OnGetNextAxisLabel = [this](chart::TChartAxis* sender, int index, double& value,
                                       bool& stop) {
        ChartGetNextAxisLabel(sender, index, value, stop);
    };
    Chart->OnZoom = [this](QObject* sender) { ChartZoom(sender); };
    Chart->OnScroll = [this](QObject* sender) { ChartScroll(sender); };
}

// The grid is the chart's axes: switching it flips them and takes the period as the time axis's
// step.
void TMainForm::actViewGridExecute(QObject*) {
    Chart->BottomAxis().SetIncrement(static_cast<double>(spedGridPeriod->Value()));
    Chart->SetAxisVisible(!Chart->AxisVisible());
    Series1->RequestRedraw();
}

void TMainForm::sldrGridOffsetChange(QObject*) {
    lblGridOffset->setText(QStringLiteral("Смещение сетки = %1%").arg(sldrGridOffset->Value()));
}

// A drag moves the grid only when it ends; the caption follows the thumb meanwhile.
void TMainForm::sldrGridOffsetChanged(QObject*) {
    Chart->RedrawNow();
}

void TMainForm::ChartBeforeDrawAxes(QObject*) {
    BottomLabelIndex = 0;
}

// The period is read at every label, so a new period shows at the next drawing of the axes.
void TMainForm::ChartGetNextAxisLabel(chart::TChartAxis* Sender, int, double& LabelValue,
                                      bool& Stop) {
    if (Sender == &Chart->BottomAxis()) {
        LabelValue = measure::NextTimeLabel(spedGridPeriod->Value(), sldrGridOffset->Value(),
                                            LabelValue, BottomLabelIndex);
        ++BottomLabelIndex;
    } else if (Sender == &Chart->LeftAxis()) {
        LabelValue = measure::NextLevelLabel(LabelValue);
    }
    Stop = false;
}

void TMainForm::actInvertLeftAxisExecute(QObject*) {
    Chart->LeftAxis().SetInverted(actInvertLeftAxis->isChecked());
    Chart->RedrawNow();
}

void TMainForm::ChartZoom(QObject*) {
    ResetLevelAxis();
}

void TMainForm::ChartScroll(QObject*) {
    ResetLevelAxis();
}

// Zooms and scrolls act on time only. The axis refuses a minimum above its maximum, and a zoom
// dragged on the time axis's band leaves the level axis wholly below -1: the maximum then goes up
// first.
void TMainForm::ResetLevelAxis() {
    SetAxisBounds(Chart->LeftAxis(), LevelAxisMinimum, LevelAxisMaximum);
}

} // namespace recorder
