#pragma once
// TSpinEdit: a numeric edit box with a spin button, for integers or decimals within limits.

#include "controls/events.h"
#include "controls/spin_button.h"
#include "numbers/spin_text.h"

#include <QLineEdit>
#include <QWidget>

namespace controls {

class TSpinEditor;

// A numeric edit box with a spin button at its right end. The value lives in the text: reading
// Value converts the text, writing it limits the value and formats it into the text.
//
// Events: OnChange whenever the text changes (typing, stepping, writing Value or Text);
// OnKeyPress for every accepted typed character (Enter as u'\r', Escape as u'\x1b', both then
// offered to the window's default and cancel buttons); OnExit when the focus leaves the edit,
// before an out-of-range value is limited; OnTopClick / OnBottomClick after each step up / down.
// Like every widget, it is used on the window thread only.
class TSpinEdit : public QWidget {
public:
    using TValueType = numbers::TValueType;
    using enum numbers::TValueType;
    using TSpinButtonKind = controls::TSpinButtonKind;
    using enum controls::TSpinButtonKind;

    explicit TSpinEdit(QWidget* parent = nullptr);
    ~TSpinEdit() override;

    long double Value() const;
    void SetValue(long double value);

    // Setting the limits leaves the text as it is.
    long double MinValue() const { return FMinValue; }
    void SetMinValue(long double value) { FMinValue = value; }
    long double MaxValue() const { return FMaxValue; }
    void SetMaxValue(long double value) { FMaxValue = value; }

    long double Increment() const { return FIncrement; }
    void SetIncrement(long double value) { FIncrement = value; }

    // Changing the number of places or the type reformats the value shown.
    int Decimal() const { return FDecimal; }
    void SetDecimal(int value);
    numbers::TValueType ValueType() const { return FValueType; }
    void SetValueType(numbers::TValueType value);

    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool value);
    bool ArrowKeys() const { return FArrowKeys; }
    void SetArrowKeys(bool value) { FArrowKeys = value; }
    TSpinButtonKind ButtonKind() const;
    void SetButtonKind(TSpinButtonKind value);

    // A read-only edit refuses every change, stepping included (with a beep).
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);

    QString Text() const;
    void SetText(const QString& text);
    bool Modified() const;

    QLineEdit* Editor() const;

    QSize sizeHint() const override;

    TNotifyEvent OnChange, OnExit, OnTopClick, OnBottomClick;
    TKeyPressEvent OnKeyPress;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TSpinEditor;

    numbers::TSpinFormat Format() const;
    void Step(int direction);
    void Reformat(const std::function<void()>& change);
    void UpdateEditorReadOnly();
    void LayoutChildren();
    void EditorLeft();
    void OfferDialogKey(QChar key);

    TSpinEditor* FEditor;
    TSpinButton* FButton;
    long double FMinValue = 0;
    long double FMaxValue = 0;
    long double FIncrement = 1.0L;
    int FDecimal = 2;
    numbers::TValueType FValueType = numbers::vtInteger;
    bool FEditorEnabled = true;
    bool FArrowKeys = true;
    bool FReadOnly = false;
};

} // namespace controls
