#pragma once
// The rule that says whether a pulse is the one sought, shared by the search on a sweep's points
// (widths in ms) and the search over a recording (widths in samples), so that both find the same.

namespace capture {

enum class TPulseLevel { Low, High, Either };
enum class TWidthLimit { Shorter, Longer };

// Strictly shorter or strictly longer than `limit`: a pulse exactly as wide is no match. A search
// over block summaries asks the same of a block's shortest and longest pulse of each level to
// tell whether the block can hold a match at all.
inline bool PulseMatches(TPulseLevel level, TWidthLimit limit, double limitWidth, bool high,
                         double width) {
    if (level != TPulseLevel::Either && high != (level == TPulseLevel::High))
        return false;
    return limit == TWidthLimit::Shorter ? width < limitWidth : width > limitWidth;
}

} // namespace capture
