#pragma once
// The pen of chart lines and frames, which tells its owner of every change.

#include <QColor>
#include <QPen>

#include <functional>

namespace chart {

// The default-colour marker of a point or pen: "use the owner's colour".
inline constexpr unsigned ClDefault = 0x80000000u;

// A pen with a Visible flag. Changing any property tells the owner (the chart marks itself dirty).
class TChartPen {
public:
    TChartPen(QColor color = Qt::black, Qt::PenStyle style = Qt::SolidLine, int width = 1,
              bool visible = true)
        : color_(color), style_(style), width_(width), visible_(visible) {}

    QColor Color() const { return color_; }
    void SetColor(QColor c) { Set(color_, c); }
    Qt::PenStyle Style() const { return style_; }
    void SetStyle(Qt::PenStyle s) { Set(style_, s); }
    int Width() const { return width_; }
    void SetWidth(int w) { Set(width_, w); }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) { Set(visible_, v); }

    // The pen as the painter draws it; an invisible pen draws nothing.
    QPen ToQPen() const {
        if (!visible_)
            return QPen(Qt::NoPen);
        QPen pen(color_, width_, style_);
        return pen;
    }

    std::function<void()> OnChange;

private:
    template <class T> void Set(T& field, const T& value) {
        if (field == value)
            return;
        field = value;
        if (OnChange)
            OnChange();
    }

    QColor color_;
    Qt::PenStyle style_;
    int width_;
    bool visible_;
};

} // namespace chart
