#include "chart/axis_draw.h"

#include "chart/axis_labels.h"
#include "chart/series.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace chart {

namespace {

int LabelSizeForStep(const QFontMetrics& fm, const TChartAxis& axis) {
    if (axis.Horizontal())
        return std::max(fm.horizontalAdvance(axis.FormatLabel(axis.EffectiveMinimum())),
                        fm.horizontalAdvance(axis.FormatLabel(axis.EffectiveMaximum())));
    return fm.height();
}

double TruncToStep(double v, double step) {
    return step * std::trunc(v / step);
}

TAxisLabelStyle ResolveStyle(const TChartAxis& axis, const std::vector<TChartSeries*>& series) {
    if (axis.LabelStyle() != talAuto)
        return axis.LabelStyle();
    bool bound = false;
    for (const TChartSeries* s : series) {
        if (!s->Active() || !s->UsesAxis(&axis))
            continue;
        if (s->Count() > 0 && !s->PointLabel(0).isEmpty())
            return talText;
        bound = true;
    }
    return bound ? talValue : talNone;
}

// Text and point labels come from the series' point texts; this chart only shows values, so
// such an axis draws its value labels at the point positions it finds.
void PlacePointLabels(const TChartAxis& axis, const std::vector<TChartSeries*>& series,
                      const TPlaceLabel& place) {
    for (const TChartSeries* s : series) {
        if (!s->Active() || !s->UsesAxis(&axis))
            continue;
        const TChartValueList& list = axis.Horizontal() ? s->XValues() : s->YValues();
        for (int i = 0; i < list.ValueCount() && i < TLabelPositions::Capacity; ++i) {
            const double v = list.ReadValue(i);
            if (v >= axis.EffectiveMinimum() && v <= axis.EffectiveMaximum())
                place(v);
        }
        return;
    }
}

void DrawLabelText(QPainter& painter, const TChartAxis& axis, int p, const QString& text) {
    const QFontMetrics fm = painter.fontMetrics();
    const int w = fm.horizontalAdvance(text), h = fm.height();
    const int pos = axis.LabelsPos();
    QRect r;
    switch (axis.AxisKind()) {
    case TChartAxis::Bottom:
        r = QRect(p - w / 2, pos, w, h);
        break;
    case TChartAxis::Top:
        r = QRect(p - w / 2, pos - h, w, h);
        break;
    case TChartAxis::Left:
    case TChartAxis::Depth:
        r = QRect(pos - w, p - h / 2, w, h);
        break;
    case TChartAxis::Right:
        r = QRect(pos, p - h / 2, w, h);
        break;
    }
    painter.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void DrawAxisTitle(QPainter& painter, const TChartCanvas& canvas, const TChartAxis& axis,
                   int labelsSize) {
    const TChartAxisTitle& title = axis.Title();
    const QFontMetrics fm(title.Font());
    const int w = fm.horizontalAdvance(title.Caption()), h = fm.height();
    const int pos = axis.LabelsPos();
    painter.save();
    painter.setFont(title.Font());
    painter.setPen(canvas.OutputFontColor(title.FontColor()));
    switch (axis.AxisKind()) {
    case TChartAxis::Bottom:
        painter.translate(axis.CenterPixel(), pos + labelsSize);
        break;
    case TChartAxis::Top:
        painter.translate(axis.CenterPixel(), pos - labelsSize - h);
        break;
    case TChartAxis::Left:
    case TChartAxis::Depth:
        painter.translate(pos - labelsSize - h, axis.CenterPixel());
        break;
    case TChartAxis::Right:
        painter.translate(pos + labelsSize + h, axis.CenterPixel());
        break;
    }
    painter.rotate(-title.Angle());
    painter.drawText(QRect(-w / 2, 0, w, h), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     title.Caption());
    painter.restore();
}

// A tick of the given length outwards (negative: into the plot) from the axis line.
void DrawTick(QPainter& painter, const TChartAxis& axis, int p, int length) {
    const int a = axis.AxisLinePos();
    const int dir = length > 0 ? 1 : -1;
    switch (axis.AxisKind()) {
    case TChartAxis::Bottom:
        painter.drawLine(p, a + dir, p, a + length);
        break;
    case TChartAxis::Top:
        painter.drawLine(p, a - dir, p, a - length);
        break;
    case TChartAxis::Left:
    case TChartAxis::Depth:
        painter.drawLine(a - dir, p, a - length, p);
        break;
    case TChartAxis::Right:
        painter.drawLine(a + dir, p, a + length, p);
        break;
    }
}

void DrawMinorTicks(QPainter& painter, const TChartCanvas& canvas, const TChartAxis& axis,
                    const TLabelPositions& positions) {
    const int n = positions.Count();
    const int count = axis.MinorTickCount();
    if (n < 2 || count < 1 || axis.MinorTickLength() == 0)
        return;
    painter.setPen(canvas.OutputPen(axis.MinorTicks().ToQPen()));
    const auto tick = [&](int m) {
        if (axis.StartPixel() < m && m < axis.EndPixel())
            DrawTick(painter, axis, m, axis.MinorTickLength());
    };
    const auto offset = [&](int gap, int k) {
        return static_cast<int>(std::nearbyint(static_cast<double>(gap) * k / (count + 1)));
    };
    const int firstGap = positions[1] - positions[0];
    for (int k = 1; k <= count; ++k)
        tick(positions[0] - offset(firstGap, k));
    for (int i = 0; i + 1 < n; ++i)
        for (int k = 1; k <= count; ++k)
            tick(positions[i] + offset(positions[i + 1] - positions[i], k));
    for (int k = 1; k <= count; ++k)
        tick(positions[n - 1] + offset(firstGap, k));
}

} // namespace

double AxisLabelStep(QPainter& painter, const TChartAxis& axis) {
    const QFontMetrics fm(axis.LabelsFont(), painter.device());
    return ComputeLabelStep(axis.EffectiveRange(), axis.Increment(), axis.AxisLength(),
                            LabelSizeForStep(fm, axis), axis.LabelsSeparation());
}

int AxisLabelsSize(QPainter& painter, const TChartAxis& axis) {
    if (!axis.Labels())
        return 0;
    const QFontMetrics fm(axis.LabelsFont(), painter.device());
    if (axis.Horizontal())
        return fm.height();
    double lo = axis.EffectiveMinimum(), hi = axis.EffectiveMaximum();
    if (axis.RoundFirstLabel()) {
        const double step = AxisLabelStep(painter, axis);
        lo = TruncToStep(lo, step);
        hi = TruncToStep(hi, step);
    }
    return std::max(fm.horizontalAdvance(axis.FormatNumber(lo)),
                    fm.horizontalAdvance(axis.FormatNumber(hi))) +
           fm.horizontalAdvance(QLatin1Char(' '));
}

void DrawAxis(QPainter& painter, const TChartCanvas& canvas, TChartAxis& axis,
              const QRect& plotRect, const std::vector<TChartSeries*>& series,
              const TAxisOnGetNextLabel& hook) {
    painter.save();
    painter.setFont(axis.LabelsFont());
    painter.setBrush(Qt::NoBrush);
    const double step = AxisLabelStep(painter, axis);
    if (!axis.Title().Caption().isEmpty())
        DrawAxisTitle(painter, canvas, axis, AxisLabelsSize(painter, axis));

    TLabelPositions positions;
    painter.setPen(Qt::black);
    const TPlaceLabel place = [&](double v) {
        const int p = axis.AxisValueToPixel(v);
        if (!axis.LabelsOnAxis() && !(axis.StartPixel() < p && p < axis.EndPixel()))
            return;
        if (!axis.TickOnLabelsOnly())
            positions.Add(p);
        if (axis.Labels()) {
            DrawLabelText(painter, axis, p, axis.FormatLabel(v));
            if (axis.TickOnLabelsOnly())
                positions.Add(p);
        }
    };
    const double lo = axis.EffectiveMinimum(), hi = axis.EffectiveMaximum();
    if (hi >= lo) {
        switch (ResolveStyle(axis, series)) {
        case talValue:
            if (hook)
                CustomLabelPass(&axis, hook, lo, hi, step, axis.RoundFirstLabel(), place);
            else
                DefaultLabelPass(lo, hi, step, axis.RoundFirstLabel(), place);
            break;
        case talMark:
        case talText:
            PlacePointLabels(axis, series, place);
            break;
        case talAuto:
        case talNone:
            break;
        }
    }

    const int a = axis.AxisLinePos();
    if (axis.Axis().Visible()) {
        painter.setPen(canvas.OutputPen(axis.Axis().ToQPen()));
        if (axis.Horizontal())
            painter.drawLine(axis.StartPixel(), a, axis.EndPixel(), a);
        else
            painter.drawLine(a, axis.StartPixel(), a, axis.EndPixel());
    }
    if (axis.Ticks().Visible() && axis.TickLength() != 0) {
        painter.setPen(canvas.OutputPen(axis.Ticks().ToQPen()));
        for (int i = 0; i < positions.Count(); ++i)
            DrawTick(painter, axis, positions[i], axis.TickLength());
    }
    if (axis.Grid().Visible()) {
        // Transparent background: the gaps of the dotted pen show what lies below.
        painter.setPen(canvas.OutputPen(axis.Grid().ToQPen()));
        painter.setBackgroundMode(Qt::TransparentMode);
        for (int i = 0; i < positions.Count(); ++i) {
            const int p = positions[i];
            if (axis.Horizontal())
                painter.drawLine(p, plotRect.top(), p, plotRect.bottom());
            else
                painter.drawLine(plotRect.left(), p, plotRect.right(), p);
        }
        painter.setBackgroundMode(Qt::OpaqueMode);
    }
    if (axis.TicksInner().Visible() && axis.TickInnerLength() != 0) {
        painter.setPen(canvas.OutputPen(axis.TicksInner().ToQPen()));
        for (int i = 0; i < positions.Count(); ++i)
            DrawTick(painter, axis, positions[i], -axis.TickInnerLength());
    }
    if (axis.MinorTicks().Visible())
        DrawMinorTicks(painter, canvas, axis, positions);
    painter.restore();
}

} // namespace chart
