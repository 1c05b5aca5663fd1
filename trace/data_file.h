#pragma once
// The data file: one line per point, "time level" as "%g" writes them with 15 significant digits
// and the decimal separator of the user's locale, CR LF. Reading takes "." or "," as the decimal
// separator, whatever the locale.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

// The most points a data file gives.
inline constexpr std::size_t DataFilePointLimit = 500000;

// The lines of the points, times[i] with levels[i].
std::string FormatDataFile(std::span<const double> times, std::span<const double> levels,
                           char decimalPoint);

// A token that is no number: the 1-based line it starts on and the token itself.
struct TBadToken {
    std::size_t Line = 0;
    std::string Token;
};

// What a data file held, in file order: the points up to the limit, or up to a token that is no
// number (that point not included).
struct TDataFileContents {
    std::vector<double> Times, Levels;
    // More points followed the limit's last one; they were not read.
    bool LimitExceeded = false;
    std::optional<TBadToken> BadToken;
};

// Reads points from the text. Each number is a token between characters of codes up to 32: an
// optional sign, digits with an optional decimal separator, an optional exponent. A line gives its
// first two numbers, the time and the level (a level missing at the very end reads as 0); the rest
// of the line is skipped. Blank lines, also at the end, give no point.
TDataFileContents ParseDataFile(std::string_view text, std::size_t limit = DataFilePointLimit);

// Orders the points by time, equal times in the order they came: the same as inserting each point
// after the points of equal or lower time. Costs n log n, and n when the times are in order.
void SortByTime(std::vector<double>& times, std::vector<double>& levels);

} // namespace trace
