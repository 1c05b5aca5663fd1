#pragma once
// The spin button of a spin edit: two halves that step up and down, repeating while pressed.

#include "controls/events.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace controls {

enum TSpinButtonKind { bkStandard, bkDiagonal };

enum class TSpinPart { None, Top, Bottom };

// Which half of the button a point lies in. Standard: upper and lower half. Diagonal: the
// upper-left triangle above the line from the lower-left to the upper-right corner steps up.
TSpinPart SpinPartAt(TSpinButtonKind kind, QSize size, QPoint point);

// The spin button at the right end of a spin edit. A press on a part clicks at once, again after
// 400 ms and then every 100 ms while the button stays pressed over the same part.
class TSpinButton : public QWidget {
public:
    static constexpr int InitialRepeatPause = 400; // ms
    static constexpr int RepeatPause = 100;        // ms

    explicit TSpinButton(QWidget* parent = nullptr);

    TSpinButtonKind Kind() const { return FKind; }
    void SetKind(TSpinButtonKind kind);

    // The control that takes the focus when the button is pressed.
    void SetFocusControl(QWidget* control) { FFocusControl = control; }

    QSize sizeHint() const override;

    TNotifyEvent OnTopClick, OnBottomClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Repeat();
    void ClickPart(TSpinPart part);
    void StopRepeat();

    TSpinButtonKind FKind = bkDiagonal;
    TSpinPart FPressedPart = TSpinPart::None; // the part the press started on
    bool FOverPressedPart = false;            // the pointer is still over that part
    QTimer FRepeatTimer;
    QPointer<QWidget> FFocusControl;
};

} // namespace controls
