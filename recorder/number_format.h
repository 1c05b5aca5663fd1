#pragma once

#include <QChar>
#include <QString>

namespace recorder {

// A number as C's "%.<precision>g" writes it (at most that many significant digits, trailing zeros
// dropped, an exponent only for very large or small values), with the given decimal separator and
// no thousands separators.
QString FormatGeneral(double value, int precision, QChar decimalPoint);

// The same with the decimal separator of the user's locale, as numbers are shown to the operator.
QString FormatGeneral(double value, int precision);

} // namespace recorder
