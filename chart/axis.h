#pragma once
// A chart axis: its range, its title and label settings, and the mapping between values and
// pixels. Usable without a chart for the arithmetic.

#include "chart/chart_pen.h"

#include <QFont>
#include <QString>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace chart {

class TChart;
class TChartAxis;

class AxisException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum TAxisLabelStyle { talAuto, talNone, talValue, talMark, talText };

class TChartSeries;

// Owner's hook that takes over the label positions of an axis; in/out value and stop flag.
using TAxisOnGetNextLabel =
    std::function<void(TChartAxis* Sender, int LabelIndex, double& LabelValue, bool& Stop)>;
// Owner's hook that may replace a label text.
using TAxisOnGetLabel = std::function<void(TChartAxis* Sender, TChartSeries* Series, int ValueIndex,
                                           QString& LabelText)>;

class TChartAxisTitle {
public:
    QString Caption() const { return caption_; }
    void SetCaption(const QString& c);
    QFont Font() const { return font_; }
    void SetFont(const QFont& f);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(QColor c);
    int Angle() const { return angle_; }
    void SetAngle(int a) {
        if (a == angle_)
            return;
        angle_ = a;
        Changed();
    }

    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange)
            OnChange();
    }
    QString caption_;
    QFont font_;
    QColor fontColor_ = Qt::black;
    int angle_ = 0;
};

// What a zoom or scroll saves of an axis so that an undo can put it back exactly.
struct TAxisState {
    bool Automatic = true, AutomaticMinimum = true, AutomaticMaximum = true;
    double Minimum = 0, Maximum = 0;
};

// One axis: its stored range and drawing settings, and the pixel span the chart assigns it at each
// full repaint. A standalone axis (no chart) is usable for the value/pixel arithmetic.
class TChartAxis {
public:
    enum Kind { Bottom, Top, Left, Right, Depth };
    explicit TChartAxis(Kind kind, TChart* chart = nullptr);

    Kind AxisKind() const { return kind_; }
    bool Horizontal() const { return kind_ == Bottom || kind_ == Top; }
    bool OtherSide() const { return kind_ == Top || kind_ == Right; }
    bool IsDepthAxis() const { return kind_ == Depth; }

    bool Automatic() const { return automatic_; }
    void SetAutomatic(bool v);
    bool AutomaticMinimum() const { return autoMin_; }
    void SetAutomaticMinimum(bool v);
    bool AutomaticMaximum() const { return autoMax_; }
    void SetAutomaticMaximum(bool v);

    double Minimum() const { return minimum_; }
    void SetMinimum(double v); // AxisException when above Maximum
    double Maximum() const { return maximum_; }
    void SetMaximum(double v); // AxisException when below Minimum
    double Increment() const { return increment_; }
    void SetIncrement(double v); // AxisException when negative
    // Zoom, scroll and undo: no checks, ends sorted, at least 1e-10 apart, automatic flags off.
    void SetRange(double minimum, double maximum);

    TAxisState SaveState() const;
    void RestoreState(const TAxisState& state);

    bool Inverted() const { return inverted_; }
    void SetInverted(bool v);
    bool Visible() const { return visible_; }
    void SetVisible(bool v);
    bool Labels() const { return labels_; }
    void SetLabels(bool v);
    bool LabelsOnAxis() const { return labelsOnAxis_; }
    void SetLabelsOnAxis(bool v);
    bool TickOnLabelsOnly() const { return tickOnLabelsOnly_; }
    void SetTickOnLabelsOnly(bool v);
    bool RoundFirstLabel() const { return roundFirstLabel_; }
    void SetRoundFirstLabel(bool v);
    bool ExactDateTime() const { return exactDateTime_; }
    void SetExactDateTime(bool v) { exactDateTime_ = v; }
    QString AxisValuesFormat() const { return valuesFormat_; }
    void SetAxisValuesFormat(const QString& f);
    int LabelsSeparation() const { return labelsSeparation_; }
    void SetLabelsSeparation(int percent);
    TAxisLabelStyle LabelStyle() const { return labelStyle_; }
    void SetLabelStyle(TAxisLabelStyle s);
    QFont LabelsFont() const { return labelsFont_; }
    void SetLabelsFont(const QFont& f);
    int TickLength() const { return tickLength_; }
    void SetTickLength(int v);
    int TickInnerLength() const { return tickInnerLength_; }
    void SetTickInnerLength(int v);
    int MinorTickLength() const { return minorTickLength_; }
    void SetMinorTickLength(int v);
    int MinorTickCount() const { return minorTickCount_; }
    void SetMinorTickCount(int v);
    double StartPosition() const { return startPosition_; }
    void SetStartPosition(double v);
    double EndPosition() const { return endPosition_; }
    void SetEndPosition(double v);
    double PositionPercent() const { return positionPercent_; }
    void SetPositionPercent(double v);

