#include "settings/value_text.h"

#include <charconv>
#include <cmath>

namespace settings {

namespace {

std::string_view Trim(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

std::string IntegerText(long long value) {
    return std::to_string(value);
}

std::optional<int> ParseInteger(std::string_view text) {
    text = Trim(text);
    if (text.size() > 1 && text.front() == '+' && text[1] != '-')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int TextToInteger(std::string_view text) {
    return ParseInteger(text).value_or(0);
}

std::string FloatText(long double value, int digits) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    if (value == 0)
        return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, digits - 1);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = scientific.find('e');
    std::string mantissa;
    for (char c : scientific.substr(0, e))
        if (c >= '0' && c <= '9')
            mantissa += c;
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();
    int exponent = 0;
    std::string_view power = scientific.substr(e + 1);
    if (power.front() == '+')
        power.remove_prefix(1);
    std::from_chars(power.data(), power.data() + power.size(), exponent);

    std::string text = value < 0 ? "-" : "";
    const auto size = static_cast<int>(mantissa.size());
    if (exponent < -4 || exponent >= digits) {
        text += mantissa.substr(0, 1);
        if (size > 1)
            text += '.' + mantissa.substr(1);
        text += 'E' + std::to_string(exponent);
    } else if (exponent < 0) {
        text += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
    } else if (size <= exponent + 1) {
        text += mantissa + std::string(static_cast<std::size_t>(exponent + 1 - size), '0');
    } else {
        const auto point = static_cast<std::size_t>(exponent + 1);
        text += mantissa.substr(0, point) + '.' + mantissa.substr(point);
    }
    return text;
}

std::optional<long double> TextToFloat(std::string_view text, std::string_view decimalSeparator) {
    std::string number = ReplaceAll(std::string(Trim(text)), ".", decimalSeparator);
    if (decimalSeparator != ".")
        number = ReplaceAll(number, decimalSeparator, ".");
    if (number.find_first_not_of("0123456789.eE+-") != std::string::npos)
        return std::nullopt;
    std::string_view digits = number;
    const bool negative = !digits.empty() && digits.front() == '-';
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+'))
        digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '-' || digits.front() == '+')
        return std::nullopt;
    long double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace settings
