#include "chart/canvas.h"

#include <QFontMetrics>

#include <utility>

namespace chart {

QPainter::CompositionMode CompositionFor(TPenMode mode) {
    switch (mode) {
    case pmXor:
        return QPainter::RasterOp_SourceXorDestination;
    case pmNotXor:
        return QPainter::RasterOp_NotSourceXorDestination;
    case pmCopy:
        break;
    }
    return QPainter::CompositionMode_SourceOver;
}

namespace {

QRect TextRect(const QFontMetrics& fm, int x, int y, const QString& text, Qt::Alignment align) {
    const int w = fm.horizontalAdvance(text);
    const int h = fm.height();
    int left = x;
    if (align & Qt::AlignHCenter)
        left = x - w / 2;
    else if (align & Qt::AlignRight)
        left = x - w;
    int top = y;
    if (align & Qt::AlignVCenter)
        top = y - h / 2;
    else if (align & Qt::AlignBottom)
        top = y - h;
    return QRect(left, top, w, h);
}

} // namespace

void TOverlayOp::Draw(QPainter& painter) const {
    painter.save();
    if (!clip.isNull())
        painter.setClipRect(clip);
    painter.setCompositionMode(CompositionFor(mode));
    painter.setPen(pen);
    painter.setBrush(brush);
    switch (kind) {
    case Line:
        painter.drawLine(line);
        break;
    case Rect:
        painter.drawRect(rect);
        break;
    case Text: {
        painter.setFont(font);
        const QRect r = TextRect(QFontMetrics(font), rect.left(), rect.top(), text, align);
        if (!backTransparent)
            painter.fillRect(r, backColor);
        painter.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        break;
    }
    }
    painter.restore();
}

void TOverlay::Add(const TOverlayOp& op) {
    if (op.mode != pmCopy) {
        // Only a figure drawn after the last copy-mode drawing may cancel: XOR drawings commute
        // with each other but not with an opaque one between them.
        for (auto it = ops_.rbegin(); it != ops_.rend() && it->mode != pmCopy; ++it) {
            if (*it == op) {
                ops_.erase(std::next(it).base());
                return;
            }
        }
    }
    ops_.push_back(op);
}

void TOverlay::Draw(QPainter& painter) const {
    for (const TOverlayOp& op : ops_)
        op.Draw(painter);
}

QPen TChartCanvas::MakePen() const {
    if (pen_.Style() == Qt::NoPen)
        return QPen(Qt::NoPen);
    return OutputPen(QPen(pen_.Color(), pen_.Width(), pen_.Style()));
}

QPen TChartCanvas::OutputPen(QPen pen) const {
    if (isPrinting_ && pen.style() != Qt::SolidLine && pen.style() != Qt::NoPen && pen.width() == 1)
        pen.setWidth(0);
    return pen;
}

QColor TChartCanvas::OutputFontColor(QColor color) const {
    return isPrinting_ && color == QColor(Qt::white) ? QColor(Qt::black) : color;
}

void TChartCanvas::Emit(TOverlayOp op) {
    op.pen = MakePen();
    op.brush = QBrush(brush_.Color(), brush_.Style());
    op.font = font_;
    op.backColor = backColor_;
    op.backTransparent = backTransparent_;
    op.mode = pen_.Mode();
    op.clip = clip_;
    if (op.kind == TOverlayOp::Text)
        op.pen = QPen(OutputFontColor(fontColor_));
    if (painter_)
        op.Draw(*painter_);
    else if (sink_)
        sink_(op);
}

void TChartCanvas::LineTo(int x, int y) {
    TOverlayOp op;
    op.line = QLine(penPos_, QPoint(x, y));
    penPos_ = QPoint(x, y);
    Emit(op);
}

void TChartCanvas::Line(int x1, int y1, int x2, int y2) {
    MoveTo(x1, y1);
    LineTo(x2, y2);
}

void TChartCanvas::Rectangle(int x1, int y1, int x2, int y2) {
    if (x1 > x2)
        std::swap(x1, x2);
    if (y1 > y2)
        std::swap(y1, y2);
    TOverlayOp op;
    op.kind = TOverlayOp::Rect;
    // The painter outlines width+1 pixels; the figure covers x1..x2-1.
    op.rect = QRect(QPoint(x1, y1), QPoint(x2 - 2, y2 - 2));
    Emit(op);
}

void TChartCanvas::TextOut(int x, int y, const QString& text) {
    TOverlayOp op;
    op.kind = TOverlayOp::Text;
    op.rect = QRect(x, y, 0, 0);
    op.text = text;
    op.align = textAlign_;
    Emit(op);
}

void TChartCanvas::ClipRectangle(const QRect& r) {
    clip_ = r;
}

void TChartCanvas::UnClipRectangle() {
    clip_ = QRect();
}

void TChartCanvas::Reset() {
    pen_ = TCanvasPen();
    brush_ = TCanvasBrush();
    font_ = QFont();
    font_.setPointSize(10);
    fontColor_ = Qt::black;
    backColor_ = Qt::white;
    backTransparent_ = true;
}

} // namespace chart
