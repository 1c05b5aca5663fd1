#include "numbers/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

namespace numbers {

namespace {

// The general format from its 15 digits, trailing zeros dropped: `digits` without a point,
// `exponent` the power of ten of the first.
char* WriteGeneral(char* out, std::string_view digits, int exponent, char decimalPoint) {
    const auto put = [&](std::string_view text) { out = std::copy(text.begin(), text.end(), out); };
    const int count = static_cast<int>(digits.size());
    if (exponent < 0) {
        *out++ = '0';
        *out++ = decimalPoint;
        out = std::fill_n(out, -exponent - 1, '0');
        put(digits);
        return out;
    }
    const int whole = exponent + 1;
    if (count <= whole) {
        put(digits);
        return std::fill_n(out, whole - count, '0');
    }
    put(digits.substr(0, static_cast<std::size_t>(whole)));
    *out++ = decimalPoint;
    put(digits.substr(static_cast<std::size_t>(whole)));
    return out;
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

std::to_chars_result GeneralChars(char* first, char* last, double value, int precision) {
    const std::to_chars_result general =
        std::to_chars(first, last, value, std::chars_format::general, precision);
    if (general.ec != std::errc() || !std::string_view(first, general.ptr).ends_with("e-05"))
        return general;
    // From 0.00001 on the number is written out: the same digits, rounded at the same place.
    std::to_chars_result fixed =
        std::to_chars(first, last, value, std::chars_format::fixed, precision + 4);
    if (fixed.ec != std::errc())
        return fixed;
    while (fixed.ptr[-1] == '0')
        --fixed.ptr;
    if (fixed.ptr[-1] == '.')
        --fixed.ptr;
    return fixed;
}

// Written without the general slow path for the numbers a trace holds: whole levels, and times
// between 1e-5 and 1e15.
void AppendGeneral(std::string& out, double value, char decimalPoint) {
    char text[40];
    char* end = nullptr;
    int exponent = 0;
    if (value == std::trunc(value) && std::fabs(value) < 1e15 &&
        !(value == 0 && std::signbit(value))) {
        end = std::to_chars(text, text + sizeof text, static_cast<long long>(value)).ptr;
    } else if (const auto digits = FifteenDigits(std::fabs(value), exponent)) {
        char spelled[16];
        std::to_chars(spelled, spelled + sizeof spelled, *digits);
        std::string_view significant(spelled, 15);
        significant = significant.substr(0, significant.find_last_not_of('0') + 1);
        char* p = text;
        if (value < 0)
            *p++ = '-';
        end = WriteGeneral(p, significant, exponent, decimalPoint);
    } else {
        end = GeneralChars(text, text + sizeof text, value, 15).ptr;
        if (decimalPoint != '.')
            std::replace(text, end, '.', decimalPoint);
    }
    out.append(text, end);
}

} // namespace numbers
