#include "recorder/number_format.h"

#include <QLocale>

#include <cstdio>

namespace recorder {

QString FormatGeneral(double value, int precision, QChar decimalPoint) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    QString result = QString::fromLatin1(text);
    result.replace(QLatin1Char('.'), decimalPoint);
    return result;
}

QString FormatGeneral(double value, int precision) {
    return FormatGeneral(value, precision, QLocale().decimalPoint().at(0));
}

} // namespace recorder
