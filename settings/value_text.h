#pragma once
// How stored values read as text in the settings file: integers in decimal; floating-point
// values in general format with the type's significant digits, trailing zeros removed and "."
// as the decimal separator whatever the locale. No widgets, no Qt.

#include <optional>
#include <string>
#include <string_view>

namespace settings {

// Significant digits of the floating-point types' texts.
inline constexpr int SingleDigits = 7;
inline constexpr int DoubleDigits = 15;
inline constexpr int ExtendedDigits = 18;

std::string IntegerText(long long value);
// The decimal integer the text holds (sign allowed, blanks trimmed), if it holds one.
std::optional<int> ParseInteger(std::string_view text);
// The same with 0 for anything else.
int TextToInteger(std::string_view text);

// The general format (numbers::GeneralText) with `digits` significant digits: written out up to
// `digits` integer digits and down to 0.0001, with a short exponent beyond ("1.5E-7", "2E20");
// "NAN", "INF" and "-INF" for the values without digits.
std::string FloatText(long double value, int digits);
// Reads "." as the locale's decimal separator, so that a file written anywhere reads anywhere;
// the locale's own separator is accepted as well. Nothing for text that isn't a number.
std::optional<long double> TextToFloat(std::string_view text, std::string_view decimalSeparator);

} // namespace settings
