#pragma once
// The points an export and the pulse statistics take from the trace: all of them, or those
// between the markers.

#include <cstddef>
#include <span>
#include <utility>

namespace measure {

// The indices [first, last) of the points to take from a trace whose times ascend: all of them,
// or, while the markers are shown and stand apart, those from the earlier marker's time to the
// later one's, both included, whichever marker stands first.
std::pair<std::size_t, std::size_t> ExportRange(std::span<const double> times, bool markersShown,
                                                double marker1, double marker2);

} // namespace measure
