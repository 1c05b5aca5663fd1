#include "controls/slider.h"

#include "controls/errors.h"
#include "controls/slider_math.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

#include <algorithm>

namespace controls {

namespace {

constexpr int ThumbLength = 11; // along the ruler
constexpr int ThumbBreadth = 21;
constexpr int RulerBreadth = 4;
constexpr int MinPointSpacing = 4; // px between drawn points

} // namespace

TSlider::TSlider(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    FTrackTimer.setTimerType(Qt::PreciseTimer);
    connect(&FTrackTimer, &QTimer::timeout, this, &TSlider::TrackRepeat);
}

void TSlider::SetValue(int value) {
    value = std::max(std::min(value, FMaxValue), FMinValue);
    update();
    if (value != FValue) {
        FValue = value;
        Raise(OnChange, this);
    }
}

void TSlider::Limit() {
    SetValue(FValue);
}

void TSlider::SetMinValue(int value) {
    FMinValue = value;
    Limit();
}

void TSlider::SetMaxValue(int value) {
    FMaxValue = value;
    Limit();
}

void TSlider::SetIncrement(int value) {
    const long long range = static_cast<long long>(FMaxValue) - FMinValue;
    if (!FLoading && (value < 1 || value > range))
        throw EInvalidValue(
            QStringLiteral("Value must be between %1 and %2").arg(1).arg(range).toStdString());
    FIncrement = value;
    update();
}

void TSlider::SetOrientation(Qt::Orientation value) {
    if (FOrientation == value)
        return;
    FOrientation = value;
    FDragOffset.reset();
    updateGeometry();
    update();
}

void TSlider::SetOptions(TSliderOptions value) {
    FOptions = value;
    update();
}

QSize TSlider::sizeHint() const {
    return FOrientation == Qt::Horizontal ? QSize(150, 40) : QSize(40, 150);
}

// Offsets run along the ruler from MinValue's end: rightwards, or upwards when vertical.
int TSlider::RulerLength() const {
    const int along = FOrientation == Qt::Horizontal ? width() : height();
    return std::max(0, along - ThumbLength);
}

int TSlider::OffsetOf(int value) const {
    if (FMaxValue <= FMinValue)
        return 0;
    const long long range = static_cast<long long>(FMaxValue) - FMinValue;
    return static_cast<int>(
        RoundHalfEvenDiv((static_cast<long long>(value) - FMinValue) * RulerLength(), range));
}

// Where a point lies along the ruler, in the offsets of the thumb's leading edge plus its centre.
int TSlider::PointerOffset(QPoint point) const {
    return FOrientation == Qt::Horizontal ? point.x() : height() - 1 - point.y();
}

QRect TSlider::ThumbRect(int offset) const {
    if (FOrientation == Qt::Horizontal) {
        const int breadth = std::min(ThumbBreadth, height());
        return {offset, (height() - breadth) / 2, ThumbLength, breadth};
    }
    const int breadth = std::min(ThumbBreadth, width());
    return {(width() - breadth) / 2, height() - ThumbLength - offset, breadth, ThumbLength};
}

QRect TSlider::RulerRect() const {
    if (FOrientation == Qt::Horizontal)
        return {ThumbLength / 2, (height() - RulerBreadth) / 2, RulerLength() + 1, RulerBreadth};
    return {(width() - RulerBreadth) / 2, ThumbLength / 2, RulerBreadth, RulerLength() + 1};
}

// -1 when the point lies on MinValue's side of the thumb, +1 on MaxValue's side, 0 on it.
int TSlider::SideOfThumb(QPoint point) const {
    const int along = PointerOffset(point);
    const int thumb = OffsetOf(FValue);
    if (along < thumb)
        return -1;
    if (along >= thumb + ThumbLength)
        return +1;
    return 0;
}

void TSlider::StepTowards(int side) {
    // An increment below 1 can only come from restored properties; step by 1 then.
    const long long increment = std::max(FIncrement, 1);
    const long long next =
        side > 0 ? SliderStepUp(FValue, increment) : SliderStepDown(FValue, increment);
    SetValue(
        static_cast<int>(std::clamp<long long>(next, FMinValue, std::max(FMinValue, FMaxValue))));
}

void TSlider::TrackRepeat() {
    if (FAction == TAction::Track && SideOfThumb(FLastPointer) == FTrackSide)
        StepTowards(FTrackSide);
}

void TSlider::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || FAction != TAction::None)
        return QWidget::mousePressEvent(event);
    QPointer<TSlider> self = this;
    if (!hasFocus() && (focusPolicy() & Qt::ClickFocus))
        setFocus(Qt::MouseFocusReason);
    if (!self || !isEnabled())
        return;
    FLastPointer = event->position().toPoint();
    const int side = SideOfThumb(FLastPointer);
    if (side == 0) {
        FAction = TAction::Drag;
        FDragGrip = PointerOffset(FLastPointer) - OffsetOf(FValue);
        FDragOffset = OffsetOf(FValue);
        return;
    }
    FAction = TAction::Track;
    FTrackSide = side;
    FTrackTimer.start(TrackRepeatPause);
    StepTowards(side);
}

