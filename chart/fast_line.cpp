#include "axis.h"
#include "series.h"

#include <QPainter>

namespace chart {

// The literal polyline draws a segment to every point whose pixel differs from the previous one.
// Within one pixel column those segments are vertical and together cover exactly the rows from
// the lowest to the highest point, so the first, lowest, highest and last point of the column
// (in index order) give the same pixels with at most four segments per column. The segments are
// drawn as separate lines in one call, like the literal ones: a polyline joins steep corners
// differently.
void TFastLineSeries::DrawPoints(QPainter& painter) {
    const int first = FirstShownIndex(), last = LastShownIndex();
    if (first < 0 || !LinePen().Visible())
        return;
    painter.setPen(LinePen().ToQPen());
    painter.setBrush(Qt::NoBrush);

    const TChartAxis& hAxis = *GetHorizAxis();
    const TChartAxis& vAxis = *GetVertAxis();
    const double* xs = XValues().Raw().data();
    const double* ys = YValues().Raw().data();
    const double mx = XValues().Multiplier(), my = YValues().Multiplier();
    const auto pixel = [&](int i) {
        return QPoint(hAxis.AxisValueToPixel(xs[i] * mx), vAxis.AxisValueToPixel(ys[i] * my));
    };

    lines_.clear();
    QPoint prev = pixel(first);
    if (first > 0)
        lines_.emplace_back(pixel(first - 1), prev);
    const auto lineTo = [&](QPoint p) {
        if (p != prev) {
            lines_.emplace_back(prev, p);
            prev = p;
        }
    };

    int i = first + 1;
    QPoint head = i <= last ? pixel(i) : QPoint();
    while (i <= last) {
        const int column = head.x();
        int lowIndex = i, highIndex = i;
        int low = head.y(), high = head.y();
        QPoint tail = head;
        int j = i + 1;
        QPoint p;
        for (; j <= last; ++j) {
            p = pixel(j);
            if (p.x() != column)
                break;
            if (p.y() < low)
                low = p.y(), lowIndex = j;
            else if (p.y() > high)
                high = p.y(), highIndex = j;
            tail = p;
        }
        lineTo(head);
        if (lowIndex < highIndex) {
            lineTo(QPoint(column, low));
            lineTo(QPoint(column, high));
        } else {
            lineTo(QPoint(column, high));
            lineTo(QPoint(column, low));
        }
        lineTo(tail);
        i = j;
        head = p;
    }
    painter.drawLines(lines_.data(), static_cast<int>(lines_.size()));
}

} // namespace chart
