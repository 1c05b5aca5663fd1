#include "reference/reference_line_series.h"

#include <QPainter>

namespace chart_reference {

void TReferenceLineSeries::DrawPoints(QPainter& painter) {
    lines_.clear();
    if (!LinePen().Visible())
        return;
    painter.setPen(LinePen().ToQPen());
    painter.setBrush(Qt::NoBrush);
    QPoint last;
    for (int i = FirstShownIndex(); i <= LastShownIndex(); ++i) {
        const QPoint p(ValueToPixelX(XValues().ReadValue(i)),
                       ValueToPixelY(YValues().ReadValue(i)));
        if (i == FirstShownIndex()) {
            if (i > 0)
                lines_.emplace_back(QPoint(PixelX(i - 1), PixelY(i - 1)), p);
        } else if (p != last) {
            lines_.emplace_back(last, p);
        }
        last = p;
    }
    painter.drawLines(lines_.data(), static_cast<int>(lines_.size()));
}

} // namespace chart_reference
