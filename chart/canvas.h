#pragma once
// What the chart and its owner draw through: pens with copy and XOR modes, brushes, text, and the
// overlay that keeps drawings made outside a full repaint on the screen.

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

namespace chart {

enum TPenMode { pmCopy, pmXor, pmNotXor };

class TCanvasPen {
public:
    QColor Color() const { return color_; }
    void SetColor(QColor c) { color_ = c; }
    Qt::PenStyle Style() const { return style_; }
    void SetStyle(Qt::PenStyle s) { style_ = s; }
    int Width() const { return width_; }
    void SetWidth(int w) { width_ = w; }
    TPenMode Mode() const { return mode_; }
    void SetMode(TPenMode m) { mode_ = m; }

private:
    QColor color_ = Qt::black;
    Qt::PenStyle style_ = Qt::SolidLine;
    int width_ = 1;
    TPenMode mode_ = pmCopy;
};

class TCanvasBrush {
public:
    QColor Color() const { return color_; }
    void SetColor(QColor c) { color_ = c; }
    Qt::BrushStyle Style() const { return style_; }
    void SetStyle(Qt::BrushStyle s) { style_ = s; }

private:
    QColor color_ = Qt::white;
    Qt::BrushStyle style_ = Qt::SolidPattern;
};

// One drawing made through the canvas outside a full repaint. The window shows the back buffer
// with these drawn over it, in order, so the screen always matches what the owner drew.
struct TOverlayOp {
    enum Kind { Line, Rect, Text };
    Kind kind = Line;
    QLine line;
    QRect rect;
    QString text;
    Qt::Alignment align;
    QPen pen;
    QBrush brush;
    QFont font;
    QColor backColor;
    bool backTransparent = true;
    TPenMode mode = pmCopy;
    QRect clip; // null: not clipped

    bool operator==(const TOverlayOp&) const = default;
    void Draw(QPainter& painter) const;
};

// The overlay ops of the window. Drawing an XOR or NOT-XOR figure a second time cancels it, as it
// would restore the pixels, so a moving cross-hair keeps the list short.
class TOverlay {
public:
    void Add(const TOverlayOp& op);
    void Clear() { ops_.clear(); }
    bool Empty() const { return ops_.empty(); }
    int Count() const { return static_cast<int>(ops_.size()); }
    void Draw(QPainter& painter) const;

private:
    std::vector<TOverlayOp> ops_;
};

// The canvas the chart and its owner draw through: pen (with copy, XOR and NOT-XOR modes), brush,
// font, lines, rectangles, text and clipping. During a full repaint it draws on the repaint's
// painter; outside one it adds to the window overlay through the sink.
class TChartCanvas {
public:
    using TOverlaySink = std::function<void(const TOverlayOp&)>;
    explicit TChartCanvas(TOverlaySink sink) : sink_(std::move(sink)) {}

    TCanvasPen& Pen() { return pen_; }
    TCanvasBrush& Brush() { return brush_; }
    QFont Font() const { return font_; }
    void SetFont(const QFont& f) { font_ = f; }
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(QColor c) { fontColor_ = c; }
    QColor BackColor() const { return backColor_; }
    void SetBackColor(QColor c) { backColor_ = c; }
    bool BackTransparent() const { return backTransparent_; }
    void SetBackTransparent(bool v) { backTransparent_ = v; }
    // Where TextOut's point lies on the text: left/centre/right, top/vcentre/bottom.
    Qt::Alignment TextAlign() const { return textAlign_; }
    void SetTextAlign(Qt::Alignment a) { textAlign_ = a; }

    void MoveTo(int x, int y) { penPos_ = QPoint(x, y); }
    void LineTo(int x, int y);
    void Line(int x1, int y1, int x2, int y2);
    // Outline with the pen and fill with the brush of the pixels x1..x2-1, y1..y2-1.
    void Rectangle(int x1, int y1, int x2, int y2);
    void TextOut(int x, int y, const QString& text);
    void ClipRectangle(const QRect& r);
    void UnClipRectangle();

    // Pen black, width 1, solid; brush white, solid; font black, size 10; text background white
    // and transparent.
    void Reset();

    // The painter of the running full repaint, or null outside one.
    QPainter* Painter() const { return painter_; }
    void Attach(QPainter* painter) { painter_ = painter; }
    QPen MakePen() const;

    // Set while a page is drawn: the drawing then follows the paper's rules (OutputPen,
    // OutputFontColor, no panel background).
    bool IsPrinting() const { return isPrinting_; }
    void SetIsPrinting(bool v) { isPrinting_ = v; }
    // Set while the repaint goes into a metafile or onto a page, for hooks that draw differently
    // into a recorded picture.
    bool RecordingPicture() const { return recordingPicture_; }
    void SetRecordingPicture(bool v) { recordingPicture_ = v; }
    // A pen as the current target draws it: on paper a non-solid pen of width 1 becomes the
    // printer's thinnest line, whose dots stay dots instead of growing with the page's scale.
    QPen OutputPen(QPen pen) const;
    // On paper white text would vanish: it is printed black.
    QColor OutputFontColor(QColor color) const;

private:
    void Emit(TOverlayOp op);

    TOverlaySink sink_;
    QPainter* painter_ = nullptr;
    TCanvasPen pen_;
    TCanvasBrush brush_;
    QFont font_;
    QColor fontColor_ = Qt::black;
    QColor backColor_ = Qt::white;
    bool backTransparent_ = true;
    Qt::Alignment textAlign_ = Qt::AlignLeft | Qt::AlignTop;
    QPoint penPos_;
    QRect clip_;
    bool isPrinting_ = false;
    bool recordingPicture_ = false;
};

QPainter::CompositionMode CompositionFor(TPenMode mode);

} // namespace chart
