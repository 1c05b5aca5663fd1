#include "trace/data_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace trace {

namespace {

// "%.15g" from its 15 digits, trailing zeros dropped: `digits` without a point, `exponent` the
// power of ten of the first.
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

// The 15 significant digits of a value in 1e-4 .. 1e15 that "%.15g" prints, found in extended
// precision: scaled to 15 whole digits, the value is off by far less than 1e-4 of the last digit,
// so it rounds as the exact value does unless it lies that close to a half. None then, and for
// values outside the range, where "%.15g" writes an exponent.
std::optional<std::uint64_t> FifteenDigits(double magnitude, int& exponent) {
    if (!(magnitude >= 9e-5 && magnitude < 1e15))
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
        if (exponent < -4 || exponent >= 15)
            return std::nullopt;
        return digits;
    }
    return std::nullopt;
}

// The C library's "%.15g" with the given decimal separator, written without its slow path for the
// numbers a trace holds: whole levels, and times between 1e-4 and 1e15.
void AppendNumber(std::string& out, double value, char decimalPoint) {
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
        // As to_chars with a precision is specified to write it: the C library's way.
        end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15).ptr;
        if (decimalPoint != '.')
            std::replace(text, end, '.', decimalPoint);
    }
    out.append(text, end);
}

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Exact powers of ten: up to 1e22 every one is a double.
constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The number token at `p`: [+-] digits [(.|,) digits] [(e|E) [+-] digits], with a digit in the
// mantissa, ended by a blank or the end of the text. None when the token is something else or
// beyond the range of a double. One pass over the token, which leaves `p` behind it when it is a
// number; a mantissa of at most 2^53 scaled by at most 10^22 is one correctly rounded operation
// on exact numbers, anything longer goes to the library's conversion.
std::optional<double> ReadNumber(const char*& p, const char* const end) {
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '+' || *p == '-'))
        ++p;
    const char* const mantissaStart = p;
    // Wraps around past 19 digits, which then go to the library instead.
    std::uint64_t mantissa = 0;
    const auto takeDigits = [&] {
        const char* const from = p;
        for (; p < end && IsDigit(*p); ++p)
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        return static_cast<int>(p - from);
    };
    int digits = takeDigits(), fraction = 0;
    bool comma = false;
    if (p < end && (*p == '.' || *p == ',')) {
        comma = *p == ',';
        ++p;
        fraction = takeDigits();
        digits += fraction;
    }
    if (digits == 0)
        return std::nullopt;
    const char* const mantissaEnd = p;
    int exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negativeExponent = p < end && *p == '-';
        if (p < end && (*p == '+' || *p == '-'))
            ++p;
        const char* const exponentStart = p;
        for (; p < end && IsDigit(*p); ++p)
            exponent = std::min(exponent * 10 + (*p - '0'), 100000);
        if (p == exponentStart)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (p != end && !IsBlank(*p))
        return std::nullopt;
    const int scale = exponent - fraction;
    if (digits <= 19 && mantissa <= (std::uint64_t{1} << 53) && scale >= -22 && scale <= 22) {
        const double m = static_cast<double>(mantissa);
        const double value = scale < 0 ? m / PowersOfTen[-scale] : m * PowersOfTen[scale];
        return negative ? -value : value;
    }
    std::string spelled(negative ? "-" : "");
    spelled.append(mantissaStart, mantissaEnd);
    if (comma)
        std::replace(spelled.begin(), spelled.end(), ',', '.');
    spelled.append(mantissaEnd, p);
    double value = 0;
    const auto [stop, error] =
        std::from_chars(spelled.data(), spelled.data() + spelled.size(), value);
    if (error != std::errc() || stop != spelled.data() + spelled.size())
        return std::nullopt; // beyond the range of a double
    return value;
}

} // namespace

std::string FormatDataFile(std::span<const double> times, std::span<const double> levels,
                           char decimalPoint) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::string out;
    out.reserve(n * 16);
    for (std::size_t i = 0; i < n; ++i) {
        AppendNumber(out, times[i], decimalPoint);
        out += ' ';
        AppendNumber(out, levels[i], decimalPoint);
        out += "\r\n";
    }
    return out;
}

TDataFileContents ParseDataFile(std::string_view text, std::size_t limit) {
    TDataFileContents result;
    // A point takes at least four characters ("0 0" and a line end).
    const std::size_t room = std::min(text.size() / 4 + 1, limit);
    result.Times.reserve(room);
    result.Levels.reserve(room);
    const char* p = text.data();
    const char* const end = p + text.size();
    const auto skipBlanks = [&] {
        while (p != end && IsBlank(*p))
            ++p;
    };
    for (;;) {
        skipBlanks();
        if (p == end)
            break;
        if (result.Times.size() == limit) {
            result.LimitExceeded = true;
            break;
        }
        double point[2] = {0, 0};
        for (double& number : point) {
            skipBlanks();
            if (p == end)
                break; // the end of the text: the number reads as 0
            const char* const start = p;
            const auto value = ReadNumber(p, end);
            if (!value) {
                const char* stop = start;
                while (stop != end && !IsBlank(*stop))
                    ++stop;
                const auto line = 1 + std::count(text.data(), start, '\n');
                result.BadToken =
                    TBadToken{static_cast<std::size_t>(line), std::string(start, stop)};
                return result;
            }
            number = *value;
        }
        // The rest of the line is not read.
        p = std::find(p, end, '\n');
        if (p != end)
            ++p;
        result.Times.push_back(point[0]);
        result.Levels.push_back(point[1]);
    }
    return result;
}

void SortByTime(std::vector<double>& times, std::vector<double>& levels) {
    if (std::is_sorted(times.begin(), times.end()))
        return;
    const std::size_t n = times.size();
    if (std::is_sorted(times.rbegin(), times.rend())) {
        // Written newest first: turned round, with each run of equal times put back in file order.
        std::reverse(times.begin(), times.end());
        std::reverse(levels.begin(), levels.end());
        for (std::size_t first = 0; first < n;) {
            const std::size_t last = static_cast<std::size_t>(
                std::upper_bound(times.begin() + static_cast<std::ptrdiff_t>(first), times.end(),
                                 times[first]) -
                times.begin());
            std::reverse(levels.begin() + static_cast<std::ptrdiff_t>(first),
                         levels.begin() + static_cast<std::ptrdiff_t>(last));
            first = last;
        }
        return;
    }
    // Equal times ordered by their place in the file: the sort is stable by construction.
    std::vector<std::pair<double, std::size_t>> order(n);
    for (std::size_t i = 0; i < n; ++i)
        order[i] = {times[i], i};
    std::sort(order.begin(), order.end());
    std::vector<double> sortedLevels(n);
    for (std::size_t i = 0; i < n; ++i) {
        times[i] = order[i].first;
        sortedLevels[i] = levels[order[i].second];
    }
    levels.swap(sortedLevels);
}

} // namespace trace
