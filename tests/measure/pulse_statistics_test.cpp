#include "measure/pulse_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using measure::PulseStatistics;
using measure::TDurations;
using measure::TPulseStatistics;

namespace {

struct TTrace {
    std::vector<double> Times, Levels;
};

// `samples` points one period `t` apart from `levelAt(i)`.
template <typename F> TTrace MakeTrace(std::size_t samples, double t, F levelAt) {
    TTrace trace;
    for (std::size_t i = 0; i < samples; ++i) {
        trace.Times.push_back(static_cast<double>(i) * t);
        trace.Levels.push_back(levelAt(i));
    }
    return trace;
}

// All edges of the range listed first, then every figure taken from pairs of neighbouring edges.
// An edge is a point whose level differs from the point before it, also on the range's first.
measure::TPulseStatistics Reference(const TTrace& trace, std::size_t first, std::size_t last) {
    struct TEdge {
        double Time;
        bool Rising;
    };
    std::vector<TEdge> edges;
    for (std::size_t i = std::max<std::size_t>(first, 1); i < last; ++i)
        if ((trace.Levels[i] > 0.5) != (trace.Levels[i - 1] > 0.5))
            edges.push_back({trace.Times[i], trace.Levels[i] > 0.5});
    measure::TPulseStatistics r;
    for (std::size_t e = 0; e < edges.size(); ++e) {
        (edges[e].Rising ? r.RisingEdges : r.FallingEdges)++;
        if (e + 1 < edges.size())
            (edges[e].Rising ? r.High : r.Low).Add(edges[e + 1].Time - edges[e].Time);
        if (!edges[e].Rising)
            continue;
        for (std::size_t n = e + 1; n < edges.size(); ++n) {
            if (edges[n].Rising) {
                r.Period.Add(edges[n].Time - edges[e].Time);
                r.HighInPeriods += edges[e + 1].Time - edges[e].Time;
                break;
            }
        }
    }
    return r;
}

void ExpectSame(const measure::TDurations& a, const measure::TDurations& b) {
    EXPECT_EQ(a.Count, b.Count);
    if (a.Count == 0 || b.Count == 0)
        return;
    EXPECT_DOUBLE_EQ(a.Min, b.Min);
    EXPECT_DOUBLE_EQ(a.Max, b.Max);
    EXPECT_NEAR(*a.Mean(), *b.Mean(), 1e-9 * std::max(1.0, *b.Mean()));
}

void ExpectSame(const measure::TPulseStatistics& a, const measure::TPulseStatistics& b) {
    EXPECT_EQ(a.RisingEdges, b.RisingEdges);
    EXPECT_EQ(a.FallingEdges, b.FallingEdges);
    ExpectSame(a.Period, b.Period);
    ExpectSame(a.High, b.High);
    ExpectSame(a.Low, b.Low);
    EXPECT_EQ(a.Duty().has_value(), b.Duty().has_value());
    if (a.Duty() && b.Duty()) {
        EXPECT_NEAR(*a.Duty(), *b.Duty(), 1e-12);
    }
}

} // namespace

// A square of period 8 samples and duty 3/8, over ranges that begin and end anywhere in a pulse.
TEST(PulseStatistics, SquareWaveOfKnownDutyOverEveryRange) {
    const TTrace square = MakeTrace(64, 0.5, [](std::size_t i) { return i % 8 < 3 ? 1.0 : 0.0; });
    const measure::TPulseStatistics whole =
        measure::PulseStatistics(square.Times, square.Levels, 0, 64);
    EXPECT_EQ(whole.RisingEdges, 7u);
    EXPECT_EQ(whole.FallingEdges, 8u);
    EXPECT_EQ(whole.Period.Count, 6u);
    EXPECT_EQ(whole.Period.Min, 4.0);
    EXPECT_EQ(whole.Period.Max, 4.0);
    EXPECT_EQ(*whole.Frequency(), 250.0);
    EXPECT_EQ(*whole.Duty(), 0.375);
    EXPECT_EQ(whole.High.Min, 1.5);
    EXPECT_EQ(whole.High.Max, 1.5);
    // The first high pulse starts with the trace and the last low one ends with it: unknown.
    EXPECT_EQ(whole.High.Count, 7u);
    EXPECT_EQ(whole.Low.Count, 7u);
    EXPECT_EQ(whole.Low.Min, 2.5);
    for (std::size_t first = 0; first < 20; ++first)
        for (std::size_t last = first; last <= 64; last += 3)
            ExpectSame(measure::PulseStatistics(square.Times, square.Levels, first, last),
                       Reference(square, first, last));
}

