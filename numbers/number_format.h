#pragma once
// The general number format as Qt text, with the decimal separator of the user's locale or a
// given one, and the decimal separator of the data files.

#include <QString>

namespace numbers {

// A number in the recorder's general format (numbers::GeneralText: at most `precision`
// significant digits, trailing zeros dropped, an exponent only below 0.00001 or beyond
// `precision` integer digits, spelt as "%g" does) with the given decimal separator and no
// thousands separators.
QString FormatGeneral(double value, int precision, const QString& decimalPoint);

// The same with the decimal separator of the user's locale, as numbers are shown to the operator.
QString FormatGeneral(double value, int precision);

// The decimal separator of the data files written here: the user's, when the file reader takes it
// back ("." or ","), and "." for any other, such as the Arabic one U+066B, which no byte holds.
char DataFileDecimalPoint();

} // namespace numbers
