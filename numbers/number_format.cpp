#include "numbers/number_format.h"

#include "numbers/number_text.h"

#include <QLocale>

namespace numbers {

QString FormatGeneral(double value, int precision, const QString& decimalPoint) {
    const QByteArray point = decimalPoint.toUtf8();
    return QString::fromStdString(
        GeneralText(value, {precision, std::string_view(point.constData(), point.size()), -5,
                            TExponentSpelling::Printf}));
}

QString FormatGeneral(double value, int precision) {
    return FormatGeneral(value, precision, QLocale().decimalPoint());
}

char DataFileDecimalPoint() {
    const QString separator = QLocale().decimalPoint();
    return separator == QLatin1String(",") ? ',' : '.';
}

} // namespace numbers
