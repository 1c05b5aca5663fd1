// The metafile paint engine: the painter's state and drawings turned into the record writers'
// terms, in logical units of a grid finer than the screen's pixels.

#include "chart/metafile.h"

#include "chart/metafile_records.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLineF>
#include <QPaintEngine>
#include <QPainterPath>
#include <QTextItem>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace chart {

namespace {

// Logical units a screen pixel: fine enough for glyph advances and font heights, coarse enough
// that the picture and a pixel around it stay within 16-bit coordinates.
int GridScale(QSize size) {
    return std::clamp(32767 / (std::max(size.width(), size.height()) + 2), 1, 16);
}

// The part of `line` inside `box`, if any (Liang-Barsky).
std::optional<QLineF> ClipLine(const QLineF& line, const QRectF& box) {
    double t0 = 0, t1 = 1;
    const double dx = line.dx(), dy = line.dy();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {line.x1() - box.left(), box.right() - line.x1(), line.y1() - box.top(),
                         box.bottom() - line.y1()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
    }
    if (t0 > t1)
        return std::nullopt;
    return QLineF(line.pointAt(t0), line.pointAt(t1));
}

} // namespace

class TMetafileEngine final : public QPaintEngine {
public:
    TMetafileEngine(std::unique_ptr<TRecordSink> sink, QSize size, int scale)
        : QPaintEngine(AllFeatures), sink_(std::move(sink)),
          limits_(-1, -1, size.width() + 2, size.height() + 2), scale_(scale) {}

    bool begin(QPaintDevice* device) override {
        device_ = device;
        return true;
    }
    bool end() override { return true; }
    Type type() const override { return User; }
    QByteArray Finish() { return sink_->Finish(); }

    void updateState(const QPaintEngineState& change) override {
        const DirtyFlags flags = change.state();
        if (flags & DirtyTransform)
            transform_ = change.transform();
        if (flags & DirtyPen)
            pen_ = change.pen();
        if (flags & DirtyBrush)
            brush_ = change.brush();
        if (flags & (DirtyClipRegion | DirtyClipPath)) {
            // The clip is given in the coordinates of the transform at the time it is set.
            const QRectF area = flags & DirtyClipRegion ? QRectF(change.clipRegion().boundingRect())
                                                        : change.clipPath().boundingRect();
            const QRectF mapped = change.transform().mapRect(area);
            switch (change.clipOperation()) {
            case Qt::NoClip:
                clip_.reset();
                break;
            case Qt::ReplaceClip:
                clip_ = mapped;
                break;
            case Qt::IntersectClip:
                clip_ = clip_ ? clip_->intersected(mapped) : mapped;
                break;
            }
        }
        if (flags & DirtyClipEnabled)
            clipEnabled_ = change.isClipEnabled();
    }

    void drawLines(const QLineF* lines, int count) override {
        if (pen_.style() == Qt::NoPen)
            return;
        std::vector<QPolygon> polylines;
        for (int i = 0; i < count; ++i) {
            // Lines run through the middle of their pixels, as the window draws them.
            const QPointF half(0.5, 0.5);
            const QLineF line(transform_.map(lines[i].p1()) + half,
                              transform_.map(lines[i].p2()) + half);
            if (pen_.style() == Qt::SolidLine)
                AddSegment(polylines, line);
            else
                AddDashes(polylines, line);
        }
        if (polylines.empty())
            return;
        PrepareStroke();
        sink_->Polylines(polylines);
    }

    // The chart outlines rectangles with solid pens; any other pen outlines them solid too.
    void drawRects(const QRectF* rects, int count) override {
        const bool outline = pen_.style() != Qt::NoPen;
        PrepareStroke();
        sink_->SetBrush(brush_.style() == Qt::NoBrush ? std::nullopt
                                                      : std::optional<QColor>(brush_.color()));
        for (int i = 0; i < count; ++i) {
            // An outline covers one pixel more to the right and below than a fill.
            const QRectF r = transform_.mapRect(rects[i]).adjusted(0, 0, outline, outline);
            sink_->Rectangle(LogicalRect(r));
        }
    }

    // Polygons are filled like rectangles, their outline through the middle of its pixels.
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (count < 2)
            return;
        if (mode == PolylineMode) {
            std::vector<QLineF> lines;
            for (int i = 0; i + 1 < count; ++i)
                lines.emplace_back(points[i], points[i + 1]);
            drawLines(lines.data(), static_cast<int>(lines.size()));
            return;
        }
        const QPointF half = pen_.style() == Qt::NoPen ? QPointF() : QPointF(0.5, 0.5);
        QPolygon polygon;
        for (int i = 0; i < count; ++i)
            polygon << Logical(transform_.map(points[i]) + half);
        PrepareStroke();
        sink_->SetBrush(brush_.style() == Qt::NoBrush ? std::nullopt
                                                      : std::optional<QColor>(brush_.color()));
        sink_->Polygon(polygon);
    }

    void drawTextItem(const QPointF& p, const QTextItem& item) override {
        const QString text = item.text();
        if (text.isEmpty() || pen_.style() == Qt::NoPen)
            return;
        const QFont font = item.font();
        const double scale = std::sqrt(std::abs(transform_.determinant())) * scale_;
        const double angle =
            std::atan2(transform_.m12(), transform_.m11()) * 180 / std::numbers::pi;
        // Advances of the font being drawn, as the screen measured the layout; the running
        // positions are rounded, so the rounding does not add up along the text.
        const QFontMetricsF metrics(font, device_);
        std::vector<int> advances;
        int previous = 0;
        for (qsizetype i = 1; i <= text.size(); ++i) {
            const int position =
                static_cast<int>(std::lround(metrics.horizontalAdvance(text.left(i)) * scale));
            advances.push_back(position - previous);
            previous = position;
        }
        const double emPixels = font.pixelSize() > 0
                                    ? font.pixelSize()
                                    : font.pointSizeF() * device_->logicalDpiY() / 72.0;
        const TMetaFont metaFont{QFontInfo(font).family(),
                                 static_cast<int>(std::lround(emPixels * scale)), font.weight(),
                                 font.italic(), static_cast<int>(std::lround(-angle * 10))};
        SyncClip();
        sink_->Text(Logical(transform_.map(p)), metaFont, pen_.color(), text, advances);
    }

    // The chart draws no pixmaps into its pictures.
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}