    TChartPen& Axis() { return axisPen_; }
    TChartPen& Grid() { return grid_; }
    TChartPen& Ticks() { return ticks_; }
    TChartPen& TicksInner() { return ticksInner_; }
    TChartPen& MinorTicks() { return minorTicks_; }
    TChartPen& MinorGrid() { return minorGrid_; }
    TChartAxisTitle& Title() { return title_; }
    const TChartPen& Axis() const { return axisPen_; }
    const TChartPen& Grid() const { return grid_; }
    const TChartPen& Ticks() const { return ticks_; }
    const TChartPen& TicksInner() const { return ticksInner_; }
    const TChartPen& MinorTicks() const { return minorTicks_; }
    const TChartPen& MinorGrid() const { return minorGrid_; }
    const TChartAxisTitle& Title() const { return title_; }

    // Values derived at each full repaint.
    double EffectiveMinimum() const { return effMin_; }
    double EffectiveMaximum() const { return effMax_; }
    double EffectiveRange() const { return effMax_ - effMin_; }
    int StartPixel() const { return startPixel_; }
    int EndPixel() const { return endPixel_; }
    int AxisLength() const { return endPixel_ - startPixel_; }
    int CenterPixel() const { return (startPixel_ + endPixel_) / 2; }
    int AxisLinePos() const { return axisLinePos_; }
    int LabelsPos() const { return labelsPos_; }

    // Takes automatic range ends from the data (hasData false: 0) and fixes the shown range.
    void AdjustRange(bool hasData, double dataMin, double dataMax);
    // Places the axis on the plot rectangle (right/bottom are the rectangle's outer edges).
    void AdjustSpan(int plotLeft, int plotTop, int plotRight, int plotBottom);
    void SetLinePositions(int axisLinePos, int labelsPos) {
        axisLinePos_ = axisLinePos;
        labelsPos_ = labelsPos;
    }

    int AxisValueToPixel(double value) const {
        if (range_ != 0) {
            const long double t =
                (static_cast<long double>(value) - effMin_) * AxisLength() / range_;
            // Far-out values (and NaN) would overflow a pixel coordinate: they go to the centre.
            if (std::fabs(t) < 2147483647.0L) {
                const long long r = std::llrint(t);
                const long long p = Horizontal() != inverted_ ? startPixel_ + r : endPixel_ - r;
                // Near the limit the sum leaves the int range: keep it at the edge of it.
                return static_cast<int>(std::clamp<long long>(p, INT_MIN, INT_MAX));
            }
        }
        return CenterPixel();
    }
    // True when the value maps by the linear formula, not to the far-out fallback; between two
    // such values the mapping is monotonic.
    bool MapsLinearly(double value) const {
        if (range_ == 0)
            return true;
        const long double t = (static_cast<long double>(value) - effMin_) * AxisLength() / range_;
        return std::fabs(t) < 2147483647.0L;
    }
    double AxisPixelToValue(int pixel) const;
    // The text the axis prints for a value ("#,##0.###" with the locale's separators).
    QString FormatLabel(double value) const;
    // The same without the owner's OnGetAxisLabel (used to measure the widest label).
    QString FormatNumber(double value) const;

    TChart* ParentChart() const { return chart_; }

private:
    void Changed();
    template <class T> void SetAndRepaint(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        Changed();
    }
    void WireSubObjects();

    Kind kind_;
    TChart* chart_;
    bool automatic_ = true, autoMin_ = true, autoMax_ = true;
    double minimum_ = 0, maximum_ = 0, increment_ = 0;
    bool inverted_ = false, visible_ = true, labels_ = true, labelsOnAxis_ = true;
    bool tickOnLabelsOnly_ = true, roundFirstLabel_ = true, exactDateTime_ = true;
    QString valuesFormat_ = QStringLiteral("#,##0.###");
    int labelsSeparation_ = 10;
    TAxisLabelStyle labelStyle_ = talAuto;
    QFont labelsFont_;
    int tickLength_ = 4, tickInnerLength_ = 0, minorTickLength_ = 2, minorTickCount_ = 3;
    double startPosition_ = 0, endPosition_ = 100, positionPercent_ = 0;
    TChartPen axisPen_{Qt::black, Qt::SolidLine, 2};
    TChartPen grid_{QColor(0x80, 0x80, 0x80), Qt::DotLine, 1};
    TChartPen ticks_{QColor(0x80, 0x80, 0x80)};
    TChartPen ticksInner_{QColor(0x80, 0x80, 0x80)};
    TChartPen minorTicks_{QColor(0x80, 0x80, 0x80)};
    TChartPen minorGrid_{QColor(0x80, 0x80, 0x80), Qt::DotLine, 1, false};
    TChartAxisTitle title_;

    double effMin_ = 0, effMax_ = 0;
    long double range_ = 0;
    int startPixel_ = 0, endPixel_ = 0, axisLinePos_ = 0, labelsPos_ = 0;
};

} // namespace chart
