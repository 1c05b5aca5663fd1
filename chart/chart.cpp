#include "chart/chart.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace chart {

TChart::TChart(QWidget* parent)
    : QWidget(parent), canvas_([this](const TOverlayOp& op) {
          overlay_.Add(op);
          update();
      }) {
    const TChartAxis::Kind kinds[] = {TChartAxis::Bottom, TChartAxis::Top, TChartAxis::Left,
                                      TChartAxis::Right, TChartAxis::Depth};
    for (size_t i = 0; i < axes_.size(); ++i)
        axes_[i] = std::make_unique<TChartAxis>(kinds[i], this);
    const auto changed = [this] { Invalidate(); };
    title_.OnChange = changed;
    foot_.OnChange = changed;
    backWall_.OnChange = changed;
    resize(400, 250);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    idleCursor_ = cursor();
    frameTimer_.setSingleShot(true);
    // The frame's paint runs from the timer's own event: posting it would cost the window thread
    // another pass of its event loop every frame.
    connect(&frameTimer_, &QTimer::timeout, this, [this] {
        if (imageDirty_)
            repaint();
    });
}

TChart::~TChart() {
    destroying_ = true;
    // Series are child objects; they leave the list as Qt deletes them.
    for (TChartSeries* s : std::vector<TChartSeries*>(series_))
        delete s;
}

void TChart::AttachSeries(TChartSeries* s) {
    if (std::find(series_.begin(), series_.end(), s) == series_.end())
        series_.push_back(s);
    Invalidate();
}

void TChart::DetachSeries(TChartSeries* s) {
    series_.erase(std::remove(series_.begin(), series_.end(), s), series_.end());
    if (!destroying_)
        Invalidate();
}

void TChart::Invalidate() {
    imageDirty_ = true;
    ScheduleFrame();
}

void TChart::ScheduleFrame() {
    // The paint already due, now or at the end of this frame, shows this change as well.
    if (frameTimer_.isActive() || paintPending_)
        return;
    const qint64 wait = lastPaint_.isValid() ? frameInterval_ - lastPaint_.elapsed() : 0;
    // A request in the frame's last eighth is painted at once. Data that comes about once a frame
    // (the serial stack offers received bytes at that pace) lands there more often than not,
    // and a timer for the rest of the frame would wake the window a second time each frame.
    if (wait > frameInterval_ / 8) {
        frameTimer_.start(static_cast<int>(wait));
    } else {
        paintPending_ = true;
        update();
    }
}

void TChart::SetFrameInterval(int ms) {
    frameInterval_ = std::max(0, ms);
}

void TChart::RequestRedraw() {
    emit redrawRequested();
    Invalidate();
}

void TChart::RedrawNow() {
    emit redrawRequested();
    imageDirty_ = true;
    repaint();
}

void TChart::SetColor(QColor c) {
    if (c == color_)
        return;
    color_ = c;
    Invalidate();
}

void TChart::SetStrip(std::vector<TStripRow> rows) {
    strip_.SetRows(std::move(rows));
    Invalidate();
}

void TChart::SetStripFont(const QFont& font) {
    strip_.SetFont(font);
    Invalidate();
}

std::optional<std::pair<int, std::size_t>> TChart::StripItemAt(QPoint point) const {
    return strip_.ItemAt(point, stripRect_, stripRowHeight_, *axes_[0]);
}

void TChart::SetMarginLeft(int percent) {
    margins_[0] = percent;
    Invalidate();
}
void TChart::SetMarginTop(int percent) {
    margins_[1] = percent;
    Invalidate();
}
void TChart::SetMarginRight(int percent) {
    margins_[2] = percent;
    Invalidate();
}
void TChart::SetMarginBottom(int percent) {
    margins_[3] = percent;
    Invalidate();
}

void TChart::SetAxisVisible(bool v) {
    if (v == axisVisible_)
        return;
    axisVisible_ = v;
    Invalidate();
}

void TChart::SetView3D(bool v) {
    view3D_ = v;
    Invalidate();
}

void TChart::SetView3DWalls(bool v) {
    view3DWalls_ = v;
    Invalidate();
}

void TChart::SetClipPoints(bool v) {
    clipPoints_ = v;
    Invalidate();
}

void TChart::SetUseBackBuffer(bool v) {
    useBackBuffer_ = v;
    if (!v)
        buffer_ = QImage();
    Invalidate();
}

void TChart::FullRepaintToBuffer() {
    if (buffer_.size() != size())
        buffer_ = QImage(size(), QImage::Format_RGB32);
    QPainter painter(&buffer_);
    DrawChart(painter, QRect(QPoint(0, 0), size()));
    imageDirty_ = false;
}

void TChart::FullRepaintDone() {
    // Whatever was requested so far is on screen now. The next frame starts after the paint, so
    // even a slow repaint leaves the event loop a frame's time for the data.
    frameTimer_.stop();
    lastPaint_.start();
    emit painted();
}

void TChart::paintEvent(QPaintEvent*) {
    paintPending_ = false;
    // The canvas belongs to the page being drawn; the window catches up once it is done.
    if (canvas_.IsPrinting())
        return;
    if (useBackBuffer_) {
        const bool full = imageDirty_ || buffer_.size() != size();
        if (full) {
            FullRepaintToBuffer();
            // The fresh image replaces whatever was drawn over the old one.
            overlay_.Clear();
        }
        {
            QPainter painter(this);
            painter.drawImage(0, 0, buffer_);
            overlay_.Draw(painter);
        }
        if (full)
            FullRepaintDone();
        return;
    }
    {
        QPainter painter(this);
        DrawChart(painter, rect());
    }
    overlay_.Clear();
    imageDirty_ = false;
    FullRepaintDone();
}

void TChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    imageDirty_ = true;
}

} // namespace chart
