#include "measure/pulse_search.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace measure {
void PrintTo(const TPulse& pulse, std::ostream* os) {
    *os << (pulse.High ? "high " : "low ") << pulse.Start << ".." << pulse.End;
}
} // namespace measure

using measure::TPulse;
using measure::TPulseCriteria;
using measure::TPulseLevel;
using measure::TWidthLimit;

namespace {

// A trace of one point a millisecond from 0 on: '1' high, anything else low.
struct TTrace {
    std::vector<double> Times, Levels;
};
TTrace Trace(const std::string& levels) {
    TTrace trace;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        trace.Times.push_back(static_cast<double>(i));
        trace.Levels.push_back(levels[i] == '1' ? 1.0 : 0.0);
    }
    return trace;
}

// Whole pulses: low 0..3 (cut by the start), high 3..5, low 5..9, high 9..14, low 14..20 (cut by
// the end, and the widest run of all).
const std::string Mixed = "000110000111110000000";

constexpr auto Low = TPulseLevel::Low;
constexpr auto High = TPulseLevel::High;
constexpr auto Either = TPulseLevel::Either;
constexpr auto Shorter = TWidthLimit::Shorter;
constexpr auto Longer = TWidthLimit::Longer;

struct TPulseCase {
    const char* Name;
    std::string Levels;
    bool Forward;
    double From;
    TPulseCriteria Criteria;
    std::optional<TPulse> Expected;
};

void PrintTo(const TPulseCase& c, std::ostream* os) {
    *os << c.Name;
}

class PulseSearch : public testing::TestWithParam<TPulseCase> {};

TEST_P(PulseSearch, FindsTheMatchingWholePulse) {
    const TPulseCase& c = GetParam();
    const TTrace trace = Trace(c.Levels);
    const auto found = c.Forward
                           ? measure::NextPulse(trace.Times, trace.Levels, c.From, c.Criteria)
                           : measure::PreviousPulse(trace.Times, trace.Levels, c.From, c.Criteria);
    EXPECT_EQ(found, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PulseSearch,
    testing::Values(
        TPulseCase{"HighShorter", Mixed, true, -1, {High, Shorter, 3}, TPulse{3, 5, true}},
        // The limit itself matches neither way.
        TPulseCase{"EqualIsNotShorter", Mixed, true, -1, {High, Shorter, 2}, std::nullopt},
        TPulseCase{"EqualIsNotLonger", Mixed, true, -1, {Low, Longer, 4}, std::nullopt},
        TPulseCase{"HighLonger", Mixed, true, -1, {High, Longer, 2}, TPulse{9, 14, true}},
        TPulseCase{"LowLonger", Mixed, true, -1, {Low, Longer, 3}, TPulse{5, 9, false}},
        TPulseCase{"EitherShorter", Mixed, true, -1, {Either, Shorter, 4.5}, TPulse{3, 5, true}},
        TPulseCase{"EitherLonger", Mixed, true, -1, {Either, Longer, 4.5}, TPulse{9, 14, true}},
        // Runs cut by the trace's ends are not pulses, however wide or narrow.
        TPulseCase{"RunCutByTheEnd", Mixed, true, -1, {Low, Longer, 5}, std::nullopt},
        TPulseCase{"RunCutByTheStart", Mixed, false, 100, {Low, Shorter, 3.5}, std::nullopt},
        TPulseCase{"OnlyCutRuns", "0001111", true, -1, {Either, Longer, 0}, std::nullopt},
        TPulseCase{
            "EdgesOnTheEndPoints", "1000001", true, -1, {Low, Longer, 0}, TPulse{1, 6, false}},
        TPulseCase{
            "EdgesOnTheEndPointsBack", "1000001", false, 7, {Low, Longer, 0}, TPulse{1, 6, false}},
        // From inside a pulse: that one begins before and ends after the time.
        TPulseCase{"NextFromInside", Mixed, true, 6, {Either, Longer, 0}, TPulse{9, 14, true}},
        TPulseCase{"PreviousFromInside", Mixed, false, 6, {Either, Longer, 0}, TPulse{3, 5, true}},
        // A time on an edge is neither after nor before it.
        TPulseCase{"NextFromItsStart", Mixed, true, 3, {Either, Longer, 0}, TPulse{5, 9, false}},
        TPulseCase{"PreviousFromItsEnd", Mixed, false, 9, {Either, Longer, 0}, TPulse{3, 5, true}},
        TPulseCase{"PreviousLast", Mixed, false, 100, {Either, Longer, 0}, TPulse{9, 14, true}},
        TPulseCase{
            "PreviousHighShorter", Mixed, false, 100, {High, Shorter, 3}, TPulse{3, 5, true}},
        TPulseCase{"NothingAfter", Mixed, true, 14, {Either, Longer, 0}, std::nullopt},
        TPulseCase{"NothingBefore", Mixed, false, 5, {Either, Longer, 0}, std::nullopt},
        TPulseCase{"NoEdge", "1111", true, -1, {Either, Longer, 0}, std::nullopt},
        TPulseCase{"Empty", "", false, 0, {Either, Longer, 0}, std::nullopt}),
    [](const testing::TestParamInfo<TPulseCase>& row) { return std::string(row.param.Name); });

struct TEdgeCase {
    const char* Name;
    std::string Levels;
    double From;
    std::optional<double> Next, Previous;
};

void PrintTo(const TEdgeCase& c, std::ostream* os) {
    *os << c.Name;
}

class EdgeSearch : public testing::TestWithParam<TEdgeCase> {};

TEST_P(EdgeSearch, FindsTheNearestEdgeOnEachSide) {
    const TEdgeCase& c = GetParam();
    const TTrace trace = Trace(c.Levels);
    EXPECT_EQ(measure::NextEdgeTime(trace.Times, trace.Levels, c.From), c.Next);
    EXPECT_EQ(measure::PreviousEdgeTime(trace.Times, trace.Levels, c.From), c.Previous);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EdgeSearch,
    testing::Values(TEdgeCase{"Between", Mixed, 7, 9.0, 5.0},
                    // An edge at the time itself is neither the next nor the previous one.
                    TEdgeCase{"OnAnEdge", Mixed, 5, 9.0, 3.0},
                    TEdgeCase{"BeforeTheTrace", Mixed, -10, 3.0, std::nullopt},
                    TEdgeCase{"AfterTheTrace", Mixed, 100, std::nullopt, 14.0},
                    TEdgeCase{"EdgesOnTheEndPoints", "100001", 2.5, 5.0, 1.0},
                    TEdgeCase{"NoEdge", "0000", 2, std::nullopt, std::nullopt},
                    TEdgeCase{"Empty", "", 0, std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<TEdgeCase>& row) { return std::string(row.param.Name); });

// Every whole pulse listed, then the first after / last before the time that matches.
std::optional<TPulse> BruteForce(const TTrace& trace, double t, const TPulseCriteria& criteria,
                                 bool forward) {
    std::vector<std::size_t> edges;
    for (std::size_t i = 1; i < trace.Times.size(); ++i)
        if ((trace.Levels[i] > 0.5) != (trace.Levels[i - 1] > 0.5))
            edges.push_back(i);
    std::optional<TPulse> found;
    for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
        const TPulse pulse{trace.Times[edges[k]], trace.Times[edges[k + 1]],
                           trace.Levels[edges[k]] > 0.5};
        if (!measure::PulseMatches(criteria, pulse.High, pulse.Width()))
            continue;
        if (forward && pulse.Start > t)
            return pulse;
        if (!forward && pulse.End < t)
            found = pulse;
    }
    return found;
}

// Thousands of pulses at uneven times, searched from many places both ways.
TEST(PulseSearchMany, AgreesWithListingEveryPulse) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 40; ++round) {
        TTrace trace;
        double time = 0;
        for (int i = 0; i < 3000; ++i) {
            time += 0.5 * (1 + rng() % 3);
            trace.Times.push_back(time);
            trace.Levels.push_back(static_cast<double>(rng() % 3 == 0));
        }
        const TPulseCriteria criteria{static_cast<TPulseLevel>(round % 3),
                                      round % 2 ? Longer : Shorter, 0.5 + (round % 7)};
        for (double t = -1; t < time + 1; t += time / 37) {
            ASSERT_EQ(measure::NextPulse(trace.Times, trace.Levels, t, criteria),
                      BruteForce(trace, t, criteria, true))
                << "round " << round << " after " << t;
            ASSERT_EQ(measure::PreviousPulse(trace.Times, trace.Levels, t, criteria),
                      BruteForce(trace, t, criteria, false))
                << "round " << round << " before " << t;
        }
    }
}

