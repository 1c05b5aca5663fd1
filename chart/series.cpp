#include "chart/series.h"

#include "chart/axis.h"
#include "chart/chart.h"

#include <QCursor>
#include <QPainter>

#include <algorithm>

namespace chart {

TChartSeries::TChartSeries(TChart* chart) {
    linePen_.OnChange = [this] {
        color_ = linePen_.Color();
        if (chart_)
            chart_->Invalidate();
    };
    SetParentChart(chart);
}

TChartSeries::~TChartSeries() {
    if (chart_)
        chart_->DetachSeries(this);
}

void TChartSeries::SetParentChart(TChart* chart) {
    if (chart == chart_)
        return;
    if (chart_)
        chart_->DetachSeries(this);
    chart_ = chart;
    setParent(chart);
    if (chart_)
        chart_->AttachSeries(this);
}

void TChartSeries::SetActive(bool v) {
    if (v == active_)
        return;
    active_ = v;
    if (chart_)
        chart_->Invalidate();
}

void TChartSeries::SetSeriesColor(QColor c) {
    color_ = c;
    linePen_.SetColor(c);
    if (chart_)
        chart_->Invalidate();
}

void TChartSeries::SetLinePen(const TChartPen& pen) {
    linePen_.SetColor(pen.Color());
    linePen_.SetStyle(pen.Style());
    linePen_.SetWidth(pen.Width());
    linePen_.SetVisible(pen.Visible());
    color_ = pen.Color();
}

TChartAxis* TChartSeries::GetHorizAxis() const {
    return chart_ ? &chart_->BottomAxis() : nullptr;
}
TChartAxis* TChartSeries::GetVertAxis() const {
    return chart_ ? &chart_->LeftAxis() : nullptr;
}

bool TChartSeries::UsesAxis(const TChartAxis* axis) const {
    return axis && (axis == GetHorizAxis() || axis == GetVertAxis());
}

int TChartSeries::AddPoint(double x, double y, const QString& label, unsigned color) {
    if (OnBeforeAdd && !OnBeforeAdd(this, x, y))
        return -1;
    const int index = x_.InsertPosition(x);
    x_.Insert(index, x);
    y_.Insert(index, y);
    if (!colors_.empty() || color != ClDefault) {
        colors_.resize(static_cast<size_t>(Count()) - 1, ClDefault);
        colors_.insert(colors_.begin() + index, color);
    }
    if (!labels_.empty() || !label.isEmpty()) {
        labels_.resize(static_cast<size_t>(Count()) - 1);
        labels_.insert(labels_.begin() + index, label);
    }
    if (!PointAdded(index))
        return index;
    if (OnAfterAdd)
        OnAfterAdd(this, index);
    if (autoRepaint_ && active_)
        RequestRedraw();
    return index;
}

void TChartSeries::AddPoints(std::span<const double> xs, std::span<const double> ys) {
    const std::size_t n = std::min(xs.size(), ys.size());
    xs = xs.first(n);
    ys = ys.first(n);
    const bool inOrder = x_.Order() == loNone ||
                         (x_.Order() == loAscending && std::is_sorted(xs.begin(), xs.end()) &&
                          (x_.ValueCount() == 0 || n == 0 || xs.front() >= x_.Raw().back()));
    // Hooks per point, and a fast line's drawing of each new segment without repaints, need the
    // points one at a time.
    if (!inOrder || OnBeforeAdd || OnAfterAdd || !autoRepaint_) {
        for (std::size_t i = 0; i < n; ++i)
            AddPoint(xs[i], ys[i]);
        return;
    }
    const int first = Count();
    x_.Append(xs);
    y_.Append(ys);
    if (!colors_.empty())
        colors_.resize(colors_.size() + n, ClDefault);
    if (!labels_.empty())
        labels_.resize(labels_.size() + n);
    for (int i = first; i < Count(); ++i)
        PointAdded(i);
    if (active_ && n > 0)
        RequestRedraw();
}

QString TChartSeries::PointLabel(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("point index");
    return labels_.empty() ? QString() : labels_[static_cast<size_t>(index)];
}

unsigned TChartSeries::PointColor(int index) const {
    if (index < 0 || index >= Count())
        throw std::out_of_range("point index");
    return colors_.empty() ? ClDefault : colors_[static_cast<size_t>(index)];
}

bool TChartSeries::PointAdded(int) {
    return true;
}

void TChartSeries::ClearPoints() {
    x_.Clear();
    y_.Clear();
    std::vector<unsigned>().swap(colors_);
    std::vector<QString>().swap(labels_);
    // The shown range is only computed again at the next draw; a mouse press before it must not
    // look for the points that are gone.
    firstShown_ = lastShown_ = -1;
    if (OnClearValues)
        OnClearValues(this);
    if (active_ && chart_ && !chart_->Destroying())
        RequestRedraw();
}

void TChartSeries::ReplacePoints(std::span<const double> xs, std::span<const double> ys) {
    const std::size_t n = std::min(xs.size(), ys.size());
    x_.Clear();
    y_.Clear();
    x_.Append(xs.first(n));
    y_.Append(ys.first(n));
    std::vector<unsigned>().swap(colors_);
    std::vector<QString>().swap(labels_);
    firstShown_ = lastShown_ = -1;
}

void TChartSeries::RequestRedraw() {
    if (chart_)
        chart_->RequestRedraw();
}

int TChartSeries::ValueToPixelX(double v) const {
    return GetHorizAxis()->AxisValueToPixel(v);
}
int TChartSeries::ValueToPixelY(double v) const {
    return GetVertAxis()->AxisValueToPixel(v);
}
double TChartSeries::PixelToValueX(int p) const {
    return GetHorizAxis()->AxisPixelToValue(p);
}
double TChartSeries::PixelToValueY(int p) const {
    return GetVertAxis()->AxisPixelToValue(p);
}
int TChartSeries::PixelX(int index) const {
    return ValueToPixelX(x_.ReadValue(index));
}
int TChartSeries::PixelY(int index) const {
    return ValueToPixelY(y_.ReadValue(index));
}

QPointF TChartSeries::MouseValues() const {
    if (!chart_)
        return QPointF();
    const QPoint p = chart_->mapFromGlobal(QCursor::pos());
    return QPointF(PixelToValueX(p.x()), PixelToValueY(p.y()));
}

void TChartSeries::CalcFirstLastVisibleIndex() {
    firstShown_ = lastShown_ = -1;
    const int n = Count();
    if (n == 0)
        return;
    if (x_.Order() == loNone) {
        firstShown_ = 0;
        lastShown_ = n - 1;
        return;
    }
    const TChartAxis& axis = *GetHorizAxis();
    const QRect plot = chart_->PlotRect();
    const double xl = PixelToValueX(axis.Inverted() ? plot.right() : plot.left());
    const double xr = PixelToValueX(axis.Inverted() ? plot.left() : plot.right());
    const std::vector<double>& xs = x_.Raw();
    const double m = x_.Multiplier();
    // X is ordered, so the first index at or beyond a value is found by bisection.
    const auto firstAtLeast = [&](int from, double value) {
        if (x_.Order() == loAscending)
            return static_cast<int>(std::partition_point(xs.begin() + from, xs.end(),
                                                         [&](double x) { return x * m < value; }) -
                                    xs.begin());
        int i = from;
        while (i < n && xs[static_cast<size_t>(i)] * m < value)
            ++i;
        return i;
    };
    const int first = firstAtLeast(0, xl);
    if (first >= n)
        return;
    firstShown_ = first;
    lastShown_ = xs.back() * m <= xr ? n - 1 : std::min(firstAtLeast(first, xr), n - 1);
}

int TChartSeries::HitTest(int, int) const {
    return -1;
}

bool TFastLineSeries::PointAdded(int index) {
    if (AutoRepaint() || !ParentChart())
        return true;
    // Without repaints the new segment is drawn at once, over the window, and that is all.
    if (index > 0) {
        TChartCanvas& canvas = ParentChart()->Canvas();
        canvas.Pen().SetColor(LinePen().Color());
        canvas.Pen().SetWidth(LinePen().Width());
        canvas.Pen().SetStyle(LinePen().Visible() ? LinePen().Style() : Qt::NoPen);
        canvas.Pen().SetMode(pmCopy);
        canvas.MoveTo(PixelX(index - 1), PixelY(index - 1));
        canvas.LineTo(PixelX(index), PixelY(index));
    }
    return false;
}

int TFastLineSeries::HitTest(int x, int y) const {
    if (FirstShownIndex() < 0)
        return -1;
    // Candidates: the segments whose x span holds the column, found by bisection on X.
    const std::vector<double>& xs = XValues().Raw();
    const double m = XValues().Multiplier();
    const double a = PixelToValueX(x - 1), b = PixelToValueX(x + 1);
    const double lo = std::min(a, b), hi = std::max(a, b);
    int i = FirstShownIndex();
    if (XValues().Order() == loAscending)
        i = std::max(i,
                     static_cast<int>(std::partition_point(xs.begin() + i, xs.end(),
                                                           [&](double v) { return v * m < lo; }) -
                                      xs.begin()) -
                         1);
    const QPoint target(x, y);
    for (; i <= LastShownIndex(); ++i) {
        const QPoint p(PixelX(i), PixelY(i));
        if (p == target)
            return i;
        if (i < LastShownIndex()) {
            const QPoint q(PixelX(i + 1), PixelY(i + 1));
            const QLineF seg(p, q);
            const QPointF d = seg.p2() - seg.p1();
            const double len2 = d.x() * d.x() + d.y() * d.y();
            if (len2 > 0) {
                const double t =
                    std::clamp(((x - p.x()) * d.x() + (y - p.y()) * d.y()) / len2, 0.0, 1.0);
                const QPointF c = seg.p1() + t * d;
                if (std::abs(c.x() - x) <= 1 && std::abs(c.y() - y) <= 1)
                    return i;
            }
        }
        if (XValues().Order() == loAscending && xs[static_cast<size_t>(i)] * m > hi)
            break;
    }
    return -1;
}

} // namespace chart
