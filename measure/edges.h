#pragma once
// Finding the level change nearest to a time on a trace.

#include <optional>
#include <span>

namespace measure {

// The time of the level change nearest to time t on a trace whose times ascend: the time of the
// first sample of the new level, time[i] where level[i] differs from level[i - 1]. None when the
// trace has no level change. The search starts at the sample under t and goes outward, so it
// costs the distance to the edge, not the length of the trace.
std::optional<double> NearestEdgeTime(std::span<const double> times, std::span<const double> levels,
                                      double t);

} // namespace measure
