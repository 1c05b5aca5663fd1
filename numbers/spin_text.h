#pragma once

// Conversions between a spin edit's text and its value, kept apart from the widget so they can be
// checked without a window.

#include <QChar>
#include <QString>

namespace numbers {

enum TValueType { vtInteger, vtFloat, vtHex };

struct TSpinFormat {
    TValueType Type = vtInteger;
    int Decimal = 2;
    QString DecimalSeparator = QStringLiteral(".");
};

// Limits apply only when they differ; equal limits mean "no limits".
long double ClampSpinValue(long double value, long double minValue, long double maxValue);

// The text converted; on failure (empty text, a lone sign, a misplaced character) minValue,
// truncated to an integer for the integer types.
long double ParseSpinText(const QString& text, const TSpinFormat& format, long double minValue);

// The value as the edit shows it: fixed-point with Decimal places, hexadecimal or decimal of the
// value rounded to the nearest integer (ties to even).
QString FormatSpinValue(long double value, const TSpinFormat& format);

// Whether a typed character may enter the text; control characters (code below 32) always may,
// unless the editor is disabled, where Backspace and "." are refused along with printable ones.
bool AcceptsSpinChar(QChar key, const QString& text, const TSpinFormat& format, bool editorEnabled);

} // namespace numbers
