#include "chart/axis_draw.h"
#include "chart/chart.h"

#include <QFontMetrics>
#include <QPaintEngine>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace chart {

namespace {

// Percentages of the panel as the toolkit's MulDiv computes them: rounded, halves away from zero.
int PercentOf(int size, int percent) {
    return static_cast<int>(std::lround(static_cast<double>(size) * percent / 100.0));
}

// The panel's background. A white panel on a 32-bit image (the window's kept image, a bitmap
// file) is cleared with memset, which stores without first reading the memory in: on an image
// that is not in the cache that is about twice as fast as the raster engine's fill, and a
// recording repaints the whole kept image every frame. The pixels are the same either way.
void FillPanel(QPainter& painter, const QRect& panel, const QColor& color) {
    QPaintDevice* device = painter.device();
    auto* image =
        device && device->devType() == QInternal::Image ? static_cast<QImage*>(device) : nullptr;
    const bool plain =
        image && color.rgba() == 0xffffffffu &&
        (image->format() == QImage::Format_RGB32 || image->format() == QImage::Format_ARGB32 ||
         image->format() == QImage::Format_ARGB32_Premultiplied) &&
        painter.deviceTransform().type() == QTransform::TxNone && !painter.hasClipping() &&
        painter.compositionMode() == QPainter::CompositionMode_SourceOver;
    if (!plain) {
        painter.fillRect(panel, color);
        return;
    }
    const QRect rows = panel.intersected(image->rect());
    if (rows.isEmpty())
        return;
    uchar* const bits = image->bits();
    const qsizetype stride = image->bytesPerLine();
    const qsizetype width = qsizetype(rows.width()) * 4;
    for (int y = rows.top(); y <= rows.bottom(); ++y)
        std::memset(bits + y * stride + qsizetype(rows.left()) * 4, 0xff, width);
}

// The canvas follows the painter of one full repaint and lets go of it on every way out.
class CanvasAttachment {
public:
    CanvasAttachment(TChartCanvas& canvas, QPainter& painter) : canvas_(canvas) {
        canvas_.Attach(&painter);
    }
    ~CanvasAttachment() { canvas_.Attach(nullptr); }
    CanvasAttachment(const CanvasAttachment&) = delete;
    CanvasAttachment& operator=(const CanvasAttachment&) = delete;

private:
    TChartCanvas& canvas_;
};

} // namespace

bool TChart::AxisWillDraw(const TChartAxis& axis) const {
    if (!axisVisible_ || !axis.Visible() || axis.IsDepthAxis())
        return false;
    return std::any_of(series_.begin(), series_.end(),
                       [&](const TChartSeries* s) { return s->Active() && s->UsesAxis(&axis); });
}

void TChart::FitAxesToSeries() {
    for (auto& axis : axes_) {
        if (!axis->Automatic() && !axis->AutomaticMinimum() && !axis->AutomaticMaximum()) {
            // A fixed range takes nothing from the data: spare the scan of the values.
            axis->AdjustRange(false, 0, 0);
            continue;
        }
        bool hasData = false;
        double lo = 0, hi = 0;
        for (const TChartSeries* s : series_) {
            if (!s->Active() || !s->UsesAxis(axis.get()) || s->Count() == 0)
                continue;
            const TChartValueList& list = axis->Horizontal() ? s->XValues() : s->YValues();
            lo = hasData ? std::min(lo, list.MinValue()) : list.MinValue();
            hi = hasData ? std::max(hi, list.MaxValue()) : list.MaxValue();
            hasData = true;
        }
        axis->AdjustRange(hasData, lo, hi);
    }
}

