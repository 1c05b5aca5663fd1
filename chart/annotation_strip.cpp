#include "chart/annotation_strip.h"

#include "chart/axis.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace chart {

namespace {

// Space between a row's edges and its items, and between an item's outline and its text.
constexpr int RowGap = 2;
constexpr int TextInset = 2;
// Items narrower than this are ticks: no shape to speak of and no room for text.
constexpr int NarrowestShape = 2;
// The row's name: grey on a light background that covers the items beneath it.
const QColor NameText(0x60, 0x60, 0x60);
const QColor NameBackground(0xEC, 0xEC, 0xEC);
// Rows alternate between two light backgrounds so that neighbours stay apart.
const QColor RowBackground[2] = {QColor(0xFF, 0xFF, 0xFF), QColor(0xF6, 0xF6, 0xF6)};

QColor Outline(const QColor& fill) {
    return fill.darker(170);
}

// The axis's value-to-pixel mapping in doubles, for the many items of a zoomed-out row: the
// axis's own formula works in long double, which costs several times as much per item. Far-out
// values stay far out (rather than going to the centre) so that clipping holds them off.
class TPixelMap {
public:
    explicit TPixelMap(const TChartAxis& axis)
        : min_(axis.EffectiveMinimum()), inverted_(axis.Inverted()),
          origin_(axis.Inverted() ? axis.EndPixel() : axis.StartPixel()),
          center_(axis.CenterPixel()) {
        const double range = axis.EffectiveRange();
        scale_ = range != 0 ? axis.AxisLength() / range : 0;
    }
    bool Inverted() const { return inverted_; }
    // Pixels across a span of values.
    double Pixels(double span) const { return std::fabs(span * scale_); }
    int operator()(double value) const {
        if (scale_ == 0)
            return center_;
        const double t = std::clamp((value - min_) * scale_, -1e8, 1e8);
        const long r = std::lrint(t);
        return static_cast<int>(inverted_ ? origin_ - r : origin_ + r);
    }

private:
    double min_, scale_ = 0;
    bool inverted_;
    int origin_, center_;
};

// An item's pixels across, left to right.
std::pair<int, int> Span(const TPixelMap& map, const TStripItem& item) {
    const int a = map(item.Start), b = map(item.End);
    return {std::min(a, b), std::max(a, b)};
}

} // namespace

QColor StripColor(int index) {
    static const std::array<QColor, 10> palette = {
        QColor(0xA6, 0xD8, 0xF0), QColor(0xB8, 0xE6, 0xA8), QColor(0xFF, 0xD5, 0x8F),
        QColor(0xF2, 0xB0, 0xC8), QColor(0xD0, 0xC0, 0xF0), QColor(0xF5, 0xEE, 0x90),
        QColor(0x9F, 0xE3, 0xD5), QColor(0xF7, 0xBC, 0xA0), QColor(0xC8, 0xD4, 0xE0),
        QColor(0xE0, 0xE8, 0xB0)};
    const int n = static_cast<int>(palette.size());
    return palette[static_cast<std::size_t>(((index % n) + n) % n)];
}

QString StripText(const QStringList& texts, const QFontMetrics& metrics, int width) {
    if (texts.isEmpty() || width <= 0)
        return {};
    const QString* longest = nullptr;
    const QString* shortest = &texts.front();
    for (const QString& text : texts) {
        if (text.size() < shortest->size())
            shortest = &text;
        if (metrics.horizontalAdvance(text) <= width && (!longest || text.size() > longest->size()))
            longest = &text;
    }
    if (longest)
        return *longest;
    const QString elided = metrics.elidedText(*shortest, Qt::ElideRight, width);
    // Fewer than two characters before the ellipsis say nothing.
    return elided.size() >= 3 ? elided : QString();
}

