#include "chart/axis.h"

#include "chart/chart.h"
#include "chart/number_format.h"

#include <cmath>

namespace chart {

void TChartAxisTitle::SetCaption(const QString& c) {
    if (c == caption_)
        return;
    caption_ = c;
    Changed();
}

void TChartAxisTitle::SetFont(const QFont& f) {
    font_ = f;
    Changed();
}

void TChartAxisTitle::SetFontColor(QColor c) {
    fontColor_ = c;
    Changed();
}

TChartAxis::TChartAxis(Kind kind, TChart* chart) : kind_(kind), chart_(chart) {
    if (kind_ == Left)
        title_.SetAngle(90);
    else if (kind_ == Right)
        title_.SetAngle(270);
    if (kind_ == Depth)
        visible_ = false;
    WireSubObjects();
}

void TChartAxis::WireSubObjects() {
    const auto changed = [this] { Changed(); };
    for (TChartPen* pen : {&axisPen_, &grid_, &ticks_, &ticksInner_, &minorTicks_, &minorGrid_})
        pen->OnChange = changed;
    title_.OnChange = changed;
}

void TChartAxis::Changed() {
    if (chart_)
        chart_->Invalidate();
}

void TChartAxis::SetAutomatic(bool v) {
    automatic_ = autoMin_ = autoMax_ = v;
    Changed();
}

void TChartAxis::SetAutomaticMinimum(bool v) {
    autoMin_ = v;
    automatic_ = v ? autoMax_ : false;
    Changed();
}

void TChartAxis::SetAutomaticMaximum(bool v) {
    autoMax_ = v;
    automatic_ = v ? autoMin_ : false;
    Changed();
}

void TChartAxis::SetMinimum(double v) {
    if (v > maximum_)
        throw AxisException("Axis Minimum Value must be <= Maximum");
    SetAndRepaint(minimum_, v);
}

void TChartAxis::SetMaximum(double v) {
    if (v < minimum_)
        throw AxisException("Axis Maximum Value must be >= Minimum");
    SetAndRepaint(maximum_, v);
}

void TChartAxis::SetIncrement(double v) {
    if (!(v >= 0))
        throw AxisException("Axis increment must be >= 0");
    SetAndRepaint(increment_, v);
}

void TChartAxis::SetRange(double minimum, double maximum) {
    automatic_ = autoMin_ = autoMax_ = false;
    if (minimum > maximum)
        std::swap(minimum, maximum);
    minimum_ = minimum;
    maximum_ = maximum;
    if (maximum_ - minimum_ < 1e-10)
        maximum_ = minimum_ + 1e-10;
    Changed();
}

TAxisState TChartAxis::SaveState() const {
    return TAxisState{automatic_, autoMin_, autoMax_, minimum_, maximum_};
}

void TChartAxis::RestoreState(const TAxisState& state) {
    // The saved values are put back as they were, flags included: going through SetRange would
    // widen a zero span and turn a partly automatic axis fully manual.
    automatic_ = state.Automatic;
    autoMin_ = state.AutomaticMinimum;
    autoMax_ = state.AutomaticMaximum;
    minimum_ = state.Minimum;
    maximum_ = state.Maximum;
    Changed();
}

void TChartAxis::SetInverted(bool v) {
    SetAndRepaint(inverted_, v);
}
void TChartAxis::SetVisible(bool v) {
    SetAndRepaint(visible_, v);
}
void TChartAxis::SetLabels(bool v) {
    SetAndRepaint(labels_, v);
}
void TChartAxis::SetLabelsOnAxis(bool v) {
    SetAndRepaint(labelsOnAxis_, v);
}
void TChartAxis::SetTickOnLabelsOnly(bool v) {
    SetAndRepaint(tickOnLabelsOnly_, v);
}
void TChartAxis::SetRoundFirstLabel(bool v) {
    SetAndRepaint(roundFirstLabel_, v);
}
void TChartAxis::SetAxisValuesFormat(const QString& f) {
    SetAndRepaint(valuesFormat_, f);
}
void TChartAxis::SetLabelsSeparation(int percent) {
    SetAndRepaint(labelsSeparation_, percent);
}
void TChartAxis::SetLabelStyle(TAxisLabelStyle s) {
    SetAndRepaint(labelStyle_, s);
}
void TChartAxis::SetLabelsFont(const QFont& f) {
    SetAndRepaint(labelsFont_, f);
}
void TChartAxis::SetTickLength(int v) {
    SetAndRepaint(tickLength_, v);
}
void TChartAxis::SetTickInnerLength(int v) {
    SetAndRepaint(tickInnerLength_, v);
}
void TChartAxis::SetMinorTickLength(int v) {
    SetAndRepaint(minorTickLength_, v);
}
void TChartAxis::SetMinorTickCount(int v) {
    SetAndRepaint(minorTickCount_, v);
}
void TChartAxis::SetStartPosition(double v) {
    SetAndRepaint(startPosition_, v);
}
void TChartAxis::SetEndPosition(double v) {
    SetAndRepaint(endPosition_, v);
}
void TChartAxis::SetPositionPercent(double v) {
    SetAndRepaint(positionPercent_, v);
}

void TChartAxis::AdjustRange(bool hasData, double dataMin, double dataMax) {
    if (automatic_ || autoMax_)
        maximum_ = hasData ? dataMax : 0;
    if (automatic_ || autoMin_)
        minimum_ = hasData ? dataMin : 0;
    effMin_ = minimum_;
    effMax_ = maximum_;
    if (effMin_ > effMax_)
        std::swap(effMin_, effMax_);
    range_ = static_cast<long double>(effMax_) - effMin_;
}

void TChartAxis::AdjustSpan(int plotLeft, int plotTop, int plotRight, int plotBottom) {
    const int from = Horizontal() ? plotLeft : plotTop;
    const int size = Horizontal() ? plotRight - plotLeft : plotBottom - plotTop;
    startPixel_ = from + static_cast<int>(std::llrint(size * startPosition_ / 100.0));
    endPixel_ = from + static_cast<int>(std::llrint(size * endPosition_ / 100.0));
}

double TChartAxis::AxisPixelToValue(int pixel) const {
    const int length = AxisLength();
    if (length < 1)
        return 0;
    const long double a =
        static_cast<long double>(inverted_ ? endPixel_ - pixel : pixel - startPixel_) * range_ /
        length;
    return static_cast<double>(Horizontal() ? effMin_ + a : effMax_ - a);
}

QString TChartAxis::FormatNumber(double value) const {
    return FormatFloat(valuesFormat_, value);
}

QString TChartAxis::FormatLabel(double value) const {
    QString text = FormatNumber(value);
    if (chart_ && chart_->OnGetAxisLabel)
        chart_->OnGetAxisLabel(const_cast<TChartAxis*>(this), nullptr, -1, text);
    return text;
}

} // namespace chart
