#pragma once
// Finding an odd pulse on a trace: the next or previous pulse of a level whose width is shorter or
// longer than a limit, and the next or previous edge.

#include "capture/pulse_match.h"
#include "capture/search.h"

#include <optional>
#include <span>

namespace measure {

// Edges and levels as the pulse statistics take them: a level above one half is high, and an edge
// is the first sample of the new level. A pulse is the whole run between two consecutive edges,
// from the time of the one to the time of the other; the runs cut by the trace's first or last
// point have no known width and are never found.
using TPulseLevel = capture::TPulseLevel;
using TWidthLimit = capture::TWidthLimit;

struct TPulseCriteria {
    TPulseLevel Level = TPulseLevel::Either;
    TWidthLimit Limit = TWidthLimit::Shorter;
    double WidthMs = 0;
};

struct TPulse {
    double Start = 0; // the edge that begins it
    double End = 0;   // the edge that ends it
    bool High = false;

    double Width() const { return End - Start; }
    bool operator==(const TPulse&) const = default;
};

// capture::PulseMatches on the criteria: strictly shorter or strictly longer.
bool PulseMatches(const TPulseCriteria& criteria, bool high, double widthMs);

// The same criteria in samples of `samplePeriodMs`, for the search over a recording
// (capture/search.h): a pulse of w samples lasts w × period, and a limit within rounding of a whole
// number of samples is that number, so that a pulse exactly as wide stays no match.
capture::TSearchCriteria InSamples(const TPulseCriteria& criteria, double samplePeriodMs);

// The first matching pulse that begins after time t (t itself excluded), on a trace whose times
// ascend; a pulse under way at t is passed over. None when no whole pulse after t matches.
std::optional<TPulse> NextPulse(std::span<const double> times, std::span<const double> levels,
                                double t, const TPulseCriteria& criteria);
// The last matching pulse that ends before time t (t itself excluded).
std::optional<TPulse> PreviousPulse(std::span<const double> times, std::span<const double> levels,
                                    double t, const TPulseCriteria& criteria);

// The time of the first edge after t and of the last edge before t (t itself excluded both ways).
std::optional<double> NextEdgeTime(std::span<const double> times, std::span<const double> levels,
                                   double t);
std::optional<double> PreviousEdgeTime(std::span<const double> times,
                                       std::span<const double> levels, double t);

} // namespace measure
