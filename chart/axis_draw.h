#pragma once
// Drawing an axis during a repaint: its label step and room, then title, labels, line, ticks and
// grid lines.

#include "chart/axis.h"
#include "chart/canvas.h"

#include <QRect>

#include <vector>

class QPainter;

namespace chart {

class TChartSeries;

// The label step of an axis for its current span, measured with the painter's font metrics.
double AxisLabelStep(QPainter& painter, const TChartAxis& axis);
// Room the axis's label texts take across the axis: one text height on a horizontal axis, the
// widest label plus a space on a vertical one.
int AxisLabelsSize(QPainter& painter, const TChartAxis& axis);

// Draws one axis completely: title, labels (through the owner's hook when set), then axis line,
// ticks, grid lines and minor ticks at the label positions; pens and colours as the canvas's
// target draws them.
void DrawAxis(QPainter& painter, const TChartCanvas& canvas, TChartAxis& axis,
              const QRect& plotRect, const std::vector<TChartSeries*>& series,
              const TAxisOnGetNextLabel& hook);

} // namespace chart
