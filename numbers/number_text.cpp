#include "numbers/number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace numbers {

namespace {

// The general format written out: `digits` the significant digits without a point and without
// trailing zeros, `exponent` the power of ten of the first.
void AppendPlain(std::string& out, std::string_view digits, int exponent,
                 std::string_view decimalPoint) {
    if (exponent < 0) {
        out += '0';
        out += decimalPoint;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const auto whole = static_cast<std::size_t>(exponent + 1);
    if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
        return;
    }
    out += digits.substr(0, whole);
    out += decimalPoint;
    out += digits.substr(whole);
}

// The exponent as its spelling has it: "e+06", "e-300"; "E6", "E-300".
void AppendExponent(std::string& out, int exponent, TExponentSpelling spelling) {
    if (spelling == TExponentSpelling::Short) {
        out += 'E';
        out += std::to_string(exponent);
        return;
    }
    out += 'e';
    out += exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(exponent);
    if (magnitude < 10)
        out += '0';
    out += std::to_string(magnitude);
}

// Powers of ten up to 10^27, all exact in extended precision.
constexpr auto ExtendedPowersOfTen = [] {
    std::array<long double, 28> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < powers.size(); ++i)
        powers[i] = powers[i - 1] * 10;
    return powers;
}();

// The 15 significant digits of a value in 1e-5 .. 1e15, found in extended precision: scaled to
// 15 whole digits, the value is off by far less than 1e-4 of the last digit, so it rounds as the
// exact value does unless it lies that close to a half. None then, and for values outside the
// range, which the general format writes with an exponent.
std::optional<std::uint64_t> FifteenDigits(double magnitude, int& exponent) {
    if (!(magnitude >= 9e-6 && magnitude < 1e15))
        return std::nullopt;
    // The power of ten from the power of two, off by at most one either way.
    int binary = 0;
    std::frexp(magnitude, &binary);
    exponent = (binary - 1) * 30103 / 100000 - (binary < 1 ? 1 : 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int shift = 14 - exponent;
        if (shift < -27 || shift > 27)
            return std::nullopt;
        const long double scaled = shift >= 0 ? magnitude * ExtendedPowersOfTen[shift]
                                              : magnitude / ExtendedPowersOfTen[-shift];
        if (scaled < 1e14L) {
            --exponent;
            continue;
        }
        if (scaled >= 1e15L) {
            ++exponent;
            continue;
        }
        const auto whole = static_cast<std::uint64_t>(scaled);
        const long double fraction = scaled - static_cast<long double>(whole);
        if (fraction > 0.4999L && fraction < 0.5001L)
            return std::nullopt;
        std::uint64_t digits = whole + (fraction > 0.5L ? 1 : 0);
        if (digits == 1000000000000000) // rounded up to the next power of ten
            digits /= 10, ++exponent;
        if (exponent < -5 || exponent >= 15)
            return std::nullopt;
        return digits;
    }
    return std::nullopt;
}

} // namespace

std::string GeneralText(long double value, const TGeneralFormat& format) {
    const bool printf = format.Spelling == TExponentSpelling::Printf;
    std::string text = (printf ? std::signbit(value) : value < 0) ? "-" : "";
    if (std::isnan(value))
        return text + (printf ? "nan" : "NAN");
    if (std::isinf(value))
        return text + (printf ? "inf" : "INF");
    if (value == 0)
        return text + '0';
    // The digits rounded once, to the precision; where they stand decides the layout.
    char buffer[64];
    const char* end = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                    std::chars_format::scientific, format.Precision - 1)
                          .ptr;
    const std::string_view scientific(buffer, static_cast<std::size_t>(end - buffer));
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e))
        if (c != '.')
            digits += c;
    digits.erase(digits.find_last_not_of('0') + 1);
    std::string_view power = scientific.substr(e + 1);
    if (power.front() == '+')
        power.remove_prefix(1);
    int exponent = 0;
    std::from_chars(power.data(), power.data() + power.size(), exponent);
    if (exponent >= format.LowestPlain && exponent < format.Precision) {
        AppendPlain(text, digits, exponent, format.DecimalPoint);
        return text;
    }
    text += digits.front();
    if (digits.size() > 1) {
        text += format.DecimalPoint;
        text.append(digits, 1);
    }
    AppendExponent(text, exponent, format.Spelling);
    return text;
}

// Written without the general slow path for the numbers a trace holds: whole levels, and times
// between 1e-5 and 1e15.
void AppendGeneral(std::string& out, double value, char decimalPoint) {
    const std::string_view point(&decimalPoint, 1);
    int exponent = 0;
    if (value == std::trunc(value) && std::fabs(value) < 1e15 &&
        !(value == 0 && std::signbit(value))) {
        char text[24];
        out.append(text,
                   std::to_chars(text, text + sizeof text, static_cast<long long>(value)).ptr);
    } else if (const auto digits = FifteenDigits(std::fabs(value), exponent)) {
        char spelled[16];
        std::to_chars(spelled, spelled + sizeof spelled, *digits);
        std::string_view significant(spelled, 15);
        significant = significant.substr(0, significant.find_last_not_of('0') + 1);
        if (value < 0)
            out += '-';
        AppendPlain(out, significant, exponent, point);
    } else {
        out += GeneralText(value, {15, point, -5, TExponentSpelling::Printf});
    }
}

} // namespace numbers
