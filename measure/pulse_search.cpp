#include "measure/pulse_search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace measure {

namespace {

bool High(double level) {
    return level > 0.5;
}

// Whether point i (i >= 1) is an edge.
bool EdgeAt(std::span<const double> levels, std::size_t i) {
    return High(levels[i]) != High(levels[i - 1]);
}

// The first edge at index `from` or later, or n.
std::size_t EdgeFrom(std::span<const double> levels, std::size_t from, std::size_t n) {
    for (std::size_t i = std::max<std::size_t>(from, 1); i < n; ++i)
        if (EdgeAt(levels, i))
            return i;
    return n;
}

// The last edge at index `from` or earlier, or 0 (point 0 is never an edge).
std::size_t EdgeUpTo(std::span<const double> levels, std::size_t from) {
    for (std::size_t i = from; i >= 1; --i)
        if (EdgeAt(levels, i))
            return i;
    return 0;
}

std::size_t PointCount(std::span<const double> times, std::span<const double> levels) {
    return std::min(times.size(), levels.size());
}

// The index of the first point after t.
std::size_t FirstAfter(std::span<const double> times, std::size_t n, double t) {
    return static_cast<std::size_t>(std::upper_bound(times.begin(), times.begin() + n, t) -
                                    times.begin());
}

// The number of points before t: the index of the last one plus one.
std::size_t CountBefore(std::span<const double> times, std::size_t n, double t) {
    return static_cast<std::size_t>(std::lower_bound(times.begin(), times.begin() + n, t) -
                                    times.begin());
}

} // namespace

bool PulseMatches(const TPulseCriteria& criteria, bool high, double widthMs) {
    return capture::PulseMatches(criteria.Level, criteria.Limit, criteria.WidthMs, high, widthMs);
}

capture::TSearchCriteria InSamples(const TPulseCriteria& criteria, double samplePeriodMs) {
    double samples = std::max(0.0, criteria.WidthMs / samplePeriodMs);
    if (std::abs(samples - std::round(samples)) <= 1e-9 * std::max(1.0, samples))
        samples = std::round(samples);
    // Shorter than 3.5 samples is shorter than 4; longer than 3.5 is longer than 3.
    const double whole = criteria.Limit == TWidthLimit::Shorter ? std::ceil(samples)
                                                                : std::floor(samples);
    return {criteria.Level, criteria.Limit, static_cast<std::uint64_t>(whole)};
}

std::optional<TPulse> NextPulse(std::span<const double> times, std::span<const double> levels,
                                double t, const TPulseCriteria& criteria) {
    const std::size_t n = PointCount(times, levels);
    for (std::size_t start = EdgeFrom(levels, FirstAfter(times, n, t), n); start < n;) {
        const std::size_t end = EdgeFrom(levels, start + 1, n);
        if (end == n)
            break; // the last run reaches the trace's end
        const TPulse pulse{times[start], times[end], High(levels[start])};
        if (PulseMatches(criteria, pulse.High, pulse.Width()))
            return pulse;
        start = end;
    }
    return std::nullopt;
}

std::optional<TPulse> PreviousPulse(std::span<const double> times, std::span<const double> levels,
                                    double t, const TPulseCriteria& criteria) {
    const std::size_t before = CountBefore(times, PointCount(times, levels), t);
    if (before < 2)
        return std::nullopt;
    for (std::size_t end = EdgeUpTo(levels, before - 1); end >= 1;) {
        const std::size_t start = EdgeUpTo(levels, end - 1);
        if (start == 0)
            break; // the first run begins at the trace's start
        const TPulse pulse{times[start], times[end], High(levels[start])};
        if (PulseMatches(criteria, pulse.High, pulse.Width()))
            return pulse;
        end = start;
    }
    return std::nullopt;
}

std::optional<double> NextEdgeTime(std::span<const double> times, std::span<const double> levels,
                                   double t) {
    const std::size_t n = PointCount(times, levels);
    const std::size_t edge = EdgeFrom(levels, FirstAfter(times, n, t), n);
    if (edge == n)
        return std::nullopt;
    return times[edge];
}

std::optional<double> PreviousEdgeTime(std::span<const double> times,
                                       std::span<const double> levels, double t) {
    const std::size_t before = CountBefore(times, PointCount(times, levels), t);
    if (before < 2)
        return std::nullopt;
    const std::size_t edge = EdgeUpTo(levels, before - 1);
    if (edge == 0)
        return std::nullopt;
    return times[edge];
}

} // namespace measure
