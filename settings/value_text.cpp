#include "settings/value_text.h"

#include "numbers/number_text.h"

#include <charconv>

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
    return numbers::GeneralText(value, {digits, ".", -4, numbers::TExponentSpelling::Short});
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