void TStrip::SetRows(std::vector<TStripRow> rows) {
    rows_ = std::move(rows);
    ++generation_;
    widest_.assign(rows_.size(), 0);
    reach_.assign(rows_.size(), {});
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        double reach = -std::numeric_limits<double>::infinity();
        for (const TStripItem& item : rows_[r].Items) {
            widest_[r] = std::max(widest_[r], std::fabs(item.End - item.Start));
            reach = std::max({reach, item.Start, item.End});
            reach_[r].push_back(reach);
        }
    }
}

int TStrip::RowHeight(const QPaintDevice* device) const {
    const QFontMetrics fm = device ? QFontMetrics(font_, device) : QFontMetrics(font_);
    return fm.height() + 2 * (RowGap + 1);
}

std::pair<std::size_t, std::size_t> TStrip::Candidates(std::size_t row, double lo,
                                                       double hi) const {
    const std::vector<TStripItem>& items = rows_[row].Items;
    const auto byStart = [](const TStripItem& item, double v) { return item.Start < v; };
    const auto first = std::lower_bound(items.begin(), items.end(), lo - widest_[row], byStart);
    const auto last = std::upper_bound(
        first, items.end(), hi, [](double v, const TStripItem& item) { return v < item.Start; });
    return {static_cast<std::size_t>(first - items.begin()),
            static_cast<std::size_t>(last - items.begin())};
}

void TStrip::Draw(QPainter& painter, const QRect& rect, int rowHeight,
                  const TChartAxis& axis) const {
    // On an image as it is (the window's kept image, a bitmap) the strip is kept as drawn last:
    // while sweeps repaint the trace many times a second, the annotations stay as they were.
    // Vector outputs and the printer get it drawn afresh.
    const QPaintDevice* device = painter.device();
    if (device == nullptr || device->devType() != QInternal::Image ||
        painter.deviceTransform().type() != QTransform::TxNone) {
        DrawRows(painter, rect, rowHeight, axis);
        return;
    }
    const TDrawnAs drawn{rect,           rowHeight,          axis.Minimum(), axis.Maximum(),
                         axis.StartPixel(), axis.EndPixel(), axis.Inverted(), generation_,
                         font_};
    if (cache_.isNull() || !(drawn == drawnAs_)) {
        cache_ = QImage(rect.size(), QImage::Format_RGB32);
        QPainter cache(&cache_);
        cache.translate(-rect.topLeft());
        DrawRows(cache, rect, rowHeight, axis);
        drawnAs_ = drawn;
    }
    painter.drawImage(rect.topLeft(), cache_);
}

void TStrip::DrawRows(QPainter& painter, const QRect& rect, int rowHeight,
                      const TChartAxis& axis) const {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.setFont(font_);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const QRect band(rect.left(), rect.top() + static_cast<int>(r) * rowHeight, rect.width(),
                         rowHeight);
        painter.fillRect(band, RowBackground[r % 2]);
        DrawRow(painter, r, band, axis);
    }
    painter.restore();
}

