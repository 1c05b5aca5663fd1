#pragma once
// TSlider: a ruler with a thumb over an integer range, moved by mouse and keys.

#include "controls/events.h"

#include <QFlags>
#include <QTimer>
#include <QWidget>

#include <optional>

namespace controls {

enum TSliderOption {
    soShowFocus = 0x01,
    soShowPoints = 0x02,
    soSmooth = 0x04,
    soRulerOpaque = 0x08,
    soThumbOpaque = 0x10,
};
Q_DECLARE_FLAGS(TSliderOptions, TSliderOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSliderOptions)

// A ruler with a thumb over an integer range. Horizontal sliders grow to the right, vertical ones
// upwards. OnChange follows every change of Value; OnChanged ends each user action (release after a
// drag or a track press, and every key, whether the value changed or not).
class TSlider : public QWidget {
public:
    static constexpr int TrackRepeatPause = 400; // ms

    explicit TSlider(QWidget* parent = nullptr);

    int Value() const { return FValue; }
    void SetValue(int value);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int value);
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int value);

    // Must lie in 1 .. MaxValue - MinValue, else EInvalidValue; not checked while Loading.
    int Increment() const { return FIncrement; }
    void SetIncrement(int value);

    // True while the owner restores the control's stored properties.
    bool Loading() const { return FLoading; }
    void SetLoading(bool value) { FLoading = value; }

    Qt::Orientation Orientation() const { return FOrientation; }
    void SetOrientation(Qt::Orientation value);
    TSliderOptions Options() const { return FOptions; }
    void SetOptions(TSliderOptions value);

    QSize sizeHint() const override;

    TNotifyEvent OnChange, OnChanged;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    enum class TAction { None, Drag, Track };

    int RulerLength() const;
    int OffsetOf(int value) const;
    int PointerOffset(QPoint point) const;
    QRect ThumbRect(int offset) const;
    QRect RulerRect() const;
    int SideOfThumb(QPoint point) const;
    void StepTowards(int side);
    void TrackRepeat();
    void EndAction();
    void Limit();
    void DrawPoints(QPainter& painter) const;

    int FValue = 0;
    int FMinValue = 0;
    int FMaxValue = 100;
    int FIncrement = 10;
    bool FLoading = false;
    Qt::Orientation FOrientation = Qt::Horizontal;
    TSliderOptions FOptions = TSliderOptions(soShowFocus) | soShowPoints | soSmooth;

    TAction FAction = TAction::None;
    int FDragGrip = 0;              // pointer offset from the thumb's centre when the drag began
    std::optional<int> FDragOffset; // where the dragged thumb is drawn
    int FTrackSide = 0;             // -1 towards MinValue, +1 towards MaxValue
    QPoint FLastPointer;
    QTimer FTrackTimer;
};

} // namespace controls
