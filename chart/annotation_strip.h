#pragma once
// The annotation strip: labelled rows of spans on the time axis, drawn under a chart's plot and
// placed by its bottom axis. The chart only draws them; its owner says what the rows hold.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class QFontMetrics;
class QPaintDevice;
class QPainter;

namespace chart {

class TChartAxis;

// One annotation on the time axis, in the bottom axis's units. Texts: the full text first, then
// shorter forms; the strip shows the longest that fits and the full one as a tool tip.
struct TStripItem {
    double Start = 0;
    double End = 0; // == Start for an annotation at one instant
    QStringList Texts;
    int Color = 0; // index into StripColor's palette
};

// One labelled row; Items sorted by Start.
struct TStripRow {
    QString Name;
    std::vector<TStripItem> Items;
};

// The palette of the rows' items: distinct, light enough for black text. Any index is valid;
// the palette repeats.
QColor StripColor(int index);

// The text an item `width` pixels wide shows: the longest of `texts` that fits, else the
// shortest cut short with "…" when at least two of its characters stay, else none.
QString StripText(const QStringList& texts, const QFontMetrics& metrics, int width);

// The rows with the index their drawing needs, and the font of their texts.
class TStrip {
public:
    void SetRows(std::vector<TStripRow> rows);
    const std::vector<TStripRow>& Rows() const { return rows_; }
    bool Empty() const { return rows_.empty(); }
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font) { font_ = font; }

    // One row's height: a line of the font as `device` measures it, and a little room.
    int RowHeight(const QPaintDevice* device) const;
    // Draws the rows one under the other from the top of `rect`, clipped to it; `axis` (the
    // bottom one) places the items across.
    void Draw(QPainter& painter, const QRect& rect, int rowHeight, const TChartAxis& axis) const;
    // The row and item drawn at `point` in a strip drawn so; ticks catch the mouse 2 pixels wide.
    std::optional<std::pair<int, std::size_t>> ItemAt(QPoint point, const QRect& rect,
                                                      int rowHeight, const TChartAxis& axis) const;

private:
    void DrawRows(QPainter& painter, const QRect& rect, int rowHeight,
                  const TChartAxis& axis) const;
    // The items of a row that may reach into [lo, hi]: those from the first whose start lies
    // within the row's widest span before lo, up to the last that starts before hi.
    std::pair<std::size_t, std::size_t> Candidates(std::size_t row, double lo, double hi) const;
    void DrawRow(QPainter& painter, std::size_t row, const QRect& band,
                 const TChartAxis& axis) const;

    std::vector<TStripRow> rows_;
    std::vector<double> widest_; // per row, the longest End - Start
    // Per row and item, the latest End of the items up to it: how far a run of merged items
    // reaches, without visiting them.
    std::vector<std::vector<double>> reach_;
    QFont font_;
    // The rows as last drawn on an image, and what they were drawn for.
    struct TDrawnAs {
        QRect Rect;
        int RowHeight = 0;
        double Minimum = 0, Maximum = 0;
        int StartPixel = 0, EndPixel = 0;
        bool Inverted = false;
        std::uint64_t Generation = 0;
        QFont Font;
        bool operator==(const TDrawnAs&) const = default;
    };
    std::uint64_t generation_ = 0; // of the rows, counted by SetRows
    mutable QImage cache_;
    mutable TDrawnAs drawnAs_;
};

} // namespace chart