void TChart::LayoutAxes(QPainter& painter) {
    int left = plotRect_.left(), top = plotRect_.top();
    int right = plotRect_.right(), bottom = plotRect_.bottom();
    for (auto& axisPtr : axes_) {
        TChartAxis& axis = *axisPtr;
        if (!AxisWillDraw(axis))
            continue;
        axis.AdjustSpan(left, top, right, bottom);
        int size = AxisLabelsSize(painter, axis) + axis.Axis().Width() + axis.TickLength();
        if (!axis.Title().Caption().isEmpty())
            size += QFontMetrics(axis.Title().Font()).height();
        switch (axis.AxisKind()) {
        case TChartAxis::Bottom:
            bottom -= size;
            break;
        case TChartAxis::Top:
            top += size;
            break;
        case TChartAxis::Left:
            left += size;
            break;
        case TChartAxis::Right:
            right -= size;
            break;
        case TChartAxis::Depth:
            break;
        }
    }
    // The strip takes its rows off the plot's bottom, between the plot's edge and the bottom
    // axis, which stays where it was; the vertical axes span what is left.
    const int axisLine = bottom;
    stripRowHeight_ = strip_.Empty() ? 0 : strip_.RowHeight(painter.device());
    if (stripRowHeight_ > 0) {
        const int height = stripRowHeight_ * static_cast<int>(strip_.Rows().size());
        bottom = std::max(top + 1, axisLine - height - 1);
        stripRect_ = QRect(QPoint(left, bottom + 1), QPoint(right, axisLine - 1));
    } else {
        stripRect_ = QRect();
    }
    plotRect_ = QRect(QPoint(left, top), QPoint(right, bottom));
    for (auto& axisPtr : axes_) {
        TChartAxis& axis = *axisPtr;
        axis.AdjustSpan(left, top, right, bottom);
        const int zone = axis.Axis().Width() + axis.TickLength();
        switch (axis.AxisKind()) {
        case TChartAxis::Bottom:
            axis.SetLinePositions(axisLine, axisLine + zone);
            break;
        case TChartAxis::Top:
            axis.SetLinePositions(top, top - zone);
            break;
        case TChartAxis::Left:
        case TChartAxis::Depth:
            axis.SetLinePositions(left, left - zone);
            break;
        case TChartAxis::Right:
            axis.SetLinePositions(right, right + zone);
            break;
        }
    }
}

