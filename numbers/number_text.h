#pragma once
// The general number format as plain characters, independent of the C library's locale.

#include <charconv>
#include <string>

namespace numbers {

// The general number format of the recorder's texts, with '.' as the decimal point whatever the
// C library's locale: `precision` significant digits, trailing zeros and a bare point dropped;
// written out from 0.00001 up to `precision` integer digits ("0.00005", "120.556332"), with an
// exponent beyond ("9e-06", "1.5e+16"). Unlike C's "%g", which takes an exponent below 0.0001.
std::to_chars_result GeneralChars(char* first, char* last, double value, int precision);

// Appends the value as the general format writes it with 15 digits, with the given decimal
// separator.
void AppendGeneral(std::string& out, double value, char decimalPoint);

} // namespace numbers
