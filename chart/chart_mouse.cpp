#include "chart/chart.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace chart {

namespace {

// Keeps the guard against a nested mouse-down set while one of the chart's click events runs.
class ClickGuard {
public:
    explicit ClickGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~ClickGuard() { flag_ = false; }
    ClickGuard(const ClickGuard&) = delete;
    ClickGuard& operator=(const ClickGuard&) = delete;

private:
    bool& flag_;
};

// The band of an axis that starts a gesture: along the axis span, across from the label
// position to 3 pixels into the plot.
bool InAxisBand(const TChartAxis& axis, int x, int y) {
    const int along = axis.Horizontal() ? x : y;
    const int across = axis.Horizontal() ? y : x;
    if (along < axis.StartPixel() || along > axis.EndPixel())
        return false;
    const int line = axis.AxisLinePos();
    const int labels = axis.LabelsPos();
    // Towards the plot is up for the bottom axis, right for the left axis, and so on.
    const int inward = labels > line ? -3 : 3;
    const int a = line + inward, b = labels;
    return across >= std::min(a, b) && across <= std::max(a, b);
}

} // namespace

bool TChart::InsidePlot(int x, int y) const {
    return x >= plotRect_.left() && x < plotRect_.right() && y >= plotRect_.top() &&
           y < plotRect_.bottom();
}

TChart::Part TChart::PartAt(int x, int y, TChartAxis** axis, TChartSeries** series,
                            int* index) const {
    for (auto it = series_.rbegin(); it != series_.rend(); ++it) {
        if (!(*it)->Active())
            continue;
        const int i = (*it)->HitTest(x, y);
        if (i >= 0) {
            *series = *it;
            *index = i;
            return Part::Series;
        }
    }
    for (const auto& a : axes_) {
        if (AxisWillDraw(*a) && InAxisBand(*a, x, y)) {
            *axis = a.get();
            return Part::Axis;
        }
    }
    if (title_.Visible() && title_.TitleRect().contains(x, y))
        return Part::Title;
    if (foot_.Visible() && foot_.TitleRect().contains(x, y))
        return Part::Foot;
    const bool anyActive =
        std::any_of(series_.begin(), series_.end(), [](TChartSeries* s) { return s->Active(); });
    if (anyActive && plotRect_.contains(x, y))
        return Part::Plot;
    return Part::None;
}

bool TChart::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const auto hit = StripItemAt(help->pos());
    const TStripItem* item =
        hit ? &strip_.Rows()[static_cast<std::size_t>(hit->first)].Items[hit->second] : nullptr;
    if (item && !item->Texts.isEmpty() && !item->Texts.front().isEmpty()) {
        // The tip goes when the mouse leaves the item (a tick's reach included).
        const int a = BottomAxis().AxisValueToPixel(item->Start);
        const int b = BottomAxis().AxisValueToPixel(item->End);
        const int top = stripRect_.top() + hit->first * stripRowHeight_;
        const QRect area(QPoint(std::min(a, b) - 2, top),
                         QPoint(std::max(a, b) + 2, top + stripRowHeight_ - 1));
        QToolTip::showText(help->globalPos(), item->Texts.front(), this, area);
        return true;
    }
    // Off the items, the widget's own tip, if it has one.
    QToolTip::hideText();
    return QWidget::event(event);
}

void TChart::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int x = pos.x(), y = pos.y();
    const Qt::MouseButton button = event->button();
    const Qt::KeyboardModifiers shift = event->modifiers();
    if (button == Qt::LeftButton)
        pressedHere_ = true;
    if (OnMouseDown)
        OnMouseDown(this, button, shift, x, y);
    if (zoom_.Active || pan_.Active || inClickEvent_)
        return;

    TChartAxis* axis = nullptr;
    TChartSeries* series = nullptr;
    int index = -1;
    const Part part = PartAt(x, y, &axis, &series, &index);
    bool handled = false;
    {
        ClickGuard guard(inClickEvent_);
        if (part == Part::Axis && OnClickAxis) {
            OnClickAxis(this, axis, button, shift, x, y);
            handled = true;
        } else if (part == Part::Series && OnClickSeries) {
            OnClickSeries(this, series, index, button, shift, x, y);
            handled = true;
        } else if (part == Part::Plot && OnClickBackground) {
            OnClickBackground(this, button, shift, x, y);
            handled = true;
        }
        if (!handled && part != Part::Plot && OnClickBackground)
            OnClickBackground(this, button, shift, x, y);
    }
    if (handled || !(part == Part::Axis || part == Part::Series || part == Part::Plot))
        return;
    // The gestures need no modifier keys: their key sets are empty.
    if (allowZoom_ && button == Qt::LeftButton) {
        setCursor(Qt::ArrowCursor);
        zoom_ = TZoomPanning{true, x, y, x, y};
        DrawZoomRectangle();
    }
    if (allowPanning_ != pmNone && button == Qt::RightButton) {
        setCursor(Qt::ArrowCursor);
        pan_ = TZoomPanning{true, x, y, x, y};
    }
}

