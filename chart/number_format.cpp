#include "chart/number_format.h"

#include <charconv>
#include <cmath>
#include <string>

namespace chart {

namespace {

struct Picture {
    bool grouping = false;
    int minIntDigits = 0;
    int minDecimals = 0;
    int maxDecimals = 0;
};

Picture Parse(const QString& picture) {
    Picture p;
    const qsizetype point = picture.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? picture : picture.left(point);
    const QString fracPart = point < 0 ? QString() : picture.mid(point + 1);
    p.grouping = intPart.contains(QLatin1Char(','));
    p.minIntDigits = static_cast<int>(intPart.count(QLatin1Char('0')));
    for (QChar c : fracPart) {
        if (c == QLatin1Char('0')) {
            ++p.maxDecimals;
            p.minDecimals = p.maxDecimals;
        } else if (c == QLatin1Char('#')) {
            ++p.maxDecimals;
        }
    }
    return p;
}

} // namespace

QString FormatFloat(const QString& picture, double value, const QLocale& locale) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    const Picture p = Parse(picture);
    // Digits with a '.' whatever the C library's locale: the separators come from `locale`. Room
    // for the 309 integer digits of the largest double, the point and the decimals.
    std::string digits(311 + static_cast<std::size_t>(p.maxDecimals), '\0');
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(),
                                       std::fabs(value), std::chars_format::fixed, p.maxDecimals);
    digits.resize(static_cast<std::size_t>(written.ptr - digits.data()));
    const size_t dot = digits.find('.');
    std::string intDigits = digits.substr(0, dot);
    std::string frac = dot == std::string::npos ? std::string() : digits.substr(dot + 1);
    while (static_cast<int>(frac.size()) > p.minDecimals && !frac.empty() && frac.back() == '0')
        frac.pop_back();
    // Leading zeros beyond the picture's required digits go ("#,##0" prints 0.5 as "0,5", but
    // "#.##" prints it as ",5").
    size_t firstNonZero = intDigits.find_first_not_of('0');
    if (firstNonZero == std::string::npos)
        firstNonZero = intDigits.size();
    intDigits.erase(0, firstNonZero);
    while (static_cast<int>(intDigits.size()) < p.minIntDigits)
        intDigits.insert(intDigits.begin(), '0');

    QString out;
    const bool isZero = intDigits.find_first_not_of('0') == std::string::npos &&
                        frac.find_first_not_of('0') == std::string::npos;
    // Only the separators follow the locale: the sign stays '-', not the locale's U+2212 or a
    // minus behind a direction mark, so a negative label reads like every other number shown.
    if (value < 0 && !isZero)
        out += QLatin1Char('-');
    const QString group = locale.groupSeparator();
    for (size_t i = 0; i < intDigits.size(); ++i) {
        if (p.grouping && i > 0 && (intDigits.size() - i) % 3 == 0)
            out += group;
        out += QLatin1Char(intDigits[i]);
    }
    if (!frac.empty()) {
        out += locale.decimalPoint();
        out += QString::fromLatin1(frac.data(), static_cast<qsizetype>(frac.size()));
    }
    return out;
}

} // namespace chart