void TStrip::DrawRow(QPainter& painter, std::size_t row, const QRect& band,
                     const TChartAxis& axis) const {
    const int top = band.top() + RowGap, bottom = band.bottom() - RowGap;
    const int mid = (top + bottom) / 2;
    const TPixelMap map(axis);
    const QFontMetrics fm = painter.fontMetrics();

    // Ticks and narrow items that touch or share pixel columns become one filled run, drawn
    // once: zoomed out, a row of many thousand items costs a few hundred rectangles.
    struct Run {
        int left = 0, right = -1;
        int color = 0;
    } run;
    const auto flush = [&] {
        if (run.right >= run.left)
            painter.fillRect(QRect(QPoint(run.left, top), QPoint(run.right, bottom)),
                             Outline(StripColor(run.color)));
        run.right = run.left - 1;
    };

    // Only items a few pixels wide have room for text, so few are on view at once.
    std::vector<std::pair<QRect, QString>> texts;
    const std::vector<TStripItem>& items = rows_[row].Items;
    const std::vector<double>& reach = reach_[row];
    // Every item at most a pixel wide, left to right: the items that start within a run's
    // columns or the next one all join it, and the furthest end among them is where it reaches.
    const bool skipRuns = !map.Inverted() && map.Pixels(widest_[row]) < 1;
    const auto [first, last] = Candidates(row, axis.EffectiveMinimum(), axis.EffectiveMaximum());
    for (std::size_t i = first; i < last; ++i) {
        const TStripItem& item = items[i];
        const auto [x0, x1] = Span(map, item);
        if (x1 < band.left() || x0 > band.right())
            continue;
        if (x1 - x0 < NarrowestShape) {
            if (run.right >= run.left && x0 <= run.right + 1 && x1 >= run.left - 1) {
                run.left = std::min(run.left, x0);
                run.right = std::max(run.right, x1);
                continue;
            }
            flush();
            run = Run{x0, x1, item.Color};
            while (skipRuns) {
                const auto joining = std::partition_point(
                    items.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                    items.begin() + static_cast<std::ptrdiff_t>(last),
                    [&](const TStripItem& next) { return map(next.Start) <= run.right + 1; });
                const auto skipped = static_cast<std::size_t>(joining - items.begin());
                if (skipped == i + 1)
                    break;
                i = skipped - 1;
                run.right = std::max(run.right, map(reach[i]));
            }
            continue;
        }
        const int d = std::min((bottom - top) / 2, (x1 - x0) / 2);
        const QPolygon hexagon({QPoint(x0, mid), QPoint(x0 + d, top), QPoint(x1 - d, top),
                                QPoint(x1, mid), QPoint(x1 - d, bottom), QPoint(x0 + d, bottom)});
        const QColor fill = StripColor(item.Color);
        painter.setPen(Outline(fill));
        painter.setBrush(fill);
        painter.drawPolygon(hexagon);
        // The text is centred on the part of the item in view.
        const int left = std::max(x0 + d, band.left()) + TextInset;
        const int right = std::min(x1 - d, band.right()) - TextInset;
        QString text = StripText(item.Texts, fm, right - left + 1);
        if (!text.isEmpty())
            texts.emplace_back(QRect(QPoint(left, top), QPoint(right, bottom)), std::move(text));
    }
    flush();
    // Texts go over the ticks and runs that fall on their items.
    painter.setPen(Qt::black);
    for (const auto& [box, text] : texts)
        painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text);

    const QString& name = rows_[row].Name;
    if (!name.isEmpty()) {
        const int w = fm.horizontalAdvance(name) + 2 * TextInset;
        const QRect label(band.left() + 1, top, w, bottom - top + 1);
        painter.fillRect(label, NameBackground);
        painter.setPen(NameText);
        painter.drawText(label, Qt::AlignCenter | Qt::TextSingleLine, name);
    }
}

std::optional<std::pair<int, std::size_t>>
TStrip::ItemAt(QPoint point, const QRect& rect, int rowHeight, const TChartAxis& axis) const {
    if (rowHeight <= 0 || !rect.contains(point))
        return std::nullopt;
    const int row = (point.y() - rect.top()) / rowHeight;
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return std::nullopt;
    constexpr int Reach = 2;
    const double a = axis.AxisPixelToValue(point.x() - Reach);
    const double b = axis.AxisPixelToValue(point.x() + Reach);
    const TPixelMap map(axis);
    const auto [first, last] =
        Candidates(static_cast<std::size_t>(row), std::min(a, b), std::max(a, b));
    // The item under the point, else the nearest tick within reach.
    std::optional<std::pair<int, std::size_t>> found;
    int nearest = Reach + 1;
    const std::vector<TStripItem>& items = rows_[static_cast<std::size_t>(row)].Items;
    for (std::size_t i = first; i < last; ++i) {
        const auto [x0, x1] = Span(map, items[i]);
        const int distance = point.x() < x0 ? x0 - point.x() : std::max(0, point.x() - x1);
        if (distance < nearest) {
            nearest = distance;
            found = std::make_pair(row, i);
        }
    }
    return found;
}

} // namespace chart