void TChart::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int x = pos.x(), y = pos.y();
    if (OnMouseMove)
        OnMouseMove(this, event->modifiers(), x, y);
    if (zoom_.Active) {
        if (x == zoom_.X1 && y == zoom_.Y1)
            return;
        DrawZoomRectangle();
        zoom_.X1 = x;
        zoom_.Y1 = y;
        DrawZoomRectangle();
        return;
    }
    if (pan_.Active) {
        if (!InsidePlot(x, y)) {
            pan_.Active = false;
            return;
        }
        if (x == pan_.X1 && y == pan_.Y1)
            return;
        if (nothingSaved_)
            SaveAxesState();
        bool scrolled = false;
        if (x != pan_.X1 && (allowPanning_ == pmHorizontal || allowPanning_ == pmBoth)) {
            ScrollAxes(true, pan_.X1, x);
            scrolled = true;
        }
        if (y != pan_.Y1 && (allowPanning_ == pmVertical || allowPanning_ == pmBoth)) {
            ScrollAxes(false, pan_.Y1, y);
            scrolled = true;
        }
        pan_.X1 = x;
        pan_.Y1 = y;
        if (scrolled) {
            if (OnScroll)
                OnScroll(this);
            RequestRedraw();
        }
        return;
    }
    setCursor(idleCursor_);
}

void TChart::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int x = pos.x(), y = pos.y();
    const Qt::MouseButton button = event->button();
    if (button == Qt::LeftButton) {
        const bool click = pressedHere_ && rect().contains(pos);
        pressedHere_ = false;
        if (click && OnClick)
            OnClick(this);
    }
    if (OnMouseUp)
        OnMouseUp(this, button, event->modifiers(), x, y);
    pan_.Active = false;
    if (zoom_.Active && button == Qt::LeftButton) {
        zoom_.Active = false;
        DrawZoomRectangle();
        canvas_.Pen().SetMode(pmCopy);
        zoom_.X1 = x;
        zoom_.Y1 = y;
        if (std::abs(x - zoom_.X0) > 16 && std::abs(y - zoom_.Y0) > 16) {
            if (zoom_.X0 < x && zoom_.Y0 < y)
                ZoomToRect(QRect(QPoint(zoom_.X0, zoom_.Y0), QPoint(x, y)));
            else
                UndoZoom();
            RequestRedraw();
        }
    }
}

void TChart::wheelEvent(QWheelEvent* event) {
    // One notch of a standard wheel is 120; finer wheels add up to notches.
    wheelPending_ += event->angleDelta().y();
    event->accept();
    while (std::abs(wheelPending_) >= 120) {
        const double sign = wheelPending_ < 0 ? 1.0 : -1.0;
        wheelPending_ += wheelPending_ < 0 ? 120 : -120;
        for (TChartAxis* axis : {&LeftAxis(), &RightAxis()}) {
            const double d = sign * 0.03 * (axis->Maximum() - axis->Minimum());
            axis->SetRange(axis->Minimum() + d, axis->Maximum() + d);
        }
        RedrawNow();
    }
}

void TChart::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setCursor(idleCursor_);
    pan_.Active = false;
}

void TChart::SaveAxesState() {
    TChartAxis* order[] = {&TopAxis(), &BottomAxis(), &LeftAxis(), &RightAxis()};
    for (size_t i = 0; i < saved_.size(); ++i)
        saved_[i] = order[i]->SaveState();
    nothingSaved_ = false;
}

void TChart::ScrollAxes(bool horizontal, int from, int to) {
    TChartAxis* axes[2] = {horizontal ? &BottomAxis() : &LeftAxis(),
                           horizontal ? &TopAxis() : &RightAxis()};
    for (TChartAxis* axis : axes) {
        const double d = axis->AxisPixelToValue(from) - axis->AxisPixelToValue(to);
        double newMin = axis->Minimum() + d, newMax = axis->Maximum() + d;
        bool allow = true;
        if (OnAllowScroll)
            OnAllowScroll(axis, newMin, newMax, allow);
        if (allow)
            axis->SetRange(newMin, newMax);
    }
}

void TChart::ZoomToRect(const QRect& r) {
    const int x0 = std::min(r.left(), r.right()), x1 = std::max(r.left(), r.right());
    const int y0 = std::min(r.top(), r.bottom()), y1 = std::max(r.top(), r.bottom());
    struct Target {
        TChartAxis* axis;
        double min, max;
    };
    const auto horizontal = [&](TChartAxis& a) {
        return Target{&a, a.AxisPixelToValue(x0), a.AxisPixelToValue(x1)};
    };
    const auto vertical = [&](TChartAxis& a) {
        return Target{&a, a.AxisPixelToValue(y1), a.AxisPixelToValue(y0)};
    };
    const Target targets[] = {vertical(LeftAxis()), vertical(RightAxis()), horizontal(TopAxis()),
                              horizontal(BottomAxis())};
    if (nothingSaved_)
        SaveAxesState();
    if (animatedZoom_) {
        for (int step = 1; step < animatedZoomSteps_; ++step) {
            for (const Target& t : targets) {
                TChartAxis& a = *t.axis;
                a.SetRange(a.Minimum() + (t.min - a.Minimum()) / 3.0,
                           a.Maximum() - (a.Maximum() - t.max) / 3.0);
            }
            RedrawNow();
        }
    }
    for (const Target& t : targets)
        t.axis->SetRange(t.min, t.max);
    zoomed_ = true;
    if (OnZoom)
        OnZoom(this);
}

void TChart::SaveRangesForUndo() {
    if (nothingSaved_)
        SaveAxesState();
}

void TChart::UndoZoom() {
    if (!nothingSaved_) {
        TChartAxis* order[] = {&TopAxis(), &BottomAxis(), &LeftAxis(), &RightAxis()};
        for (size_t i = 0; i < saved_.size(); ++i)
            order[i]->RestoreState(saved_[i]);
        nothingSaved_ = true;
    }
    if (OnUndoZoom)
        OnUndoZoom(this);
    RequestRedraw();
    zoomed_ = false;
}

} // namespace chart
