#include "numbers/number_format.h"

#include "numbers/number_text.h"

#include <QLocale>

namespace numbers {

QString FormatGeneral(double value, int precision, const QString& decimalPoint) {
    char text[64];
    const char* end = numbers::GeneralChars(text, text + sizeof text, value, precision).ptr;
    QString result = QString::fromLatin1(text, end - text);
    result.replace(QLatin1Char('.'), decimalPoint);
    return result;
}

QString FormatGeneral(double value, int precision) {
    return FormatGeneral(value, precision, QLocale().decimalPoint());
}

char DataFileDecimalPoint() {
    const QString separator = QLocale().decimalPoint();
    return separator == QLatin1String(",") ? ',' : '.';
}

} // namespace numbers
