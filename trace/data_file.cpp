#include "trace/data_file.h"

#include "files/file_io.h"
#include "numbers/number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace trace {

namespace {

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

std::optional<std::string> LongDataFileNotice(const std::string& path, std::uint64_t points) {
    if (points <= DataFilePointLimit)
        return std::nullopt;
    return path + " holds " + std::to_string(points) +
           " points, but the window loads only the first " + std::to_string(DataFilePointLimit) +
           " points of a data file: the rest will be missing there; take .tlr, a recording the "
           "window opens whole";
}

void AppendDataFilePoint(std::string& out, double time, double level, char decimalPoint) {
    numbers::AppendGeneral(out, time, decimalPoint);
    out += ' ';
    numbers::AppendGeneral(out, level, decimalPoint);
    out += "\r\n";
}

std::string FormatDataFile(std::span<const double> times, std::span<const double> levels,
                           char decimalPoint) {
    const std::size_t n = std::min(times.size(), levels.size());
    std::string out;
    out.reserve(n * 16);
    for (std::size_t i = 0; i < n; ++i)
        AppendDataFilePoint(out, times[i], levels[i], decimalPoint);
    return out;
}

std::string TokenStart(std::string_view token) {
    constexpr std::size_t Shown = 40;
    if (token.size() <= Shown)
        return std::string(token);
    std::size_t cut = Shown;
    while (cut > 0 && (static_cast<unsigned char>(token[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(token.substr(0, cut)) + "…";
}

std::optional<TDataFileError> ReadingError(const TDataFileContents& contents,
                                           const std::string& path) {
    if (contents.BadToken)
        return TDataFileError{"Invalid numeric input",
                              path + ", line " + std::to_string(contents.BadToken->Line) + ": \"" +
                                  TokenStart(contents.BadToken->Token) + "\""};
    if (contents.LongLine)
        return TDataFileError{"Line too long", path + ", line " +
                                                   std::to_string(*contents.LongLine) + ": over " +
                                                   std::to_string(DataFileLineLimit) + " bytes"};
    return std::nullopt;
}

namespace {

// The points at the start of `text` into `result`, up to the limit or to a token that is no
// number; gives how much of the text they took. With `more`, more text follows: a point whose
// line does not end within `text` is left for the next piece, as are blanks that follow the
// last point. A bad token's line counts from `line`, the line `text` starts on.
std::size_t ParsePoints(std::string_view text, bool more, std::size_t line, std::size_t limit,
                        TDataFileContents& result) {
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
        const char* const pointStart = p;
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
                if (more && stop == end)
                    return static_cast<std::size_t>(pointStart - text.data());
                line += static_cast<std::size_t>(std::count(text.data(), start, '\n'));
                result.BadToken = TBadToken{line, std::string(start, stop)};
                return static_cast<std::size_t>(stop - text.data());
            }
            number = *value;
        }
        // The rest of the line is not read.
        p = std::find(p, end, '\n');
        if (p != end)
            ++p;
        else if (more)
            return static_cast<std::size_t>(pointStart - text.data());
        result.Times.push_back(point[0]);
        result.Levels.push_back(point[1]);
    }
    return static_cast<std::size_t>(p - text.data());
}

} // namespace

TDataFileContents ReadDataFile(const TTextSource& source, std::size_t sizeHint, std::size_t limit,
                               std::size_t lineLimit) {
    TDataFileContents result;
    // A point takes at least four characters ("0 0" and a line end).
    const std::size_t room = std::min(sizeHint / 4 + 1, limit);
    result.Times.reserve(room);
    result.Levels.reserve(room);
    constexpr std::size_t Piece = 65536;
    std::vector<char> buffer(Piece);
    // The text not parsed yet at the buffer's start, the line it starts on, and how much of that
    // line came before it.
    std::size_t kept = 0, line = 1, lineSoFar = 0;
    for (bool more = true; more;) {
        if (buffer.size() < kept + Piece)
            buffer.resize(kept + Piece);
        const std::size_t got = source(buffer.data() + kept, Piece);
        more = got != 0;
        const std::string_view text(buffer.data(), kept + got);
        const std::size_t parsed = ParsePoints(text, more, line, limit, result);
        if (result.BadToken || result.LimitExceeded)
            break;
        const std::string_view done = text.substr(0, parsed);
        const std::size_t lineEnd = done.rfind('\n');
        line += static_cast<std::size_t>(std::count(done.begin(), done.end(), '\n'));
        lineSoFar = lineEnd == std::string_view::npos ? lineSoFar + parsed : parsed - lineEnd - 1;
        kept = text.size() - parsed;
        // A source without line ends would otherwise be read, and held, without end.
        if (more && lineSoFar + kept > lineLimit) {
            result.LongLine = line;
            break;
        }
        std::memmove(buffer.data(), buffer.data() + parsed, kept);
    }
    return result;
}

TDataFileContents ReadDataFile(const std::string& path, std::size_t limit, std::size_t lineLimit) {
    files::TFileReader file(path);
    return ReadDataFile([&file](char* into, std::size_t room) { return file.Read(into, room); },
                        file.Size(), limit, lineLimit);
}

TDataFileContents ParseDataFile(std::string_view text, std::size_t limit, std::size_t lineLimit) {
    return ReadDataFile(
        [&text](char* into, std::size_t room) {
            const std::size_t n = std::min(room, text.size());
            std::memcpy(into, text.data(), n);
            text.remove_prefix(n);
            return n;
        },
        text.size(), limit, lineLimit);
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
