#include "chart/axis.h"
#include "chart/chart.h"
#include "chart/series.h"

#include <QPainter>

namespace chart {

// The literal polyline draws a segment to every point whose pixel differs from the previous one.
// Within one pixel column those segments are vertical and together cover exactly the rows from
// the lowest to the highest point, so the first, lowest, highest and last point of the column
// (in index order) give the same pixels with at most four segments per column. Splitting a column
// into several such groups keeps that true. The segments are drawn as separate lines in one call,
// like the literal ones: a polyline joins steep corners differently.

namespace {

class TPixelMap {
public:
    TPixelMap(const TChartSeries& s)
        : h_(*s.GetHorizAxis()), v_(*s.GetVertAxis()), xs_(s.XValues().Raw().data()),
          ys_(s.YValues().Raw().data()), mx_(s.XValues().Multiplier()),
          my_(s.YValues().Multiplier()) {}

    int X(int i) const { return h_.AxisValueToPixel(xs_[i] * mx_); }
    int Y(int i) const { return v_.AxisValueToPixel(ys_[i] * my_); }
    QPoint Pixel(int i) const { return QPoint(X(i), Y(i)); }
    bool PositiveMultipliers() const { return mx_ > 0 && my_ > 0; }
    double RawX(int i) const { return xs_[i]; }
    double RawY(int i) const { return ys_[i]; }
    bool YLinear(int i) const { return v_.MapsLinearly(ys_[i] * my_); }

private:
    const TChartAxis& h_;
    const TChartAxis& v_;
    const double* xs_;
    const double* ys_;
    double mx_, my_;
};

class TReducer {
public:
    TReducer(std::vector<QLine>& lines, QPoint start) : lines_(lines), prev_(start) {}
    void LineTo(QPoint p) {
        if (p != prev_) {
            lines_.emplace_back(prev_, p);
            prev_ = p;
        }
    }
    // One group of points of the same column: first, the two extremes in index order, last.
    void Group(QPoint head, QPoint a, QPoint b, QPoint tail) {
        LineTo(head);
        LineTo(a);
        LineTo(b);
        LineTo(tail);
    }
    QPoint Prev() const { return prev_; }
    void Restore(size_t count, QPoint prev) {
        lines_.resize(count);
        prev_ = prev;
    }

private:
    std::vector<QLine>& lines_;
    QPoint prev_;
};

// Every point's pixel computed: correct for any data, O(N) mappings.
void ReduceByPixels(const TPixelMap& map, TReducer& out, int from, int to) {
    int i = from;
    QPoint head = i <= to ? map.Pixel(i) : QPoint();
    while (i <= to) {
        int lowIndex = i, highIndex = i, low = head.y(), high = head.y();
        QPoint tail = head, p;
        int j = i + 1;
        for (; j <= to; ++j) {
            p = map.Pixel(j);
            if (p.x() != head.x())
                break;
            if (p.y() < low)
                low = p.y(), lowIndex = j;
            else if (p.y() > high)
                high = p.y(), highIndex = j;
            tail = p;
        }
        const QPoint lo(head.x(), low), hi(head.x(), high);
        if (lowIndex < highIndex)
            out.Group(head, lo, hi, tail);
        else
            out.Group(head, hi, lo, tail);
        i = j;
        head = p;
    }
}

struct TColumnScan {
    bool ordered, nan;
    double low, high;
};

// Order of X, NaN levels and the extreme levels of points from..to, without branches: this
// loop touches every point of the series.
TColumnScan ScanColumn(const TPixelMap& map, int from, int to) {
    TColumnScan r{true, false, map.RawY(from), map.RawY(from)};
    for (int k = from; k <= to; ++k) {
        const double y = map.RawY(k);
        r.ordered &= map.RawX(k) >= map.RawX(k - 1);
        r.nan |= y != y;
        r.low = y < r.low ? y : r.low;
        r.high = y > r.high ? y : r.high;
    }
    return r;
}

// For X in order, the points of a column are found by bisection, and the extremes of a column
// come from the raw Y values: only a few mappings per column. Returns false (having drawn
// nothing) when the X values turn out not to be in order, or are NaN.
bool ReduceSortedX(const TPixelMap& map, TReducer& out, int from, int to) {
    for (int i = from; i <= to;) {
        const int column = map.X(i);
        // Exponential then binary search for the last index of this column.
        int inside = i, step = 1;
        while (inside + step <= to && map.X(inside + step) == column) {
            inside += step;
            step *= 2;
        }
        int outside = std::min(inside + step, to + 1);
        while (outside - inside > 1) {
            const int mid = inside + (outside - inside) / 2;
            (map.X(mid) == column ? inside : outside) = mid;
        }
        const int end = inside;
        if (end - i < 4) {
            // A short column costs less point by point than by its extremes.
            ReduceByPixels(map, out, i, end);
            i = end + 1;
            continue;
        }

        const TColumnScan scan = ScanColumn(map, i, end);
        const bool ordered = scan.ordered, nan = scan.nan;
        const double low = scan.low, high = scan.high;
        if (!ordered)
            return false;
        int lowIndex = -1, highIndex = -1;
        for (int k = i; !nan && (lowIndex < 0 || highIndex < 0); ++k) {
            const double y = map.RawY(k);
            if (lowIndex < 0 && y == low)
                lowIndex = k;
            if (highIndex < 0 && y == high)
                highIndex = k;
        }
        if (nan || !map.YLinear(lowIndex) || !map.YLinear(highIndex)) {
            // Far-out or NaN levels map to the axis centre, not in order: map them all.
            ReduceByPixels(map, out, i, end);
        } else {
            const QPoint head = map.Pixel(i), tail = map.Pixel(end);
            const QPoint lo(column, map.Y(lowIndex)), hi(column, map.Y(highIndex));
            if (lowIndex < highIndex)
                out.Group(head, lo, hi, tail);
            else
                out.Group(head, hi, lo, tail);
        }
        i = end + 1;
    }
    return true;
}

} // namespace

void TFastLineSeries::DrawPoints(QPainter& painter) {
    const int first = FirstShownIndex(), last = LastShownIndex();
    if (first < 0 || !LinePen().Visible())
        return;
    painter.setPen(ParentChart()->Canvas().OutputPen(LinePen().ToQPen()));
    painter.setBrush(Qt::NoBrush);

    const TPixelMap map(*this);
    lines_.clear();
    const QPoint start = map.Pixel(first);
    if (first > 0)
        lines_.emplace_back(map.Pixel(first - 1), start);
    TReducer out(lines_, start);
    // The points strictly inside the shown range lie within the axis span, so only their order
    // decides whether the quick path applies; the two ends may be far out and are mapped alone.
    const int innerFrom = first + 1, innerTo = last - 1;
    const size_t mark = lines_.size();
    if (!map.PositiveMultipliers() || !ReduceSortedX(map, out, innerFrom, innerTo)) {
        out.Restore(mark, start);
        ReduceByPixels(map, out, innerFrom, innerTo);
    }
    if (last > first)
        out.LineTo(map.Pixel(last));
    painter.drawLines(lines_.data(), static_cast<int>(lines_.size()));
}

} // namespace chart
