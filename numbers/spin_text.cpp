#include "numbers/spin_text.h"

#include "numbers/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

namespace numbers {

namespace {

constexpr int MaxDecimal = 18;

// Leading and trailing blanks are allowed around a number, as the edit's user may type them.
std::string Trimmed(const QString& text) {
    return text.trimmed().toStdString();
}

std::optional<long double> ParseFloat(const QString& text, const QString& separator) {
    // Only the locale's separator marks the fraction: with "," a "." is a misplaced character.
    if (separator != QLatin1String(".") && text.contains(QLatin1Char('.')))
        return std::nullopt;
    std::string s = Trimmed(QString(text).replace(separator, QStringLiteral(".")));
    bool negative = false;
    std::size_t start = 0;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        start = 1;
    }
    // from_chars takes no sign of its own; a second sign would slip through as "-" after "+".
    if (start < s.size() && (s[start] == '+' || s[start] == '-'))
        return std::nullopt;
    long double value = 0;
    const char* first = s.data() + start;
    const char* last = s.data() + s.size();
    auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
    if (error != std::errc() || end != last || !std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<long double> ParseInteger(const QString& text, int base) {
    std::string s = Trimmed(text);
    bool negative = false;
    std::size_t start = 0;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        start = 1;
    }
    unsigned long long magnitude = 0;
    const char* first = s.data() + start;
    const char* last = s.data() + s.size();
    if (first == last || *first == '+' || *first == '-')
        return std::nullopt;
    auto [end, error] = std::from_chars(first, last, magnitude, base);
    constexpr auto limit = static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    if (error != std::errc() || end != last || magnitude > limit + (negative ? 1 : 0))
        return std::nullopt;
    const auto value = static_cast<long double>(magnitude);
    return negative ? -value : value;
}

// The value rounded to the nearest integer and held within the 64-bit range.
long long RoundedInteger(long double value) {
    const long double rounded = std::nearbyint(value);
    constexpr auto low = static_cast<long double>(std::numeric_limits<long long>::min());
    constexpr auto high = static_cast<long double>(std::numeric_limits<long long>::max());
    if (!(rounded > low))
        return std::numeric_limits<long long>::min();
    if (!(rounded < high))
        return std::numeric_limits<long long>::max();
    return static_cast<long long>(rounded);
}

QString FormatFixed(long double value, int decimal, const QString& separator) {
    char buffer[128];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimal);
    // Beyond the buffer's hundred-odd digits: the general format, which has room for any double.
    if (error != std::errc())
        return QString::fromStdString(
            GeneralText(static_cast<double>(value), {15, ".", -5, TExponentSpelling::Printf}));
    QString text = QString::fromLatin1(buffer, end - buffer);
    // A value that rounds to zero is shown without a sign.
    if (text.startsWith(QLatin1Char('-')) &&
        text.mid(1).remove(QLatin1Char('0')).remove(QLatin1Char('.')).isEmpty())
        text.remove(0, 1);
    return text.replace(QLatin1Char('.'), separator);
}

} // namespace

long double ClampSpinValue(long double value, long double minValue, long double maxValue) {
    if (minValue != maxValue) {
        if (value < minValue)
            return minValue;
        if (value > maxValue)
            return maxValue;
    }
    return value;
}

long double ParseSpinText(const QString& text, const TSpinFormat& format, long double minValue) {
    std::optional<long double> value;
    switch (format.Type) {
    case vtFloat:
        return ParseFloat(text, format.DecimalSeparator).value_or(minValue);
    case vtHex:
        value = ParseInteger(text, 16);
        break;
    case vtInteger:
        value = ParseInteger(text, 10);
        break;
    }
    return value ? *value : std::trunc(minValue);
}

QString FormatSpinValue(long double value, const TSpinFormat& format) {
    switch (format.Type) {
    case vtFloat:
        return FormatFixed(value, std::clamp(format.Decimal, 0, MaxDecimal),
                           format.DecimalSeparator);
    case vtHex: {
        const long long rounded = RoundedInteger(value);
        const auto magnitude = rounded < 0 ? 0ULL - static_cast<unsigned long long>(rounded)
                                           : static_cast<unsigned long long>(rounded);
        return (rounded < 0 ? QStringLiteral("-") : QString()) +
               QString::number(magnitude, 16).toUpper();
    }
    case vtInteger:
        return QString::number(RoundedInteger(value));
    }
    return {};
}

bool AcceptsSpinChar(QChar key, const QString& text, const TSpinFormat& format,
                     bool editorEnabled) {
    const char16_t code = key.unicode();
    // Only ASCII digits: no conversion reads the other scripts' digits.
    bool valid = code < 32 || (code >= '0' && code <= '9') || code == '+' || code == '-';
    if (!valid && format.Type == vtFloat) {
        if (QString(key) == format.DecimalSeparator && !text.contains(format.DecimalSeparator))
            valid = true;
        else if ((key == QLatin1Char('E') || key == QLatin1Char('e')) &&
                 !text.contains(QLatin1Char('E'), Qt::CaseInsensitive))
            valid = true;
    } else if (!valid && format.Type == vtHex) {
        valid = (code >= 'A' && code <= 'F') || (code >= 'a' && code <= 'f');
    }
    if (!editorEnabled && valid && (code >= 32 || code == '\b'))
        valid = false;
    return valid;
}

} // namespace numbers