struct TSamplesCase {
    TPulseCriteria Criteria;
    double PeriodMs;
    std::uint64_t Samples;
};

class CriteriaInSamples : public testing::TestWithParam<TSamplesCase> {};

// Shorter than 3.5 samples means at most 3 (shorter than 4), longer than 3.5 at least 4 (longer
// than 3); a limit of a whole number of samples stays that number, though floating point misses it
// by a bit, so that a pulse exactly as wide stays no match.
TEST_P(CriteriaInSamples, KeepTheSameWholePulses) {
    const auto& [criteria, periodMs, samples] = GetParam();
    EXPECT_EQ(measure::InSamples(criteria, periodMs).Width, samples);
    EXPECT_EQ(measure::InSamples(criteria, periodMs),
              (capture::TSearchCriteria{criteria.Level, criteria.Limit, samples}));
}

INSTANTIATE_TEST_SUITE_P(Cases, CriteriaInSamples,
                         testing::Values(TSamplesCase{{High, Shorter, 0.035}, 0.01, 4},
                                         TSamplesCase{{High, Longer, 0.035}, 0.01, 3},
                                         // 0.3 / 0.1 is 2.9999999999999996, 0.07 / 0.01
                                         // is 7.000000000000001.
                                         TSamplesCase{{Low, Longer, 0.3}, 0.1, 3},
                                         TSamplesCase{{Low, Shorter, 0.3}, 0.1, 3},
                                         TSamplesCase{{Either, Shorter, 0.07}, 0.01, 7},
                                         TSamplesCase{{Either, Longer, 0.07}, 0.01, 7},
                                         TSamplesCase{{Either, Shorter, 0}, 0.01, 0}));

} // namespace
