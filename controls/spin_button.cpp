#include "controls/spin_button.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

namespace controls {

TSpinPart SpinPartAt(TSpinButtonKind kind, QSize size, QPoint point) {
    const long long w = size.width(), h = size.height();
    const long long x = point.x(), y = point.y();
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || x >= w || y >= h)
        return TSpinPart::None;
    if (kind == bkStandard)
        return 2 * y < h ? TSpinPart::Top : TSpinPart::Bottom;
    // Pixel centres strictly above the line from (0, h) to (w, 0) belong to the upper-left part.
    return (2 * x + 1) * h + (2 * y + 1) * w < 2 * w * h ? TSpinPart::Top : TSpinPart::Bottom;
}

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    // The repeat pauses are the operator's timing, not a hint: no coarse early firing.
    FRepeatTimer.setTimerType(Qt::PreciseTimer);
    connect(&FRepeatTimer, &QTimer::timeout, this, &TSpinButton::Repeat);
}

void TSpinButton::SetKind(TSpinButtonKind kind) {
    if (FKind != kind) {
        FKind = kind;
        update();
    }
}

QSize TSpinButton::sizeHint() const {
    return {15, 21};
}

void TSpinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    if (FFocusControl && !FFocusControl->hasFocus() && FFocusControl->isEnabled() &&
        (FFocusControl->focusPolicy() & Qt::ClickFocus))
        FFocusControl->setFocus(Qt::MouseFocusReason);
    const TSpinPart part = SpinPartAt(FKind, size(), event->position().toPoint());
    if (part == TSpinPart::None || !isEnabled())
        return;
    FPressedPart = part;
    FOverPressedPart = true;
    update();
    FRepeatTimer.start(InitialRepeatPause);
    ClickPart(part);
}

void TSpinButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a quick double click steps like any other press.
    mousePressEvent(event);
}

void TSpinButton::mouseMoveEvent(QMouseEvent* event) {
    if (FPressedPart == TSpinPart::None)
        return;
    const bool over = SpinPartAt(FKind, size(), event->position().toPoint()) == FPressedPart;
    if (over != FOverPressedPart) {
        FOverPressedPart = over;
        update();
    }
}

void TSpinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        StopRepeat();
}

void TSpinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        StopRepeat(); // a disabled button gets no release
    QWidget::changeEvent(event);
}

// A window that lost the activation to a message box or another program gets no release either:
// the repetition would run on unbidden.
bool TSpinButton::event(QEvent* event) {
    if (event->type() == QEvent::WindowDeactivate)
        StopRepeat();
    return QWidget::event(event);
}

void TSpinButton::Repeat() {
    FRepeatTimer.setInterval(RepeatPause);
    if (FOverPressedPart)
        ClickPart(FPressedPart);
}

void TSpinButton::ClickPart(TSpinPart part) {
    Raise(part == TSpinPart::Top ? OnTopClick : OnBottomClick, this);
}

void TSpinButton::StopRepeat() {
    FRepeatTimer.stop();
    if (FPressedPart != TSpinPart::None) {
        FPressedPart = TSpinPart::None;
        FOverPressedPart = false;
        update();
    }
}

namespace {

void DrawPanel(QPainter& painter, QWidget* widget, QRect rect, bool sunken) {
    QStyleOptionButton option;
    option.initFrom(widget);
    option.rect = rect;
    option.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
    widget->style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, widget);
}

void DrawArrow(QPainter& painter, QWidget* widget, QRect rect, bool up) {
    QStyleOption option;
    option.initFrom(widget);
    option.rect = rect;
    widget->style()->drawPrimitive(up ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowDown,
                                   &option, &painter, widget);
}

} // namespace

void TSpinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    const bool topDown = FPressedPart == TSpinPart::Top && FOverPressedPart;
    const bool bottomDown = FPressedPart == TSpinPart::Bottom && FOverPressedPart;
    if (FKind == bkStandard) {
        const QRect top(0, 0, width(), height() / 2);
        const QRect bottom(0, height() / 2, width(), height() - height() / 2);
        DrawPanel(painter, this, top, topDown);
        DrawPanel(painter, this, bottom, bottomDown);
        DrawArrow(painter, this, top.adjusted(3, 2, -3, -1), true);
        DrawArrow(painter, this, bottom.adjusted(3, 1, -3, -2), false);
        return;
    }
    DrawPanel(painter, this, all, false);
    const QPointF lowerLeft(0, height()), upperRight(width(), 0);
    if (topDown || bottomDown) {
        QPainterPath triangle;
        triangle.moveTo(lowerLeft);
        triangle.lineTo(topDown ? QPointF(0, 0) : QPointF(width(), height()));
        triangle.lineTo(upperRight);
        triangle.closeSubpath();
        painter.fillPath(triangle, palette().mid());
    }
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawLine(lowerLeft, upperRight);
    const int w = width() / 2, h = height() / 2;
    DrawArrow(painter, this, QRect(1, 1, w, h), true);
    DrawArrow(painter, this, QRect(width() - w - 1, height() - h - 1, w, h), false);
}

} // namespace controls
