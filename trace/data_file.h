#pragma once
// The data file: one line per point, "time level" as "%g" writes them with 15 significant digits
// and the decimal separator of the user's locale, CR LF. Reading takes "." or "," as the decimal
// separator, whatever the locale.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trace {

// The most points a data file gives.
inline constexpr std::size_t DataFilePointLimit = 500000;
// About the most of a data file's text held at once while reading it: a line that has not ended
// by then ends the reading.
inline constexpr std::size_t DataFileLineLimit = 1 << 20;

// A data file of more points than the window loads: how many the file at `path` holds, what the
// window does with them, and the kind to take instead. None for a file the window loads whole.
std::optional<std::string> LongDataFileNotice(const std::string& path, std::uint64_t points);

// The line of one point, appended to `out`.
void AppendDataFilePoint(std::string& out, double time, double level, char decimalPoint);

// The lines of the points, times[i] with levels[i].
std::string FormatDataFile(std::span<const double> times, std::span<const double> levels,
                           char decimalPoint);

// A token that is no number: the 1-based line it starts on and the token itself.
struct TBadToken {
    std::size_t Line = 0;
    std::string Token;
};

// The start of a bad token for an error message: a file of random bytes may hold a token of a
// megabyte. At most 40 bytes, cut before a UTF-8 continuation byte so that the text stays whole
// letters, and "…" where something was cut.
std::string TokenStart(std::string_view token);

// What a data file held, in file order: the points up to the limit, or up to a token that is no
// number (that point not included).
struct TDataFileContents {
    std::vector<double> Times, Levels;
    // More points followed the limit's last one; they were not read.
    bool LimitExceeded = false;
    std::optional<TBadToken> BadToken;
    // The 1-based line that had not ended within the line limit; the reading stopped there.
    std::optional<std::size_t> LongLine;
};

// Why a reading stopped before the end of the text, for the operator: the standard text and where
// in the file at `path`, a bad token shown by its start only. None where the reading went to the
// end or to the point limit.
struct TDataFileError {
    std::string Text;
    std::string Detail;
};
std::optional<TDataFileError> ReadingError(const TDataFileContents& contents,
                                           const std::string& path);

// Where the reading takes its text from: up to `room` more bytes into `into`, giving their count,
// 0 at the end. A pipe or a device may give text without end.
using TTextSource = std::function<std::size_t(char* into, std::size_t room)>;

// Reads points from the text. Each number is a token between characters of codes up to 32: an
// optional sign, digits with an optional decimal separator, an optional exponent. A line gives its
// first two numbers, the time and the level (a level missing at the very end reads as 0); the rest
// of the line is skipped. Blank lines, also at the end, give no point.
//
// The text is read piece by piece, and no further than it is needed: the reading stops at the
// first character of the point past the limit, and at a bad token. It holds no more than
// `lineLimit` bytes of the text (and one piece of 64 KiB) at once, so a line that has not ended
// within them while more text follows ends it, with LongLine. `sizeHint`: the text's length where
// it is known, for reserving room.
TDataFileContents ReadDataFile(const TTextSource& source, std::size_t sizeHint,
                               std::size_t limit = DataFilePointLimit,
                               std::size_t lineLimit = DataFileLineLimit);

// The same from the data file at `path`, also a pipe or a device. File errors throw EInOutError.
TDataFileContents ReadDataFile(const std::string& path, std::size_t limit = DataFilePointLimit,
                               std::size_t lineLimit = DataFileLineLimit);

// The same from a text in memory.
TDataFileContents ParseDataFile(std::string_view text, std::size_t limit = DataFilePointLimit,
                                std::size_t lineLimit = DataFileLineLimit);

// Orders the points by time, equal times in the order they came: the same as inserting each point
// after the points of equal or lower time. Costs n log n, and n when the times are in order.
void SortByTime(std::vector<double>& times, std::vector<double>& levels);

} // namespace trace