private:
    QPoint Logical(QPointF p) const {
        const auto unit = [this](double v) {
            return static_cast<int>(std::clamp(std::lround(v * scale_), -32768L, 32767L));
        };
        return QPoint(unit(p.x()), unit(p.y()));
    }

    // Right and bottom as the first units outside.
    QRect LogicalRect(const QRectF& r) const {
        const QPoint a = Logical(r.topLeft()), b = Logical(r.bottomRight());
        return QRect(a.x(), a.y(), b.x() - a.x(), b.y() - a.y());
    }

    void AddSegment(std::vector<QPolygon>& polylines, const QLineF& line) const {
        const std::optional<QLineF> inside = ClipLine(line, limits_);
        if (!inside)
            return;
        const QPoint from = Logical(inside->p1()), to = Logical(inside->p2());
        if (from == to)
            return;
        // Segments that go on where the last one ended make one polyline.
        if (!polylines.empty() && polylines.back().back() == from)
            polylines.back() << to;
        else
            polylines.push_back(QPolygon({from, to}));
    }

    // A dashed or dotted pen drawn as its dashes: readers draw pen styles unlike each other, and
    // some not at all.
    void AddDashes(std::vector<QPolygon>& polylines, const QLineF& line) const {
        const QList<qreal> pattern = pen_.dashPattern();
        const double unit = std::max(1.0, PenPixels());
        const double length = line.length();
        if (pattern.isEmpty() || length == 0)
            return;
        double position = 0;
        for (qsizetype i = 0; position < length; i = (i + 1) % pattern.size()) {
            const double end = std::min(length, position + pattern[i] * unit);
            if (i % 2 == 0)
                AddSegment(polylines,
                           QLineF(line.pointAt(position / length), line.pointAt(end / length)));
            position += pattern[i] * unit;
        }
    }

    double PenPixels() const {
        if (pen_.isCosmetic() || pen_.widthF() == 0)
            return 1;
        return pen_.widthF() * std::sqrt(std::abs(transform_.determinant()));
    }

    void PrepareStroke() {
        SyncClip();
        if (pen_.style() == Qt::NoPen) {
            sink_->SetPen(std::nullopt);
            return;
        }
        const int width = std::max(1, static_cast<int>(std::lround(PenPixels() * scale_)));
        sink_->SetPen(TMetaPen{pen_.color(), width});
    }

    void SyncClip() {
        const std::optional<QRect> clip =
            clipEnabled_ && clip_ ? std::optional<QRect>(LogicalRect(*clip_)) : std::nullopt;
        if (clip != emittedClip_) {
            sink_->SetClip(clip);
            emittedClip_ = clip;
        }
    }

    std::unique_ptr<TRecordSink> sink_;
    QRectF limits_;
    int scale_;
    QPaintDevice* device_ = nullptr;
    QTransform transform_;
    QPen pen_;
    QBrush brush_;
    std::optional<QRectF> clip_;
    bool clipEnabled_ = false;
    std::optional<QRect> emittedClip_;
};

TMetafileDevice::TMetafileDevice(TMetafileKind kind, QSize size, QSize frame, int dpi)
    : size_(size), dpi_(dpi) {
    const int scale = GridScale(size);
    engine_ = std::make_unique<TMetafileEngine>(kind == TMetafileKind::Enhanced
                                                    ? MakeEmfRecords(frame, dpi, scale)
                                                    : MakeWmfRecords(frame, dpi, scale),
                                                size, scale);
}

TMetafileDevice::~TMetafileDevice() = default;

QPaintEngine* TMetafileDevice::paintEngine() const {
    return engine_.get();
}

QByteArray TMetafileDevice::Bytes() {
    return engine_->Finish();
}

int TMetafileDevice::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth:
        return size_.width();
    case PdmHeight:
        return size_.height();
    case PdmWidthMM:
        return static_cast<int>(std::lround(size_.width() * 25.4 / dpi_));
    case PdmHeightMM:
        return static_cast<int>(std::lround(size_.height() * 25.4 / dpi_));
    case PdmNumColors:
        return std::numeric_limits<int>::max();
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return dpi_;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    default:
        return QPaintDevice::metric(metric);
    }
}

} // namespace chart
