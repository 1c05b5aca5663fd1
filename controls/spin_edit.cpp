#include "controls/spin_edit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QStyle>

#include <optional>

namespace controls {

// The edit box of a spin edit: filters typed characters and reports leaving to its owner.
class TSpinEditor : public QLineEdit {
public:
    explicit TSpinEditor(TSpinEdit* owner) : QLineEdit(owner), FOwner(owner) {}

    // The owner is going: the focus that its destruction takes away is no leaving by the operator.
    void Detach() { FOwner = nullptr; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void DeliverReplacement(QChar key);

    TSpinEdit* FOwner;
};

namespace {

constexpr QChar Enter(u'\r');
constexpr QChar Escape(u'\x1b');
constexpr QChar Backspace(u'\b');

// The character a key press types, or none for keys that only move or delete.
std::optional<QChar> TypedChar(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Backspace:
        return Backspace;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Enter;
    case Qt::Key_Escape:
        return Escape;
    default:
        break;
    }
    const QString text = event->text();
    if (text.size() != 1 || text[0].unicode() == 0x7f)
        return std::nullopt;
    return text[0];
}

} // namespace

void TSpinEditor::keyPressEvent(QKeyEvent* event) {
    if (!FOwner)
        return QLineEdit::keyPressEvent(event);
    const int key = event->key();
    if (FOwner->FArrowKeys && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        FOwner->Step(key == Qt::Key_Up ? +1 : -1);
        event->accept();
        return;
    }
    const std::optional<QChar> typed = TypedChar(event);
    if (!typed)
        return QLineEdit::keyPressEvent(event);
    event->accept();
    if (!numbers::AcceptsSpinChar(*typed, text(), FOwner->Format(), FOwner->FEditorEnabled)) {
        QApplication::beep();
        return;
    }
    QChar accepted = *typed;
    QPointer<TSpinEdit> owner = FOwner;
    if (FOwner->OnKeyPress)
        FOwner->OnKeyPress(FOwner, accepted);
    if (!owner || accepted.isNull())
        return;
    if (accepted == Enter || accepted == Escape) {
        FOwner->OfferDialogKey(accepted);
        return; // a one-line edit has no use for either key itself
    }
    if (accepted == *typed)
        QLineEdit::keyPressEvent(event);
    else
        DeliverReplacement(accepted);
}

// A key press handler replaced the typed character: type the replacement instead.
void TSpinEditor::DeliverReplacement(QChar key) {
    if (isReadOnly())
        return;
    if (key == Backspace)
        backspace();
    else if (key.unicode() >= 32)
        insert(QString(key));
}

void TSpinEditor::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // Switching to another window or opening a menu leaves the focus where it is.
    if (FOwner && event->reason() != Qt::ActiveWindowFocusReason &&
        event->reason() != Qt::PopupFocusReason)
        FOwner->EditorLeft();
}

TSpinEdit::TSpinEdit(QWidget* parent)
    : QWidget(parent), FEditor(new TSpinEditor(this)), FButton(new TSpinButton(this)) {
    FEditor->setText(QStringLiteral("0"));
    setFocusProxy(FEditor);
    setFocusPolicy(FEditor->focusPolicy());
    FButton->SetFocusControl(FEditor);
    FButton->OnTopClick = [this](QObject*) { Step(+1); };
    FButton->OnBottomClick = [this](QObject*) { Step(-1); };
    connect(FEditor, &QLineEdit::textChanged, this, [this] { Raise(OnChange, this); });
    setSizePolicy(FEditor->sizePolicy());
    LayoutChildren();
}

TSpinEdit::~TSpinEdit() {
    FEditor->Detach();
}

numbers::TSpinFormat TSpinEdit::Format() const {
    return {FValueType, FDecimal, locale().decimalPoint()};
}

long double TSpinEdit::Value() const {
    return numbers::ParseSpinText(Text(), Format(), FMinValue);
}

void TSpinEdit::SetValue(long double value) {
    // The same text again would only move the cursor and clear the modified mark.
    const QString text =
        numbers::FormatSpinValue(numbers::ClampSpinValue(value, FMinValue, FMaxValue), Format());
    if (text != FEditor->text())
        SetText(text);
}

void TSpinEdit::SetDecimal(int value) {
    if (FDecimal != value)
        Reformat([&] { FDecimal = value; });
}

void TSpinEdit::SetValueType(numbers::TValueType value) {
    if (FValueType != value)
        Reformat([&] { FValueType = value; });
}

void TSpinEdit::Reformat(const std::function<void()>& change) {
    const long double value = Value();
    change();
    SetValue(value);
}

void TSpinEdit::SetEditorEnabled(bool value) {
    FEditorEnabled = value;
    UpdateEditorReadOnly();
}

void TSpinEdit::SetReadOnly(bool value) {
    FReadOnly = value;
    UpdateEditorReadOnly();
}

// Without the editor enabled the text still changes by stepping, but no key, paste or cut does.
void TSpinEdit::UpdateEditorReadOnly() {
    FEditor->setReadOnly(FReadOnly || !FEditorEnabled);
}

TSpinButtonKind TSpinEdit::ButtonKind() const {
    return FButton->Kind();
}

void TSpinEdit::SetButtonKind(TSpinButtonKind value) {
    FButton->SetKind(value);
}

QString TSpinEdit::Text() const {
    return FEditor->text();
}

void TSpinEdit::SetText(const QString& text) {
    FEditor->setText(text);
    // Show the number from its first digit, as a narrow field would otherwise hide it.
    FEditor->setCursorPosition(0);
}

bool TSpinEdit::Modified() const {
    return FEditor->isModified();
}

QLineEdit* TSpinEdit::Editor() const {
    return FEditor;
}

void TSpinEdit::Step(int direction) {
    if (FReadOnly) {
        QApplication::beep();
        return;
    }
    QPointer<TSpinEdit> self = this;
    const QString before = Text();
    SetValue(Value() + direction * FIncrement);
    if (!self)
        return;
    if (Text() != before)
        FEditor->setModified(true);
    Raise(direction > 0 ? OnTopClick : OnBottomClick, this);
}

void TSpinEdit::EditorLeft() {
    QPointer<TSpinEdit> self = this;
    Raise(OnExit, this);
    if (!self)
        return;
    const long double value = Value();
    if (numbers::ClampSpinValue(value, FMinValue, FMaxValue) != value)
        SetValue(value);
}

// Enter and Escape go on to the window, where a dialog presses its default or cancel button.
void TSpinEdit::OfferDialogKey(QChar key) {
    QKeyEvent event(QEvent::KeyPress, key == Enter ? Qt::Key_Return : Qt::Key_Escape,
                    Qt::NoModifier, QString(key));
    event.ignore();
    QCoreApplication::sendEvent(this, &event);
}

QSize TSpinEdit::sizeHint() const {
    return {121, FEditor->sizeHint().height()};
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayoutChildren();
}

// The button sits inside the edit's frame at its right end; the text stops short of it.
void TSpinEdit::LayoutChildren() {
    FEditor->setGeometry(rect());
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, FEditor);
    const int height = std::max(0, this->height() - 2 * frame);
    const int width = std::min(FButton->sizeHint().width(), this->width() / 2);
    FButton->setGeometry(this->width() - frame - width, frame, width, height);
    FEditor->setTextMargins(0, 0, width, 0);
    FButton->raise();
}

} // namespace controls
