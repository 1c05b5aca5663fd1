#include "controls/switch.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>

namespace controls {

namespace {

constexpr QSize PictureSize(23, 33);
constexpr int CaptionGap = 4;

// A toggle switch seen from the front: a plate with a slot, the lever up and lit when on.
QPixmap DrawPicture(bool on) {
    QPixmap pixmap(PictureSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF plate(0.5, 0.5, PictureSize.width() - 1, PictureSize.height() - 1);
    QLinearGradient shade(plate.topLeft(), plate.bottomRight());
    shade.setColorAt(0, QColor(0xf4, 0xf4, 0xf4));
    shade.setColorAt(1, QColor(0xa8, 0xa8, 0xa8));
    painter.setPen(QColor(0x50, 0x50, 0x50));
    painter.setBrush(shade);
    painter.drawRoundedRect(plate, 4, 4);

    const QRectF slot(plate.center().x() - 4, plate.top() + 4, 8, plate.height() - 8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x30, 0x30));
    painter.drawRoundedRect(slot, 3, 3);

    const qreal leverHeight = slot.height() / 2 - 1;
    const QRectF lever(plate.center().x() - 7,
                       on ? slot.top() - 1 : slot.bottom() - leverHeight + 1, 14, leverHeight);
    QLinearGradient leverShade(lever.topLeft(), lever.bottomLeft());
    const QColor face = on ? QColor(0x3c, 0xb0, 0x44) : QColor(0xd8, 0xd8, 0xd8);
    leverShade.setColorAt(0, face.lighter(130));
    leverShade.setColorAt(1, face.darker(120));
    painter.setPen(QColor(0x40, 0x40, 0x40));
    painter.setBrush(leverShade);
    painter.drawRoundedRect(lever, 3, 3);
    painter.setPen(face.darker(160));
    for (int i = 1; i <= 3; ++i) {
        const qreal y = lever.top() + i * lever.height() / 4;
        painter.drawLine(QPointF(lever.left() + 3, y), QPointF(lever.right() - 3, y));
    }
    return pixmap;
}

} // namespace

TSwitch::TSwitch(QWidget* parent)
    : QWidget(parent), FPictureOff(DrawPicture(false)), FPictureOn(DrawPicture(true)) {
    setFocusPolicy(Qt::StrongFocus);
}

void TSwitch::SetStateOn(bool value) {
    if (FStateOn != value)
        Toggle();
}

void TSwitch::Toggle() {
    FStateOn = !FStateOn;
    update();
    Raise(FStateOn ? OnOn : OnOff, this);
}

void TSwitch::SetTextPosition(TTextPosition value) {
    FTextPosition = value;
    update();
}

void TSwitch::SetCaption(const QString& value) {
    FCaption = value;
    update();
}

void TSwitch::SetShowFocus(bool value) {
    FShowFocus = value;
    update();
}

QSize TSwitch::sizeHint() const {
    return {33, 39};
}

QRect TSwitch::CaptionRect() const {
    if (FTextPosition == tpNone || FCaption.isEmpty())
        return {};
    return QRect(QPoint(), fontMetrics().size(Qt::TextSingleLine, FCaption));
}

// The picture and the caption form one group centred in the control.
QRect TSwitch::PictureRect() const {
    const QSize text = CaptionRect().size();
    QSize group = PictureSize;
    QPoint picture;
    switch (text.isEmpty() ? tpNone : FTextPosition) {
    case tpNone:
        break;
    case tpLeft:
        group = QSize(text.width() + CaptionGap + group.width(),
                      std::max(text.height(), group.height()));
        picture = QPoint(text.width() + CaptionGap, (group.height() - PictureSize.height()) / 2);
        break;
    case tpRight:
        group = QSize(text.width() + CaptionGap + group.width(),
                      std::max(text.height(), group.height()));
        picture = QPoint(0, (group.height() - PictureSize.height()) / 2);
        break;
    case tpAbove:
        group = QSize(std::max(text.width(), group.width()),
                      text.height() + CaptionGap + group.height());
        picture = QPoint((group.width() - PictureSize.width()) / 2, text.height() + CaptionGap);
        break;
    case tpBelow:
        group = QSize(std::max(text.width(), group.width()),
                      text.height() + CaptionGap + group.height());
        picture = QPoint((group.width() - PictureSize.width()) / 2, 0);
        break;
    }
    const QPoint origin((width() - group.width()) / 2, (height() - group.height()) / 2);
    return QRect(origin + picture, PictureSize);
}

void TSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect picture = PictureRect();
    QPixmap pixmap = FStateOn ? FPictureOn : FPictureOff;
    if (!isEnabled()) {
        QStyleOption option;
        option.initFrom(this);
        pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
    }
    painter.drawPixmap(picture, pixmap);

    QRect caption = CaptionRect();
    if (!caption.isEmpty()) {
        switch (FTextPosition) {
        case tpLeft:
            caption.moveTopRight(QPoint(picture.left() - CaptionGap - 1,
                                        picture.center().y() - caption.height() / 2));
            break;
        case tpRight:
            caption.moveTopLeft(QPoint(picture.right() + CaptionGap + 1,
                                       picture.center().y() - caption.height() / 2));
            break;
        case tpAbove:
            caption.moveBottomLeft(
                QPoint(picture.center().x() - caption.width() / 2, picture.top() - CaptionGap - 1));
            break;
        case tpBelow:
            caption.moveTopLeft(QPoint(picture.center().x() - caption.width() / 2,
                                       picture.bottom() + CaptionGap + 1));
            break;
        case tpNone:
            break;
        }
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, FCaption);
    }

    if (FShowFocus && hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = picture.adjusted(-2, -2, 2, 2) & rect();
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void TSwitch::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    QPointer<TSwitch> self = this;
    if (!hasFocus() && (focusPolicy() & Qt::ClickFocus))
        setFocus(Qt::MouseFocusReason);
    if (!self || !isEnabled())
        return;
    FClicked = true;
    if (FAutoToggle)
        Toggle();
}

void TSwitch::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !FClicked)
        return QWidget::mouseReleaseEvent(event);
    FClicked = false;
    if (rect().contains(event->position().toPoint()))
        Raise(OnClick, this);
}

// The second press of a double click flips the state but makes no click.
void TSwitch::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    FClicked = false;
    if (FAutoToggle)
        Toggle();
}

void TSwitch::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (QKeyCombination(modifiers, Qt::Key(event->key())) != FToggleKey)
        return QWidget::keyPressEvent(event);
    event->accept();
    if (FAutoToggle)
        Toggle();
}

void TSwitch::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void TSwitch::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

} // namespace controls
