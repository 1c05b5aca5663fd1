#pragma once
// TSwitch: a two-state switch drawn as a picture, with an optional caption beside it.

#include "controls/events.h"

#include <QKeyCombination>
#include <QPixmap>
#include <QWidget>

namespace controls {

// A two-state switch drawn as a picture. A left-button press or the toggle key flips the state;
// OnClick follows the release of a press on the control, so a click handler already reads the
// new state. The toggle key flips without OnClick.
//
// With AutoToggle off the state is its owner's to show: presses, double clicks and the toggle
// key leave it alone, and a click (press and release on the control, the second press of a
// double click not counted) only asks the owner, who writes StateOn.
class TSwitch : public QWidget {
public:
    enum TTextPosition { tpNone, tpLeft, tpRight, tpAbove, tpBelow };

    explicit TSwitch(QWidget* parent = nullptr);

    bool StateOn() const { return FStateOn; }
    // A new state redraws and raises OnOn or OnOff; the current one does nothing.
    void SetStateOn(bool value);

    TTextPosition TextPosition() const { return FTextPosition; }
    void SetTextPosition(TTextPosition value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);

    bool AutoToggle() const { return FAutoToggle; }
    void SetAutoToggle(bool value) { FAutoToggle = value; }

    QKeyCombination ToggleKey() const { return FToggleKey; }
    void SetToggleKey(QKeyCombination value) { FToggleKey = value; }
    bool ShowFocus() const { return FShowFocus; }
    void SetShowFocus(bool value);

    QSize sizeHint() const override;

    TNotifyEvent OnOn, OnOff, OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void Toggle();
    QRect PictureRect() const;
    QRect CaptionRect() const;

    bool FStateOn = false;
    bool FClicked = false; // a press on the control awaits its release
    bool FAutoToggle = true;
    TTextPosition FTextPosition = tpNone;
    QString FCaption;
    QKeyCombination FToggleKey{Qt::Key_Space};
    bool FShowFocus = true;
    QPixmap FPictureOff, FPictureOn;
};

} // namespace controls