TEST(PulseStatistics, PseudoRandomTracesAgreeWithTheReference) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 1 + rng() % 300;
        TTrace trace;
        double t = 0;
        for (std::size_t i = 0; i < n; ++i) {
            // Uneven spacing, as a loaded file may have.
            t += 0.01 + (rng() % 100) * 0.001;
            trace.Times.push_back(t);
            trace.Levels.push_back(static_cast<double>(rng() % 2));
        }
        const std::size_t first = rng() % n;
        const std::size_t last = first + rng() % (n - first + 1);
        ExpectSame(measure::PulseStatistics(trace.Times, trace.Levels, first, last),
                   Reference(trace, first, last));
    }
}

// Ranges of 0 0 1 1 1 0 0 1 0 0, one ms a point (rising edges at 2 and 7, falling at 5 and 8),
// that begin or end on an edge or a point beside one.
TEST(PulseStatistics, EdgesOnTheRangesEnds) {
    const TTrace trace = MakeTrace(
        10, 1, [](std::size_t i) { return i == 2 || i == 3 || i == 4 || i == 7 ? 1.0 : 0.0; });
    struct TCase {
        std::size_t First, Last;
        std::size_t Rising, Falling;
        std::vector<double> High, Low, Period;
    };
    const TCase cases[] = {
        {0, 10, 2, 2, {3, 1}, {2}, {5}}, // the first point of the trace is no edge
        {2, 6, 1, 1, {3}, {}, {}},       // from a rising edge to the falling one: the pulse
        {1, 6, 1, 1, {3}, {}, {}},       // a point before the rising edge: the same
        {3, 6, 0, 1, {}, {}, {}},        // a point after it: the pulse is cut
        {2, 5, 1, 0, {}, {}, {}},        // up to the point before the falling edge: cut
        {5, 9, 1, 2, {1}, {2}, {}},      // from a falling edge
        {2, 8, 2, 1, {3}, {2}, {5}},     // a whole period from its rising edge
        {7, 8, 1, 0, {}, {}, {}},        // one point, an edge
        {6, 7, 0, 0, {}, {}, {}},        // one point, no edge
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "[" << c.First << ", " << c.Last << ")");
        const measure::TPulseStatistics s =
            measure::PulseStatistics(trace.Times, trace.Levels, c.First, c.Last);
        EXPECT_EQ(s.RisingEdges, c.Rising);
        EXPECT_EQ(s.FallingEdges, c.Falling);
        measure::TPulseStatistics expected;
        for (double d : c.High)
            expected.High.Add(d);
        for (double d : c.Low)
            expected.Low.Add(d);
        for (double d : c.Period)
            expected.Period.Add(d);
        ExpectSame(s.High, expected.High);
        ExpectSame(s.Low, expected.Low);
        ExpectSame(s.Period, expected.Period);
    }
}

// No edge, or one: counts only, and no figure that needs two edges.
TEST(PulseStatistics, FewEdgesGiveNoFigures) {
    const TTrace flat = MakeTrace(100, 1, [](std::size_t) { return 1.0; });
    const measure::TPulseStatistics none =
        measure::PulseStatistics(flat.Times, flat.Levels, 0, 100);
    EXPECT_EQ(none.RisingEdges + none.FallingEdges, 0u);
    EXPECT_FALSE(none.Period.Mean());
    EXPECT_FALSE(none.Frequency());
    EXPECT_FALSE(none.Duty());
    EXPECT_FALSE(none.High.Mean());

    const TTrace step = MakeTrace(100, 1, [](std::size_t i) { return i < 40 ? 0.0 : 1.0; });
    const measure::TPulseStatistics one = measure::PulseStatistics(step.Times, step.Levels, 0, 100);
    EXPECT_EQ(one.RisingEdges, 1u);
    EXPECT_EQ(one.FallingEdges, 0u);
    EXPECT_FALSE(one.Period.Mean());
    EXPECT_FALSE(one.Low.Mean());
    EXPECT_FALSE(one.High.Mean());

    // Beyond the trace, or an empty range.
    EXPECT_EQ(measure::PulseStatistics(step.Times, step.Levels, 30, 500).RisingEdges, 1u);
    EXPECT_EQ(measure::PulseStatistics(step.Times, step.Levels, 50, 50).RisingEdges, 0u);
}
