// Any bytes as a data file: the reader stops at its limit, at a bad token or at a long line, never
// beyond the text; read in pieces of a few bytes it reads the same; and every point it reads writes
// and reads back to the same numbers.

#include "check.h"
#include "trace/data_file.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    trace::TDataFileContents read = trace::ParseDataFile(text, 1000);
    Check(read.Times.size() == read.Levels.size() && read.Times.size() <= 1000);
    Check(read.LimitExceeded + read.BadToken.has_value() + read.LongLine.has_value() <= 1);
    {
        // Pieces of 1 to 8 bytes, as a pipe may give them; the lines are far below the limit.
        std::string_view rest = text;
        const std::size_t piece = 1 + size % 8;
        const trace::TDataFileContents pieces = trace::ReadDataFile(
            [&](char* into, std::size_t room) {
                const std::size_t n = std::min({room, piece, rest.size()});
                std::copy_n(rest.data(), n, into);
                rest.remove_prefix(n);
                return n;
            },
            0, 1000);
        Check(pieces.Times == read.Times && pieces.Levels == read.Levels &&
              pieces.LimitExceeded == read.LimitExceeded && !read.LongLine && !pieces.LongLine &&
              pieces.BadToken.has_value() == read.BadToken.has_value());
        if (read.BadToken)
            Check(pieces.BadToken->Line == read.BadToken->Line &&
                  pieces.BadToken->Token == read.BadToken->Token);
    }
    if (read.BadToken)
        Check(!read.BadToken->Token.empty() && read.BadToken->Line >= 1);
    for (const char separator : {'.', ','}) {
        const trace::TDataFileContents again =
            trace::ParseDataFile(trace::FormatDataFile(read.Times, read.Levels, separator), 1000);
        Check(!again.BadToken && again.Times.size() == read.Times.size());
        for (std::size_t i = 0; i < read.Times.size(); ++i) {
            // Fifteen digits: the same number to within its 15th digit.
            const double t = read.Times[i];
            Check(std::isfinite(t) && std::fabs(again.Times[i] - t) <= std::fabs(t) * 1e-14);
        }
    }
    trace::SortByTime(read.Times, read.Levels);
    Check(std::is_sorted(read.Times.begin(), read.Times.end()));
    return 0;
}