QRect TChart::DrawTitle(QPainter& painter, TChartTitle& title, bool atTop) {
    const QFontMetrics fm(title.Font());
    const int lineHeight = fm.height();
    const int frameWidth = title.Frame().Visible() ? title.Frame().Width() : 0;
    const QStringList lines = title.Text();
    const int n = static_cast<int>(lines.size());
    const int left = plotRect_.left(), right = plotRect_.right();
    const int firstTop =
        atTop ? plotRect_.top() + frameWidth : plotRect_.bottom() - frameWidth - n * lineHeight;
    const int inset = fm.horizontalAdvance(QLatin1Char('W')) / 2;

    int widest = 0;
    for (const QString& line : lines)
        widest = std::max(widest, fm.horizontalAdvance(line));
    QRect frame(QPoint(left, firstTop - frameWidth),
                QPoint(right, firstTop + n * lineHeight + frameWidth));
    if (title.AdjustFrame()) {
        const int w = widest + 2 * inset;
        const int center = (left + right) / 2;
        if (title.Alignment() & Qt::AlignLeft)
            frame.setRight(left + w);
        else if (title.Alignment() & Qt::AlignRight)
            frame.setLeft(right - w);
        else
            frame.setLeft(center - w / 2), frame.setRight(center + w / 2);
    }
    if (title.Brush().style() != Qt::NoBrush || title.Frame().Visible()) {
        painter.setPen(canvas_.OutputPen(title.Frame().ToQPen()));
        painter.setBrush(title.Brush());
        painter.drawRect(frame);
    }
    painter.setFont(title.Font());
    painter.setPen(canvas_.OutputFontColor(title.FontColor()));
    for (int i = 0; i < n; ++i) {
        const QString& line = lines[i];
        const int w = fm.horizontalAdvance(line);
        int x = left + (right - left - w) / 2;
        if (title.Alignment() & Qt::AlignLeft)
            x = left + inset;
        else if (title.Alignment() & Qt::AlignRight)
            x = right - inset - w;
        painter.drawText(QRect(x, firstTop + i * lineHeight, w, lineHeight),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
    }
    title.SetTitleRect(frame);
    const int used = n * lineHeight + 5 + frameWidth;
    return atTop ? QRect(QPoint(left, plotRect_.top() + used), plotRect_.bottomRight())
                 : QRect(plotRect_.topLeft(), QPoint(right, plotRect_.bottom() - used));
}

void TChart::DrawWalls(QPainter& painter) {
    const QPen pen = canvas_.OutputPen(backWall_.Pen().ToQPen());
    painter.setPen(pen);
    painter.setBrush(backWall_.Brush());
    // The frame covers the edge rows and columns of the plot rectangle.
    const QRect frame = plotRect_;
    // A plain one-pixel frame on an untransformed image is four solid strips, which the raster
    // engine fills several times faster than it strokes the rectangle; the pixels are the same.
    const bool strips = backWall_.Brush().style() == Qt::NoBrush && pen.style() == Qt::SolidLine &&
                        pen.width() <= 1 && pen.color().alpha() == 255 &&
                        painter.paintEngine()->type() == QPaintEngine::Raster &&
                        painter.combinedTransform().type() == QTransform::TxNone &&
                        painter.compositionMode() == QPainter::CompositionMode_SourceOver;
    if (strips) {
        const QColor color = pen.color();
        painter.fillRect(QRect(frame.topLeft(), QPoint(frame.right(), frame.top())), color);
        painter.fillRect(QRect(frame.bottomLeft(), frame.bottomRight()), color);
        painter.fillRect(QRect(frame.topLeft(), frame.bottomLeft()), color);
        painter.fillRect(QRect(frame.topRight(), frame.bottomRight()), color);
        return;
    }
    painter.drawRect(
        QRect(frame.topLeft(), QSize(frame.right() - frame.left(), frame.bottom() - frame.top())));
}

void TChart::DrawSeries(QPainter& painter) {
    for (TChartSeries* s : series_) {
        if (!s->Active())
            continue;
        s->CalcFirstLastVisibleIndex();
        if (s->FirstShownIndex() < 0)
            continue;
        if (s->BeforeDrawValues)
            s->BeforeDrawValues(s);
        painter.save();
        if (clipPoints_)
            painter.setClipRect(plotRect_);
        s->DrawPoints(painter);
        painter.restore();
        canvas_.UnClipRectangle();
        TCanvasPen& pen = canvas_.Pen();
        pen.SetColor(s->LinePen().Color());
        pen.SetWidth(s->LinePen().Width());
        pen.SetStyle(s->LinePen().Visible() ? s->LinePen().Style() : Qt::NoPen);
        pen.SetMode(pmCopy);
        canvas_.Brush().SetStyle(Qt::NoBrush);
        if (s->AfterDrawValues)
            s->AfterDrawValues(s);
    }
}

void TChart::DrawZoomRectangle() {
    TCanvasPen& pen = canvas_.Pen();
    pen.SetColor(color_ == QColor(Qt::white) ? QColor(Qt::black) : color_);
    pen.SetMode(pmNotXor);
    pen.SetStyle(Qt::SolidLine);
    pen.SetWidth(1);
    canvas_.Brush().SetStyle(Qt::NoBrush);
    canvas_.Rectangle(zoom_.X0, zoom_.Y0, zoom_.X1, zoom_.Y1);
}

void TChart::DrawChart(QPainter& painter, const QRect& panel) {
    CanvasAttachment attachment(canvas_, painter);
    painter.setRenderHint(QPainter::Antialiasing, false);

    const int w = panel.width(), h = panel.height();
    const int panelRight = panel.x() + w, panelBottom = panel.y() + h;
    int left = std::max(panel.x() + PercentOf(w, margins_[0]), panel.x());
    int top = std::max(panel.y() + PercentOf(h, margins_[1]), panel.y());
    int right = std::min(panelRight - PercentOf(w, margins_[2]), panelRight);
    int bottom = std::min(panelBottom - PercentOf(h, margins_[3]), panelBottom);
    if (right < left)
        right = left + 1;
    else if (right == left)
        right = left + w;
    if (bottom < top)
        bottom = top + 1;
    else if (bottom == top)
        bottom = top + h;
    plotRect_ = QRect(QPoint(left, top), QPoint(right, bottom));

    // Paper stays white.
    if (!canvas_.IsPrinting())
        FillPanel(painter, panel, color_);
    if (title_.Visible() && !title_.Text().isEmpty())
        plotRect_ = DrawTitle(painter, title_, true);
    if (foot_.Visible() && !foot_.Text().isEmpty())
        plotRect_ = DrawTitle(painter, foot_, false);

    FitAxesToSeries();
    LayoutAxes(painter);
    DrawWalls(painter);
    if (!stripRect_.isEmpty())
        strip_.Draw(painter, stripRect_, stripRowHeight_, BottomAxis());

    if (axisVisible_) {
        if (OnBeforeDrawAxes)
            OnBeforeDrawAxes(this);
        for (auto& axis : axes_) {
            if (AxisWillDraw(*axis))
                DrawAxis(painter, canvas_, *axis, plotRect_, series_, OnGetNextAxisLabel);
        }
    }
    if (OnBeforeDrawSeries)
        OnBeforeDrawSeries(this);
    DrawSeries(painter);
    if (zoom_.Active)
        DrawZoomRectangle();
    canvas_.Reset();
    if (OnAfterDraw)
        OnAfterDraw(this);
}

} // namespace chart
