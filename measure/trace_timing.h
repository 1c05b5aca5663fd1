#pragma once
// The timing of a trace that was not recorded here: the sample period it was taken at, and what
// the time axis and the timing fields show for a file loaded in full.

#include <cstddef>
#include <optional>
#include <span>

namespace measure {

// The sample period of a trace from its own times, the span from the first point to the last
// over the steps between them: an imported trace keeps the step it was written at, also where
// the period field, held to the device's range, shows another. Fewer than two points have no
// step of their own and take `fieldPeriodMs`.
double TraceStep(std::span<const double> times, double fieldPeriodMs);

// The time axis and the timing fields for the points of a file, times ascending.
struct TLoadedTiming {
    // The axis's range: the points', widened to hold 0, where a sweep starts.
    double AxisMinimum = 0;
    double AxisMaximum = 0;
    // The axis's span over the count of points less one; none for one point, which has no period
    // of its own, so that the field keeps the one it shows.
    std::optional<long double> SamplePeriodMs;
    // The axis's span in s.
    long double DeflectTimeS = 0;
};
TLoadedTiming LoadedTiming(std::span<const double> times);

// The longest sweep duration in s at a sample period in ms: as long as a file of `pointLimit`
// points may be.
long double LoadedDeflectTimeMax(long double periodMs, std::size_t pointLimit);

} // namespace measure
