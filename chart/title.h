#pragma once
// The chart's title and foot: text lines with font, alignment, frame and brush.

#include "chart/chart_pen.h"

#include <QBrush>
#include <QFont>
#include <QRect>
#include <QStringList>

#include <functional>

namespace chart {

// Title (top) or foot (bottom) text lines of the chart.
class TChartTitle {
public:
    explicit TChartTitle(QColor fontColor = Qt::blue) : fontColor_(fontColor) {
        frame_.SetVisible(false);
        frame_.OnChange = [this] { Changed(); };
    }

    QStringList Text() const { return text_; }
    void SetText(const QStringList& lines) {
        text_ = lines;
        Changed();
    }
    bool Visible() const { return visible_; }
    void SetVisible(bool v) {
        if (v == visible_)
            return;
        visible_ = v;
        Changed();
    }
    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment a) {
        alignment_ = a;
        Changed();
    }
    QFont Font() const { return font_; }
    void SetFont(const QFont& f) {
        font_ = f;
        Changed();
    }
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(QColor c) {
        fontColor_ = c;
        Changed();
    }
    bool AdjustFrame() const { return adjustFrame_; }
    void SetAdjustFrame(bool v) {
        adjustFrame_ = v;
        Changed();
    }
    TChartPen& Frame() { return frame_; }
    const TChartPen& Frame() const { return frame_; }
    QBrush Brush() const { return brush_; }
    void SetBrush(const QBrush& b) {
        brush_ = b;
        Changed();
    }
    // The rectangle the title occupied at its last draw.
    QRect TitleRect() const { return rect_; }
    void SetTitleRect(const QRect& r) { rect_ = r; }

    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange)
            OnChange();
    }
    QStringList text_;
    bool visible_ = true;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
    QFont font_;
    QColor fontColor_;
    bool adjustFrame_ = true;
    TChartPen frame_;
    QBrush brush_{Qt::NoBrush};
    QRect rect_;
};

// The back wall: the frame (and optional fill) of the plot rectangle.
class TChartWall {
public:
    TChartWall() {
        pen_.OnChange = [this] { Changed(); };
    }
    TChartPen& Pen() { return pen_; }
    const TChartPen& Pen() const { return pen_; }
    QBrush Brush() const { return brush_; }
    void SetBrush(const QBrush& b) {
        brush_ = b;
        Changed();
    }

    std::function<void()> OnChange;

private:
    void Changed() {
        if (OnChange)
            OnChange();
    }
    TChartPen pen_;
    QBrush brush_{Qt::NoBrush};
};

} // namespace chart