void TSlider::mouseMoveEvent(QMouseEvent* event) {
    FLastPointer = event->position().toPoint();
    if (FAction != TAction::Drag)
        return;
    const int offset = std::clamp(PointerOffset(FLastPointer) - FDragGrip, 0, RulerLength());
    FDragOffset = offset;
    update();
    SetValue(SliderValueAt(offset, RulerLength(), FMinValue, FMaxValue, FOptions & soSmooth,
                           FIncrement));
}

void TSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || FAction == TAction::None)
        return QWidget::mouseReleaseEvent(event);
    EndAction();
}

void TSlider::EndAction() {
    FAction = TAction::None;
    FTrackTimer.stop();
    FDragOffset.reset();
    update();
    Raise(OnChanged, this);
}

void TSlider::changeEvent(QEvent* event) {
    if (FAction != TAction::None && event->type() == QEvent::EnabledChange && !isEnabled())
        EndAction(); // a disabled slider gets no release
    QWidget::changeEvent(event);
}

// A window that lost the activation to a message box or another program gets no release either:
// the action ends there, or the thumb would follow a released pointer.
bool TSlider::event(QEvent* event) {
    if (FAction != TAction::None && event->type() == QEvent::WindowDeactivate)
        EndAction();
    return QWidget::event(event);
}

// A double click starts no action of its own.
void TSlider::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void TSlider::keyPressEvent(QKeyEvent* event) {
    const bool horizontal = FOrientation == Qt::Horizontal;
    switch (event->key()) {
    case Qt::Key_Home:
        SetValue(FMinValue);
        break;
    case Qt::Key_End:
        SetValue(FMaxValue);
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (!horizontal)
            return QWidget::keyPressEvent(event);
        StepTowards(event->key() == Qt::Key_Right ? +1 : -1);
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (horizontal)
            return QWidget::keyPressEvent(event);
        StepTowards(event->key() == Qt::Key_Up ? +1 : -1);
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    event->accept();
    Raise(OnChanged, this);
}

void TSlider::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TSlider::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void TSlider::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (FOptions & soRulerOpaque)
        painter.fillRect(rect(), palette().window());

    const QRect ruler = RulerRect();
    painter.setPen(palette().color(QPalette::Dark));
    painter.setBrush(palette().base());
    painter.drawRect(ruler.adjusted(0, 0, -1, -1));

    if (FOptions & soShowPoints)
        DrawPoints(painter);

    const QRect thumb = ThumbRect(FDragOffset.value_or(OffsetOf(FValue)));
    if (FOptions & soThumbOpaque) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = thumb;
        option.state |= QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
    } else {
        painter.setPen(palette().color(QPalette::Shadow));
        painter.setBrush(palette().button());
        painter.drawRect(thumb.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        if (FOrientation == Qt::Horizontal)
            painter.drawLine(thumb.center().x(), thumb.top() + 3, thumb.center().x(),
                             thumb.bottom() - 3);
        else
            painter.drawLine(thumb.left() + 3, thumb.center().y(), thumb.right() - 3,
                             thumb.center().y());
    }

    if ((FOptions & soShowFocus) && hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

// Points at the multiples of the increment, thinned to a multiple of it where they would crowd.
void TSlider::DrawPoints(QPainter& painter) const {
    if (FMaxValue <= FMinValue || RulerLength() <= 0)
        return;
    const long long range = static_cast<long long>(FMaxValue) - FMinValue;
    long long step = std::max(FIncrement, 1);
    for (int factor = 2; step * RulerLength() < MinPointSpacing * range; factor = 7 - factor)
        step *= factor; // 1, 2, 10, 20, 100 ... times the increment
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect ruler = RulerRect();
    const long long below = ((FMinValue % step) + step) % step; // FMinValue above a multiple
    const long long first = below == 0 ? FMinValue : FMinValue - below + step;
    for (long long value = first; value <= FMaxValue; value += step) {
        const int along = OffsetOf(static_cast<int>(value));
        if (FOrientation == Qt::Horizontal)
            painter.drawPoint(ruler.left() + along, ruler.bottom() + ThumbBreadth / 2 - 1);
        else
            painter.drawPoint(ruler.right() + ThumbBreadth / 2 - 1, ruler.bottom() - along);
    }
}

} // namespace controls
